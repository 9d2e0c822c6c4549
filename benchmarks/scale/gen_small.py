#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes COUNT small .eml files (1-3 KB of plain text) for the scale benchmark.

usage: gen_small.py DIR COUNT [PER_FOLDER]    (PER_FOLDER defaults to 1000)

Folders are DIR/f0000, DIR/f0001, ... each holding PER_FOLDER messages.
Fixed seed: the same arguments give the same files. A DIR that already
holds the files of an earlier call with the same arguments is left as it is.
"""
import os
import random
import sys

WORDS = ('the quarterly report meeting project budget review schedule team update draft customer '
         'invoice delivery contract server release notes please find attached thanks regards').split()


def main():
    root, count = sys.argv[1], int(sys.argv[2])
    per = int(sys.argv[3]) if len(sys.argv) > 3 else 1000
    stamp = os.path.join(root, '.complete-%d-%d' % (count, per))
    if os.path.exists(stamp):
        return
    rng = random.Random(20261208)
    lines = [' '.join(rng.choice(WORDS) for _ in range(rng.randint(6, 12))) for _ in range(512)]
    for i in range(count):
        folder = os.path.join(root, 'f%04d' % (i // per))
        if i % per == 0:
            os.makedirs(folder, exist_ok=True)
        size = 1024 + (i * 7919) % 2048
        body, n, k = [], 0, i
        while n < size:
            line = lines[k % len(lines)]
            k = k * 31 + 7
            body.append(line)
            n += len(line) + 2
        text = ('From: Sender %d <sender%d@example.org>\r\nTo: Reader <reader@example.org>\r\n'
                'Subject: Scale message %d\r\nDate: Tue, 08 Dec 2026 %02d:%02d:%02d +0000\r\n'
                'Message-ID: <scale%d@example.org>\r\nMIME-Version: 1.0\r\n'
                'Content-Type: text/plain; charset=utf-8\r\n\r\n%s\r\n'
                % (i % 97, i % 97, i, i % 24, i % 60, (i * 7) % 60, i, '\r\n'.join(body)))
        with open(os.path.join(folder, 'm%07d.eml' % i), 'w', encoding='ascii', newline='') as f:
            f.write(text)
    open(stamp, 'w').close()


if __name__ == '__main__':
    main()

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes a reproducible corpus of .eml files for the conversion benchmark.

usage: gen_corpus.py DIR [COUNT]      (COUNT defaults to 10000)

Fixed seed: the same COUNT gives the same files. Messages are spread over
nested folders (up to four levels); about 80 % are plain text of 2-20 KB,
15 % HTML with a plain-text alternative, 5 % carry one or two attachments of
10 KB to 2 MB (sizes spread evenly on a log scale).
"""
import base64
import os
import random
import sys

WORDS = ('the quarterly report meeting project budget review schedule team update draft customer '
         'invoice delivery contract server release notes please find attached thanks regards '
         'tomorrow morning agenda follow question answer change request').split()


def text_of(rng, size):
    out, n = [], 0
    while n < size:
        line = ' '.join(rng.choice(WORDS) for _ in range(rng.randint(6, 14)))
        out.append(line)
        n += len(line) + 2
    return '\r\n'.join(out) + '\r\n'


def folder_of(rng):
    depth = rng.choice((1, 2, 2, 3, 3, 4))
    return os.path.join(*['%s%d' % (rng.choice(('Inbox', 'Projects', 'Archive', 'Clients', 'Team')), rng.randint(0, 4))
                          for _ in range(depth)])


def message(rng, i):
    head = ('From: Sender %d <sender%d@example.org>\r\nTo: Reader <reader@example.org>\r\n'
            'Subject: Benchmark message %d\r\nDate: Mon, 07 Dec 2026 %02d:%02d:%02d +0000\r\n'
            'Message-ID: <bench%d@example.org>\r\nMIME-Version: 1.0\r\n'
            % (i % 97, i % 97, i, i % 24, i % 60, (i * 7) % 60, i))
    kind = rng.random()
    if kind < 0.80:
        return head + 'Content-Type: text/plain; charset=utf-8\r\n\r\n' + text_of(rng, rng.randint(2048, 20480))
    if kind < 0.95:
        plain = text_of(rng, rng.randint(2048, 12000))
        html = '<html><body>' + ''.join('<p>%s</p>' % l for l in plain.split('\r\n') if l) + '</body></html>\r\n'
        return (head + 'Content-Type: multipart/alternative; boundary="alt%d"\r\n\r\n'
                '--alt%d\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n%s'
                '--alt%d\r\nContent-Type: text/html; charset=utf-8\r\n\r\n%s--alt%d--\r\n'
                % (i, i, plain, i, html, i))
    parts = ['--mix%d\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n%s' % (i, text_of(rng, rng.randint(1024, 4096)))]
    for k in range(rng.randint(1, 2)):
        size = int(10 * 1024 * (200 ** rng.random()))  # 10 KB .. 2 MB
        data = rng.randbytes(size)
        parts.append('--mix%d\r\nContent-Type: application/octet-stream\r\n'
                     'Content-Disposition: attachment; filename="file%d-%d.bin"\r\n'
                     'Content-Transfer-Encoding: base64\r\n\r\n%s\r\n'
                     % (i, i, k, base64.encodebytes(data).decode('ascii').replace('\n', '\r\n')))
    return head + 'Content-Type: multipart/mixed; boundary="mix%d"\r\n\r\n%s--mix%d--\r\n' % (i, ''.join(parts), i)


def main():
    root = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
    rng = random.Random(20261207)
    folders = [folder_of(rng) for _ in range(max(10, count // 100))]
    for i in range(count):
        path = os.path.join(root, rng.choice(folders), 'm%06d.eml' % i)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'w', encoding='utf-8', newline='') as f:
            f.write(message(rng, i))


if __name__ == '__main__':
    main()

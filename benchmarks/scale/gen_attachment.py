#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes one .eml message carrying one attachment of SIZE bytes (base64).

usage: gen_attachment.py FILE SIZE

The attachment's bytes repeat a fixed pseudo-random 1 MiB pattern, written
in pieces so that the generator itself stays small.
"""
import base64
import random
import sys


def main():
    path, size = sys.argv[1], int(sys.argv[2])
    pattern = random.Random(20261208).randbytes(57 * 18396)  # whole base64 lines, about 1 MiB
    with open(path, 'w', encoding='ascii', newline='') as f:
        f.write('From: Sender <sender@example.org>\r\nTo: Reader <reader@example.org>\r\n'
                'Subject: One large attachment\r\nDate: Tue, 08 Dec 2026 12:00:00 +0000\r\n'
                'MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary="b"\r\n\r\n'
                '--b\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nThe file is attached.\r\n'
                '--b\r\nContent-Type: application/octet-stream\r\n'
                'Content-Disposition: attachment; filename="large.bin"\r\n'
                'Content-Transfer-Encoding: base64\r\n\r\n')
        left = size
        while left > 0:
            piece = pattern[:min(left, len(pattern))]
            f.write(base64.encodebytes(piece).decode('ascii').replace('\n', '\r\n'))
            left -= len(piece)
        f.write('--b--\r\n')


if __name__ == '__main__':
    main()

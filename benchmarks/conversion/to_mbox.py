#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Joins the .eml files of a corpus into one mbox (mboxrd: every body line
that is ">*From " gains a '>'), in the order of the list it is given.

usage: to_mbox.py LIST OUT.mbox     (LIST: one .eml path per line)
"""
import re
import sys

QUOTE = re.compile(rb'^(>*From )', re.M)


def main():
    with open(sys.argv[1], 'rb') as names, open(sys.argv[2], 'wb') as out:
        for name in names.read().splitlines():
            with open(name, 'rb') as f:
                data = f.read()
            out.write(b'From bench@example.org Mon Dec  7 09:30:00 2026\n')
            out.write(QUOTE.sub(rb'>\1', data))
            if not data.endswith(b'\n'):
                out.write(b'\n')
            out.write(b'\n')


if __name__ == '__main__':
    main()

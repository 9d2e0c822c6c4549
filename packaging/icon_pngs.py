#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the program's icon as PNG files in the freedesktop hicolor layout,
OUTDIR/NxN/apps/NAME.png for every size given, drawn by the same code that
draws the window's .ico so the desktop and the window show the same picture.
Standard library only.

Usage: icon_pngs.py MAKE_ICON_DIR OUTDIR NAME SIZE...
"""
import os
import sys


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    make_icon_dir, outdir, name = sys.argv[1:4]
    sys.path.insert(0, make_icon_dir)
    import make_icon
    for size in (int(s) for s in sys.argv[4:]):
        folder = os.path.join(outdir, '%dx%d' % (size, size), 'apps')
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, name + '.png'), 'wb') as f:
            f.write(make_icon.png(make_icon.render(size), size))


if __name__ == '__main__':
    main()

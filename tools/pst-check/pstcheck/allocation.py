# SPDX-License-Identifier: GPL-3.0-or-later
"""Allocation maps: AMap, PMap, FMap/FPMap and the density list
([MS-PST] 2.2.2.7.2 - 2.2.2.7.6, 2.6.1)."""
from . import dlist

AMAP0 = 0x4400
AMAP_SPAN = 496 * 8 * 64          # bytes mapped by one AMap
PMAP0 = 0x4600
PMAP_SPAN = 8 * AMAP_SPAN
SLOT = 64

_BITS = [bytes((b >> (7 - k)) & 1 for k in range(8)) for b in range(256)]
_TO_DIGIT = bytes.maketrans(b'\x00\x01', b'01')


def check(ndb):
    r = ndb.r
    # Maps are laid out up to ibFileEof; bytes past it (a mismatch the
    # header check already reports) are not mapped.
    size = min(ndb.size, ndb.eof)
    if size <= AMAP0:
        r.problem('amap', 'file ends before the first AMap')
        return
    count = (size - AMAP0 + AMAP_SPAN - 1) // AMAP_SPAN
    last = AMAP0 + (count - 1) * AMAP_SPAN
    if ndb.amap_last != last:
        r.problem('amap', 'ibAMapLast is %d, the last AMap is at %d' % (ndb.amap_last, last))
    # The file grows by whole AMap spans ([MS-PST] 2.6.1.1.2).
    if (size - AMAP0) % AMAP_SPAN:
        r.problem('amap', 'ibFileEof %d is not the first AMap plus whole AMap spans' % size)
    ndb.r.stats['amaps'] = count

    slots = (count * AMAP_SPAN) // SLOT
    expected = bytearray(slots)

    def mark(ib, length, what):
        a = (ib - AMAP0) // SLOT
        b = a + (length + SLOT - 1) // SLOT
        if a < 0 or b > slots:
            return
        if expected[a:b].count(0) != b - a:
            r.problem('amap', '%s at %d overlaps another allocation' % (what, ib), kind='overlap')
        expected[a:b] = b'\x01' * (b - a)

    bits = []
    for i in range(count):
        ib = AMAP0 + i * AMAP_SPAN
        pg = ndb.page(ib, 0x84, 'AMap') if ib + 512 <= size else None
        if pg is None:
            bits.append(b'\x00' * 496)
            continue
        if pg[0] != 0xFF:
            r.problem('amap', 'AMap at %d does not mark its own page (first byte 0x%02X)' % (ib, pg[0]))
        bits.append(pg[:496])
        mark(ib, 512, 'AMap')
    for j in range((size - PMAP0 + PMAP_SPAN - 1) // PMAP_SPAN):
        ib = PMAP0 + j * PMAP_SPAN
        if ib + 512 > size:
            break
        # The PMap is deprecated; its bits carry no meaning Outlook relies
        # on (Outlook leaves them all set), but the page must be there.
        ndb.page(ib, 0x83, 'PMap')
        mark(ib, 512, 'PMap')
    for ib in ndb.bt_pages:
        mark(ib, 512, 'B-tree page')
    for bid, (ib, cb, _) in ndb.bbt.items():
        if bid not in ndb.bad_blocks:
            mark(ib, (cb + 16 + 63) // 64 * 64, 'block 0x%X' % bid)

    actual = b''.join(_BITS[x] for x in b''.join(bits))
    free = actual.count(0)
    r.stats['amap_free'] = free * SLOT
    if ndb.amap_valid == 0:
        # INVALID_AMAP: Outlook rebuilds the maps on open, so their contents
        # are not held against the file.
        r.note('amap', 'fAMapValid is 0: allocation maps not compared', sec='2.6.1.3.7')
        dlist.check(ndb, count, None)
        return
    if ndb.amap_free != free * SLOT:
        r.problem('amap', 'cbAMapFree is %d, the AMaps have %d bytes free' % (ndb.amap_free, free * SLOT))
    exp_int = int(bytes(expected).translate(_TO_DIGIT), 2) if slots else 0
    act_int = int(actual.translate(_TO_DIGIT), 2) if slots else 0
    miss = exp_int & ~act_int
    if miss:
        first = slots - miss.bit_length()
        r.problem('amap', '%d allocated 64-byte slots are marked free in the AMaps (first at %d)'
                  % (bin(miss).count('1'), AMAP0 + first * SLOT))
    extra = act_int & ~exp_int
    fmaps = 0
    if extra:
        # FMap and FPMap pages live in space the AMaps mark; accept any such
        # page with a sound trailer. One byte of the bitmap is one 512-byte
        # page, as the first AMap sits on a page boundary.
        pages = extra.to_bytes(slots // 8, 'big')
        i = pages.find(b'\xff')
        while i >= 0:
            ib = AMAP0 + i * 512
            t = ndb.data[ib + 496] if ib + 512 <= size else 0
            if t in (0x82, 0x85) and ndb.data[ib + 497] == t:
                ndb.page(ib, t, 'FMap/FPMap')
                extra &= ~(0xFF << (slots - 8 * (i + 1)))
                fmaps += 1
            i = pages.find(b'\xff', i + 1)
    if count > 128 and fmaps == 0:
        r.problem('amap', 'file spans %d AMaps but holds no FMap page' % count)
    if extra:
        n = bin(extra).count('1')
        first = slots - extra.bit_length()
        # Outlook's own files keep space marked that nothing reaches (the
        # sample keeps 736 KB), so this is a note unless asked to be strict.
        r.leak('amap', '%d bytes are marked allocated but nothing reaches them (first at %d)'
               % (n * SLOT, AMAP0 + first * SLOT))
    dlist.check(ndb, count, actual)

# SPDX-License-Identifier: GPL-3.0-or-later
"""The density list page at 0x4200 ([MS-PST] 2.2.2.7.4)."""
from .codec import crc32, signature, U16, U32, U64

IB_DLIST = 0x4200
PTYPE_DL = 0x86
MAX_ENTRIES = 476 // 4
SLOTS_PER_AMAP = 496 * 8


def check(ndb, count, free_bits):
    """free_bits: the AMaps' bitmap as one byte per 64-byte slot, or None
    when the maps are not to be trusted."""
    r = ndb.r
    pg = ndb.data[IB_DLIST:IB_DLIST + 512]
    if len(pg) < 512 or (pg[496] != PTYPE_DL and pg[497] != PTYPE_DL):
        return   # no DList: it is optional, and the area is transient storage
    if pg[496] != pg[497]:
        r.problem('dlist', 'DList ptype 0x%02X, ptypeRepeat 0x%02X' % (pg[496], pg[497]), sec='2.2.2.7.1')
        return
    if U32(pg, 500) != crc32(pg[:496]):
        # A DList with a bad CRC "MUST NOT be used" and is rebuilt from the
        # AMaps, so a stale one is no fault.
        r.note('dlist', 'density list is stale (CRC does not match)')
        return
    bid = U64(pg, 504)
    # Not one of the map pages whose BID is their offset: a DList takes its
    # BID from bidNextP like a B-tree page (Outlook's own is bidNextP) and
    # signs it.
    if bid == 0 or bid > ndb.bid_next_p:
        r.problem('dlist', 'DList page BID 0x%X is not a page BID (bidNextP 0x%X)' % (bid, ndb.bid_next_p),
                  sec='2.2.2.7.1')
    elif bid in ndb.page_bids:
        r.problem('dlist', 'DList page BID 0x%X is also a B-tree page\'s' % bid, sec='2.2.2.7.1')
    if U16(pg, 498) != signature(IB_DLIST, bid):
        r.problem('dlist', 'DList wSig 0x%04X, its signature is 0x%04X' % (U16(pg, 498), signature(IB_DLIST, bid)),
                  sec='5.5')
    flags, n = pg[0], pg[1]
    if flags & ~1:
        r.problem('dlist', 'DList bFlags 0x%02X has undefined bits' % flags, sec='2.2.2.7.4.2')
    if U16(pg, 2) or pg[484:496].count(0) != 12:
        r.problem('dlist', 'DList wPadding or rgPadding is not zero', sec='2.2.2.7.4.2')
    if n > MAX_ENTRIES:
        r.problem('dlist', 'DList cEntDList %d exceeds %d' % (n, MAX_ENTRIES), sec='2.2.2.7.4.2')
        return
    prev = None
    for i in range(n):
        v = U32(pg, 8 + 4 * i)
        page, slots = v & 0xFFFFF, v >> 20
        if page >= count:
            r.problem('dlist', 'density list entry %d names AMap %d of %d' % (i, page, count), sec='2.2.2.7.4.1')
            continue
        if free_bits is not None:
            have = free_bits[page * SLOTS_PER_AMAP:(page + 1) * SLOTS_PER_AMAP].count(0)
            if slots != have:
                r.problem('dlist', 'density list gives AMap %d %d free slots, its bitmap %d' % (page, slots, have),
                          sec='2.2.2.7.4.1')
        if prev is not None and slots > prev:
            r.problem('dlist', 'density list not in ascending density at entry %d' % i, sec='2.2.2.7.4')
        prev = slots

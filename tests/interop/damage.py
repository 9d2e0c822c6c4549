# SPDX-License-Identifier: GPL-3.0-or-later
"""Deliberate damage to a .pst file, for proving that pst-check notices it.

Each function takes the file's bytes and returns damaged bytes. Where the
damage would otherwise be caught only by a checksum, the checksum is
recomputed so that the rule under test is the one that must fire.
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.realpath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', '..', 'tools', 'pst-check'))

from pstcheck.codec import crc32, signature, _ENCODE  # noqa: E402
from pstcheck.ndb import Ndb, block_size  # noqa: E402
from pstcheck.ltp import Ltp  # noqa: E402
from pstcheck.report import Report  # noqa: E402


def parse(data):
    r = Report()
    ndb = Ndb(bytes(data), r)
    return ndb, Ltp(ndb, r)


def fix_header_crcs(d):
    struct.pack_into('<I', d, 4, crc32(bytes(d[8:8 + 471])))
    struct.pack_into('<I', d, 524, crc32(bytes(d[8:8 + 516])))


def fix_page_crc(d, ib):
    struct.pack_into('<I', d, ib + 500, crc32(bytes(d[ib:ib + 496])))


def flip(data, offset):
    d = bytearray(data)
    d[offset] ^= 0x5A
    return bytes(d)


def flip_data_block(data):
    ndb, _ = parse(data)
    bid = max(b for b in ndb.bbt if not b & 2 and ndb.bbt[b][1] > 32)
    ib = ndb.bbt[bid][0]
    return flip(data, ib + 10)


def flip_btree_page(data):
    ndb, _ = parse(data)
    return flip(data, ndb.nbt_root[1] + 3)


def flip_amap(data):
    return flip(data, 0x4400 + 40)


def flip_header(data):
    return flip(data, 44 + 9)   # inside rgnid


def header_free_count(data):
    d = bytearray(data)
    v = struct.unpack_from('<Q', d, 200)[0]
    struct.pack_into('<Q', d, 200, v + 64)
    fix_header_crcs(d)
    return bytes(d)


def truncate_half(data):
    return data[:len(data) // 2]


def swap_btree_entries(data):
    """Swaps the first two entries of a leaf NBT page, CRC kept valid."""
    ndb, _ = parse(data)
    d = bytearray(data)
    for ib in ndb.bt_pages:
        pg = d[ib:ib + 512]
        if pg[496] == 0x81 and pg[491] == 0 and pg[488] >= 2:
            n = pg[490]
            a, b = bytes(pg[0:n]), bytes(pg[n:2 * n])
            d[ib:ib + n], d[ib + n:ib + 2 * n] = b, a
            fix_page_crc(d, ib)
            return bytes(d)
    raise RuntimeError('no leaf NBT page with two entries')


def _rewrite_block(d, ndb, bid, payload):
    ib, cb, _ = ndb.bbt[bid]
    assert len(payload) == cb
    stored = payload.translate(_ENCODE) if ndb.crypt == 1 and not bid & 2 else payload
    d[ib:ib + cb] = stored
    t = ib + block_size(cb) - 16
    struct.pack_into('<I', d, t + 4, crc32(bytes(stored)))


def change_content_count(data, delta=1):
    """Raises PidTagContentCount of the first folder with messages, keeping
    every checksum valid."""
    ndb, ltp = parse(data)
    d = bytearray(data)
    for nid in sorted(ndb.nbt):
        if nid & 0x1F != 0x02:
            continue
        bid = ndb.nbt[nid][0]
        if bid & 2:
            continue
        payload = bytearray(ndb.payload(bid))
        pc = ltp.pc(ltp.node(nid))
        if not pc or int.from_bytes(pc.get(0x36020003, b'\0'), 'little') == 0:
            continue
        # A PC record is key 0x3602, type 0x0003, then the inline value.
        rec = struct.pack('<HH', 0x3602, 0x0003)
        pos = bytes(payload).find(rec)
        if pos < 0:
            continue
        v = struct.unpack_from('<I', payload, pos + 4)[0]
        struct.pack_into('<I', payload, pos + 4, v + delta)
        _rewrite_block(d, ndb, bid, bytes(payload))
        return bytes(d)
    raise RuntimeError('no folder with a content count to change')


DAMAGE = {
    'data-block-byte': flip_data_block,
    'btree-page-byte': flip_btree_page,
    'amap-page-byte': flip_amap,
    'header-byte': flip_header,
    'header-free-count': header_free_count,
    'swapped-btree-entries': swap_btree_entries,
    'content-count': change_content_count,
    'cut-in-half': truncate_half,
}


def _change_pc_value(data, nid_type, pid, ptype, change, need=lambda v: True):
    """Changes an inline PC value of the first node of nid_type having it."""
    ndb, ltp = parse(data)
    d = bytearray(data)
    rec = struct.pack('<HH', pid, ptype)
    for nid in sorted(ndb.nbt):
        if nid & 0x1F != nid_type:
            continue
        bid = ndb.nbt[nid][0]
        if bid & 2:
            continue
        pc = ltp.pc(ltp.node(nid))
        tag = (pid << 16) | ptype
        if not pc or tag not in pc or not need(int.from_bytes(pc[tag], 'little')):
            continue
        payload = bytearray(ndb.payload(bid))
        pos = bytes(payload).find(rec)
        if pos < 0:
            continue
        v = struct.unpack_from('<I', payload, pos + 4)[0]
        struct.pack_into('<I', payload, pos + 4, change(v))
        _rewrite_block(d, ndb, bid, bytes(payload))
        return bytes(d)
    raise RuntimeError('no node with property 0x%04X' % pid)


def message_size(data):
    return _change_pc_value(data, 0x04, 0x0E08, 0x0003, lambda v: v + 100)


def unread_count(data):
    return _change_pc_value(data, 0x02, 0x3603, 0x0003, lambda v: v + 1)


def subfolders_flag(data):
    return _change_pc_value(data, 0x02, 0x360A, 0x000B, lambda v: 0, need=lambda v: v == 1)


def bid_next_b(data):
    d = bytearray(data)
    struct.pack_into('<Q', d, 516, 4)
    fix_header_crcs(d)
    return bytes(d)


def rgnid_low(data):
    d = bytearray(data)
    struct.pack_into('<I', d, 44 + 4 * 0x04, 1)
    fix_header_crcs(d)
    return bytes(d)


def amap_bit_cleared(data):
    """Marks the first slot of the largest block free in its AMap."""
    ndb, _ = parse(data)
    d = bytearray(data)
    bid = max(ndb.bbt, key=lambda b: ndb.bbt[b][1])
    ib = ndb.bbt[bid][0]
    amap = 0x4400 + (ib - 0x4400) // 253952 * 253952
    slot = (ib - amap) // 64
    d[amap + slot // 8] &= ~(0x80 >> (slot % 8)) & 0xFF
    fix_page_crc(d, amap)
    return bytes(d)


def _bbt_leaf(ndb, d):
    for ib in ndb.bt_pages:
        if d[ib + 496] == 0x80 and d[ib + 491] == 0 and d[ib + 488] >= 2:
            return ib
    raise RuntimeError('no BBT leaf page')


def block_outside_file(data):
    ndb, _ = parse(data)
    d = bytearray(data)
    ib = _bbt_leaf(ndb, d)
    struct.pack_into('<Q', d, ib + 24 + 8, len(data) + 4096)   # second entry's IB
    fix_page_crc(d, ib)
    return bytes(d)


def pmap_trailer(data):
    d = bytearray(data)
    d[0x4600 + 496] = 0x84
    return bytes(d)


def node_removed(data):
    """Drops the last entry of an NBT leaf page holding a message node."""
    ndb, _ = parse(data)
    d = bytearray(data)
    for ib in ndb.bt_pages:
        pg = d[ib:ib + 512]
        if pg[496] != 0x81 or pg[491] != 0 or pg[488] < 2:
            continue
        last = pg[488] - 1
        nid = struct.unpack_from('<Q', pg, last * 32)[0]
        if nid & 0x1F == 0x04:
            d[ib + 488] = last
            fix_page_crc(d, ib)
            return bytes(d)
    raise RuntimeError('no NBT leaf ending in a message node')


def xblock_total(data):
    ndb, _ = parse(data)
    d = bytearray(data)
    for bid, (ib, cb, _) in ndb.bbt.items():
        if bid & 2 and d[ib] == 0x01 and d[ib + 1] == 0x01:
            v = struct.unpack_from('<I', d, ib + 4)[0]
            struct.pack_into('<I', d, ib + 4, v + 1)
            t = ib + block_size(cb) - 16
            struct.pack_into('<I', d, t + 4, crc32(bytes(d[ib:ib + cb])))
            return bytes(d)
    raise RuntimeError('no XBLOCK')


def heap_page_map(data):
    """Points a property context's ibHnpm past its block."""
    ndb, _ = parse(data)
    d = bytearray(data)
    bid = ndb.nbt[0x21][0]
    payload = bytearray(ndb.payload(bid))
    struct.pack_into('<H', payload, 0, len(payload) + 2)
    _rewrite_block(d, ndb, bid, bytes(payload))
    return bytes(d)


def block_trailer_bid(data):
    ndb, _ = parse(data)
    d = bytearray(data)
    bid = min(b for b in ndb.bbt if not b & 2)
    ib, cb, _ = ndb.bbt[bid]
    struct.pack_into('<Q', d, ib + block_size(cb) - 8, bid + 4)
    return bytes(d)


def page_signature(data):
    ndb, _ = parse(data)
    d = bytearray(data)
    ib = ndb.nbt_root[1]
    struct.pack_into('<H', d, ib + 498, struct.unpack_from('<H', d, ib + 498)[0] ^ 0x0101)
    return bytes(d)


DAMAGE.update({
    'message-size': message_size,
    'unread-count': unread_count,
    'subfolders-flag': subfolders_flag,
    'bid-next-b': bid_next_b,
    'rgnid-low': rgnid_low,
    'amap-bit-cleared': amap_bit_cleared,
    'block-outside-file': block_outside_file,
    'pmap-trailer': pmap_trailer,
    'node-removed': node_removed,
    'xblock-total': xblock_total,
    'heap-page-map': heap_page_map,
    'block-trailer-bid': block_trailer_bid,
    'page-signature': page_signature,
})


def amap_bit_set(data):
    """Marks one free slot allocated (free count kept in step): leaked space."""
    d = bytearray(data)
    amap = 0x4400
    for k in range(8, 496 * 8):
        if not d[amap + k // 8] & (0x80 >> (k % 8)):
            d[amap + k // 8] |= 0x80 >> (k % 8)
            break
    fix_page_crc(d, amap)
    struct.pack_into('<Q', d, 200, struct.unpack_from('<Q', d, 200)[0] - 64)
    fix_header_crcs(d)
    return bytes(d)


DAMAGE['amap-bit-set'] = amap_bit_set


def _section(ib, extra_bit=False):
    sec = bytearray(253952)
    sec[0] = 0xFF
    if extra_bit:
        sec[5] = 0x01
    sec[496] = sec[497] = 0x84
    struct.pack_into('<I', sec, 500, crc32(bytes(sec[:496])))
    struct.pack_into('<Q', sec, 504, ib)
    return bytes(sec)


def empty_growth(data):
    """One whole, empty section past ibFileEof: an interrupted growth."""
    return data + _section(len(data))


def zeroed_growth(data):
    """Growth stopped before any map was written: sections of zeros, the
    first of them with its map, past ibFileEof."""
    return data + _section(len(data)) + bytes(253952 * 2)


def zeroed_section_with_data(data):
    """A zero section past ibFileEof but for a few bytes: not mere growth."""
    sec = bytearray(253952)
    sec[4096] = 0x5A
    return data + bytes(sec)


def used_growth(data):
    """A section past ibFileEof whose AMap claims space: not mere growth."""
    return data + _section(len(data), extra_bit=True)


DAMAGE['empty-growth'] = empty_growth
DAMAGE['used-growth'] = used_growth
DAMAGE['zeroed-growth'] = zeroed_growth
DAMAGE['data-past-growth'] = zeroed_section_with_data


# ---- damage for the rules checked against Outlook's own reference files.
# Each function breaks one rule and keeps every checksum valid.

def _patch_record(data, nid, sub, old, new, value=None):
    """Rewrites the PC record key `old` (pid, type) of node `nid` (or of its
    subnode `sub`) to `new`, optionally with a new 4-byte value."""
    ndb, ltp = parse(data)
    d = bytearray(data)
    bid = ndb.nbt[nid][0] if sub is None else ltp.node(nid).subnodes[sub][0]
    payload = bytearray(ndb.payload(bid))
    pos = bytes(payload).find(struct.pack('<HH', *old))
    assert pos >= 0, 'record %r not found' % (old,)
    struct.pack_into('<HH', payload, pos, *new)
    if value is not None:
        struct.pack_into('<I', payload, pos + 4, value)
    _rewrite_block(d, ndb, bid, bytes(payload))
    return bytes(d)


def _header_u32(data, offset, value):
    d = bytearray(data)
    struct.pack_into('<I', d, offset, value)
    fix_header_crcs(d)
    return bytes(d)


def _bbt_cref(data):
    ndb, _ = parse(data)
    d = bytearray(data)
    ib = _bbt_leaf(ndb, d)
    struct.pack_into('<H', d, ib + 18, struct.unpack_from('<H', d, ib + 18)[0] + 1)
    fix_page_crc(d, ib)
    return bytes(d)


def _btpage_padding(data):
    ndb, _ = parse(data)
    d = bytearray(data)
    struct.pack_into('<I', d, ndb.nbt_root[1] + 492, 7)
    fix_page_crc(d, ndb.nbt_root[1])
    return bytes(d)


def _page_bid_reused(data):
    """The NBT root page takes the BBT root page's BID (header and
    signature kept in step)."""
    ndb, _ = parse(data)
    d = bytearray(data)
    ib, bid = ndb.nbt_root[1], ndb.bbt_root[0]
    struct.pack_into('<Q', d, ib + 504, bid)
    struct.pack_into('<H', d, ib + 498, signature(ib, bid))
    struct.pack_into('<Q', d, 216, bid)
    fix_header_crcs(d)
    return bytes(d)


def _internal_block(data, pick, change):
    """Rewrites the first internal block whose payload `pick` accepts."""
    ndb, _ = parse(data)
    d = bytearray(data)
    for bid in sorted(ndb.bbt):
        if bid & 2:
            p = ndb.payload(bid)
            if p is not None and pick(p):
                p = bytearray(p)
                change(p)
                _rewrite_block(d, ndb, bid, bytes(p))
                return bytes(d)
    raise RuntimeError('no such internal block')


def _slblock(p):
    return p[0] == 2 and p[1] == 0 and struct.unpack_from('<H', p, 2)[0] >= 2


def _sl_nid(p, i, nid):
    struct.pack_into('<I', p, 8 + 24 * i, nid)


def _subnode_nid(data, old, new):
    def pick(p):
        return p[0] == 2 and p[1] == 0 and any(struct.unpack_from('<I', p, 8 + 24 * i)[0] == old
                                   for i in range(struct.unpack_from('<H', p, 2)[0]))

    def change(p):
        for i in range(struct.unpack_from('<H', p, 2)[0]):
            if struct.unpack_from('<I', p, 8 + 24 * i)[0] == old:
                _sl_nid(p, i, new)
    return _internal_block(data, pick, change)


def _xblock_level2(data):
    return _internal_block(data, lambda p: p[0] == 1 and p[1] == 1, lambda p: p.__setitem__(1, 2))


def _heap_header(data, nid, change):
    ndb, _ = parse(data)
    d = bytearray(data)
    bid = ndb.nbt[nid][0]
    p = bytearray(ndb.payload(bid))
    change(p)
    _rewrite_block(d, ndb, bid, bytes(p))
    return bytes(d)


def _heap_value_too_big(data):
    """Widens the largest heap-held value of a message past 3580 bytes by
    swallowing the items before and after it (they become empty)."""
    ndb, ltp = parse(data)
    best = None
    for nid in ndb.nbt:
        if nid & 0x1F == 0x04:
            values = {v for v in ltp.pc(ltp.node(nid)).values() if len(v) > 16}
            p = ndb.payload(ndb.nbt[nid][0])
            ib = struct.unpack_from('<H', p, 0)[0]
            calloc = struct.unpack_from('<H', p, ib)[0]
            offs = [struct.unpack_from('<H', p, ib + 4 + 2 * k)[0] for k in range(calloc + 1)]
            if offs[-1] - offs[0] <= 3600:
                continue
            for i in range(calloc):
                size = offs[i + 1] - offs[i]
                if bytes(p[offs[i]:offs[i + 1]]) in values and (best is None or size > best[0]):
                    best = (size, nid, i, offs, ib)
    assert best is not None, 'no message heap large enough'
    _size, nid, k, offs, ib = best
    lo, hi = k, k + 1
    while offs[hi] - offs[lo] <= 3580:
        if lo > 0:
            lo -= 1
        else:
            hi += 1

    def change(p):
        for j in range(lo + 1, k + 1):
            struct.pack_into('<H', p, ib + 4 + 2 * j, offs[lo])
        for j in range(k + 1, hi):
            struct.pack_into('<H', p, ib + 4 + 2 * j, offs[hi])
    return _heap_header(data, nid, change)


def _tcinfo(data, nid, change):
    """Applies change(payload, tcinfo offset) to table `nid`'s heap block."""
    ndb, ltp = parse(data)
    from pstcheck.ltp import Heap  # noqa: E402
    h = Heap(ltp.node(nid), Report())
    offs = h.allocs[0][1]
    idx = (h.root >> 5) & 0x7FF
    return _heap_header(data, nid, lambda p: change(p, offs[idx - 1]))


def _tc_column(p, at, old_tag, new_tag):
    for i in range(p[at + 1]):
        o = at + 22 + 8 * i
        if struct.unpack_from('<I', p, o)[0] == old_tag:
            struct.pack_into('<I', p, o, new_tag)
            return
    raise RuntimeError('column 0x%08X not found' % old_tag)


def _rows(data, nid):
    """(payload offset of the row matrix in table `nid`'s heap, row size,
    columns as {tag: (ibData, cbData, iBit)})."""
    ndb, ltp = parse(data)
    from pstcheck.ltp import Heap  # noqa: E402
    h = Heap(ltp.node(nid), Report())
    offs = h.allocs[0][1]
    info = h.get(h.root)
    rows = struct.unpack_from('<I', info, 14)[0]
    assert rows and not rows & 0x1F, 'row matrix of 0x%X is not in its heap' % nid
    idx = (rows >> 5) & 0x7FF
    cols = {}
    for i in range(info[1]):
        tag, ib, cb, bit = struct.unpack_from('<IHBB', info, 22 + 8 * i)
        cols[tag] = (ib, cb, bit)
    return offs[idx - 1], struct.unpack_from('<H', info, 8)[0], cols


def _row_patch(data, nid, change):
    at, size, cols = _rows(data, nid)
    return _heap_header(data, nid, lambda p: change(p, at, size, cols))


def _row_status_cleared(p, at, size, cols):
    ib, cb, bit = cols[0x0E170003]
    ceb = at + size - (len(cols) + 7) // 8
    p[ceb + bit // 8] &= ~(0x80 >> (bit % 8)) & 0xFF
    p[at + ib:at + ib + cb] = bytes(cb)


def _ceb_spare_bit(p, at, size, cols):
    n = len(cols)
    if n % 8 == 0:
        raise RuntimeError('no spare CEB bits')
    p[at + size - 1] |= 1


def _rowver_copied(p, at, size, cols):
    p[at + size + 4:at + size + 8] = p[at + 4:at + 8]


def _nbt_entry(data, nid, offset, fmt, value):
    """Rewrites one field (at `offset` in its NBTENTRY) of node `nid`."""
    ndb, _ = parse(data)
    d = bytearray(data)
    for ib in ndb.bt_pages:
        pg = d[ib:ib + 512]
        if pg[496] == 0x81 and pg[491] == 0:
            for i in range(pg[488]):
                if struct.unpack_from('<Q', pg, 32 * i)[0] == nid:
                    struct.pack_into(fmt, d, ib + 32 * i + offset, value)
                    fix_page_crc(d, ib)
                    return bytes(d)
    raise RuntimeError('NID 0x%X not in the NBT' % nid)


def _nbt_parent(data, nid, value):
    return _nbt_entry(data, nid, 24, '<I', value)


def _nbt_rename(data, old, new):
    """Gives an NBT entry another NID (the neighbours keep the order)."""
    return _nbt_entry(data, old, 0, '<Q', new)


def _dlist(data, bid=None, sig_xor=0):
    d = bytearray(data)
    ib = 0x4200
    assert d[ib + 496] == 0x86, 'no DList page'
    if bid is not None:
        struct.pack_into('<Q', d, ib + 504, bid)
        struct.pack_into('<H', d, ib + 498, signature(ib, bid))
    struct.pack_into('<H', d, ib + 498, struct.unpack_from('<H', d, ib + 498)[0] ^ sig_xor)
    return bytes(d)


def _name_buckets_swapped(data):
    """Swaps the values of the first two hash buckets: their records now sit
    in the wrong buckets."""
    ndb, ltp = parse(data)
    pc = ltp.pc(ltp.node(0x61))
    found = sorted(t >> 16 for t in pc if 0x1000 <= t >> 16 < 0x1000 + 251)[:2]
    d = bytearray(data)
    bid = ndb.nbt[0x61][0]
    p = bytearray(ndb.payload(bid))
    pos = [bytes(p).find(struct.pack('<HH', pid, 0x0102)) for pid in found]
    a, b = bytes(p[pos[0] + 4:pos[0] + 8]), bytes(p[pos[1] + 4:pos[1] + 8])
    p[pos[0] + 4:pos[0] + 8], p[pos[1] + 4:pos[1] + 8] = b, a
    _rewrite_block(d, ndb, bid, bytes(p))
    return bytes(d)


def _name_string_offset(data):
    """Moves the first string name's offset off its entry by two bytes."""
    ndb, ltp = parse(data)
    pc = ltp.pc(ltp.node(0x61))
    entries = pc[0x00030102]
    for i in range(0, len(entries), 8):
        if entries[i + 4] & 1:
            old = entries[i:i + 8]
            new = struct.pack('<I', struct.unpack_from('<I', old)[0] + 2) + old[4:]
            d = bytearray(data)
            for bid in sorted(ndb.bbt):
                p = ndb.payload(bid)
                if p is not None and old in p:
                    p = p.replace(old, new, 1)
                    _rewrite_block(d, ndb, bid, p)
                    return bytes(d)
    raise RuntimeError('no string-named NAMEID')


DAMAGE.update({
    'reserved-header-field': lambda data: _header_u32(data, 532, 1),
    'bbt-cref': _bbt_cref,
    'btpage-padding': _btpage_padding,
    'page-bid-reused': _page_bid_reused,
    'slblock-padding': lambda data: _internal_block(data, _slblock, lambda p: struct.pack_into('<I', p, 4, 1)),
    'slblock-empty': lambda data: _internal_block(data, _slblock, lambda p: struct.pack_into('<H', p, 2, 0)),
    'subnode-twice-in-node': lambda data: _internal_block(
        data, _slblock, lambda p: _sl_nid(p, 1, struct.unpack_from('<I', p, 8)[0])),
    'heap-client-sig': lambda data: _heap_header(data, 0x21, lambda p: p.__setitem__(3, 0x6C)),
    'heap-fill-level': lambda data: _heap_header(data, 0x21, lambda p: p.__setitem__(11, 0x50)),
    'object-as-nid': lambda data: _patch_record(data, 0x2000C4, 0x80A5, (0x3701, 0x000D), (0x3701, 0x000D),
                                                0x200184),
    'tc-hid-index': lambda data: _tcinfo(data, 0x60E, lambda p, at: struct.pack_into('<I', p, at + 18, 0x20)),
    'ceb-spare-bits': lambda data: _row_patch(data, 0x812E, _ceb_spare_bit),
    'template-column': lambda data: _tcinfo(data, 0x692, lambda p, at: _tc_column(p, at, 0x0C150003, 0x0C160003)),
    'folder-table-column': lambda data: _tcinfo(data, 0x812E,
                                                 lambda p, at: _tc_column(p, at, 0x0E170003, 0x0E160003)),
    'row-status-missing': lambda data: _row_patch(data, 0x812E, _row_status_cleared),
    'calculated-property': lambda data: _patch_record(data, 0x2000C4, 0x80A5, (0x3001, 0x001F), (0x0E21, 0x0003),
                                                      7),
    'empty-subject-prefix': lambda data: _patch_record(data, 0x2000C4, None, (0x003B, 0x0102), (0x003D, 0x001F), 0),
    'rowver-above-unique': lambda data: _header_u32(data, 40, 100),
    'rowver-twice': lambda data: _row_patch(data, 0x814E, _rowver_copied),
    'subnode-above-rgnid': lambda data: _header_u32(data, 44 + 4 * 0x05, 0x404),
    'subnode-not-from-counter': lambda data: _subnode_nid(data, 0x80E5, 0x25),
    'subnode-twice-in-store': lambda data: _subnode_nid(data, 0x200184, 0x2001C4),
    'name-bucket': _name_buckets_swapped,
    'name-string-offset': _name_string_offset,
    'search-criteria-missing': lambda data: _nbt_rename(data, 0x2227, 0x2229),
    'queue-head': lambda data: _nbt_parent(data, 0x1E1, 7),
    'dlist-bid': lambda data: _dlist(data, bid=0x4200),
    'dlist-signature': lambda data: _dlist(data, sig_xor=0x0101),
})


# ---- rules that need a file our writer made (attachments in data trees,
# mail messages, tables of several row blocks).

def _rows_xblock(data):
    """Puts the last (short) block of the largest row matrix first."""
    ndb, ltp = parse(data)
    from pstcheck.ltp import Heap  # noqa: E402
    best = None
    for nid in ndb.nbt:
        if nid & 0x1F == 0x0E and ndb.nbt[nid][1]:
            node = ltp.node(nid)
            info = Heap(node, Report()).get(Heap(node, Report()).root)
            rows = struct.unpack_from('<I', info, 14)[0]
            sub = node.subnodes.get(rows)
            if sub and sub[0] & 2 and (best is None or ndb.bbt[sub[0]][1] > ndb.bbt[best][1]):
                best = sub[0]
    assert best is not None, 'no row matrix in a data tree'
    d = bytearray(data)
    p = bytearray(ndb.payload(best))
    n = struct.unpack_from('<H', p, 2)[0]
    first, last = p[8:16], p[8 + 8 * (n - 1):16 + 8 * (n - 1)]
    p[8:16], p[8 + 8 * (n - 1):16 + 8 * (n - 1)] = last, first
    _rewrite_block(d, ndb, best, bytes(p))
    return bytes(d)


def _row_matrix_renamed(data):
    """Moves a table's row matrix from subnode 0x3F to 0x7F."""
    ndb, ltp = parse(data)
    for nid in sorted(ndb.nbt):
        if ndb.nbt[nid][1] and 0x3F in ltp.node(nid).subnodes:
            data = _subnode_nid(data, 0x3F, 0x7F)
            return _tcinfo(data, nid, lambda p, at: struct.pack_into('<I', p, at + 14, 0x7F))
    raise RuntimeError('no table keeps its rows in subnode 0x3F')


def _recipient_column(data, old_tag, new_tag):
    """Renames a column of the first recipient table (a message's subnode)."""
    ndb, ltp = parse(data)
    from pstcheck.ltp import Heap  # noqa: E402
    for nid in sorted(ndb.nbt):
        node = ltp.node(nid) if nid & 0x1F == 0x04 else None
        table = node.child(0x692) if node is not None else None
        if table is None:
            continue
        h = Heap(table, Report())
        at = h.allocs[0][1][((h.root >> 5) & 0x7FF) - 1]
        bid = node.subnodes[0x692][0]
        d = bytearray(data)
        p = bytearray(ndb.payload(bid))
        _tc_column(p, at, old_tag, new_tag)
        _rewrite_block(d, ndb, bid, bytes(p))
        return bytes(d)
    raise RuntimeError('no recipient table')


def _search_row_renamed(p, at, size, cols):
    struct.pack_into('<I', p, at, 0x7FFFFFE4)


DAMAGE.update({
    'search-folder-count': lambda data: _patch_record(data, 0x2223, None, (0x3602, 0x0003), (0x3602, 0x0003), 1),
    'search-folder-row': lambda data: _row_patch(data, 0x80030, _search_row_renamed),
    'smq-sud-type': lambda data: _nbt_entry(data, 0x1E1, 8, '<Q', parse(data)[0].nbt[0x201][0]),
    'recipient-rowid-column': lambda data: _recipient_column(data, 0x3001001F, 0x30000003),
})


DAMAGE.update({
    'xxblock-of-data-blocks': _xblock_level2,
    'row-block-short': _rows_xblock,
    'heap-value-too-big': _heap_value_too_big,
    'recipient-table-missing': lambda data: _subnode_nid(data, 0x692, 0x6B2),
    'row-matrix-not-0x3f': _row_matrix_renamed,
})

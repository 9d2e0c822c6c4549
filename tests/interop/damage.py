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

from pstcheck.codec import crc32, signature, decode_permute, _ENCODE  # noqa: E402
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

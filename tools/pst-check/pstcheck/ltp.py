# SPDX-License-Identifier: GPL-3.0-or-later
"""LTP layer: heap-on-node, BTH, property and table contexts ([MS-PST] 2.3)."""
from .codec import U16, U32

SIG_HN = 0xEC
CLIENT_TC, CLIENT_BTH, CLIENT_PC = 0x7C, 0xB5, 0xBC
# bClientSig values [MS-PST] 2.3.1.2 defines; the others of the table are
# reserved and "MUST NOT be assigned or used".
CLIENT_SIGS = {CLIENT_TC, CLIENT_BTH, CLIENT_PC}


def _spare_fill_levels(blocks, what, report):
    """rgbFillLevel nibbles of blocks the heap does not have MUST be zero
    ([MS-PST] 2.3.1.2 for the HNHDR's eight, 2.3.1.4 for each
    HNBITMAPHDR's 128)."""
    n = len(blocks)
    maps = [(0, blocks[0][8:12], 8)] + [(k, blocks[k][2:66], 128) for k in range(8, n, 128)
                                        if len(blocks[k]) >= 66]
    for first, levels, count in maps:
        for j in range(max(0, n - first), count):
            if (levels[j // 2] >> (4 * (j % 2))) & 0xF:
                report.problem('heap', '%s: rgbFillLevel of block %d, which does not exist, is not zero'
                               % (what, first + j), sec='2.3.1.2' if first == 0 else '2.3.1.4', kind='fill')
                return

FIXED_INLINE = {0x0002: 2, 0x0003: 4, 0x0004: 4, 0x000A: 4, 0x000B: 1}
FIXED_HEAP = {0x0005: 8, 0x0006: 8, 0x0007: 8, 0x0014: 8, 0x0040: 8, 0x0048: 16}
VARIABLE = {0x001E, 0x001F, 0x0102, 0x000D}
MULTI_FIXED = {0x1002: 2, 0x1003: 4, 0x1004: 4, 0x1005: 8, 0x1006: 8, 0x1007: 8,
               0x1014: 8, 0x1040: 8, 0x1048: 16}
MULTI_VAR = {0x101E, 0x101F, 0x1102}


class Node:
    """A node's (or subnode's) data stream, as blocks, and its subnodes."""

    def __init__(self, ltp, nid, blocks, subnodes, what):
        self.ltp, self.nid, self.blocks, self.subnodes, self.what = ltp, nid, blocks, subnodes, what

    def child(self, nid):
        e = self.subnodes.get(nid)
        if e is None:
            return None
        return self.ltp.node_from(nid, e[0], e[1], '%s/subnode 0x%X' % (self.what, nid))


class Heap:
    def __init__(self, node, report):
        self.node, self.r, self.ok = node, report, False
        self.allocs = []
        blocks = node.blocks
        if not blocks or len(blocks[0]) < 12:
            report.problem('heap', '%s: no heap header' % node.what)
            return
        b0 = blocks[0]
        if b0[2] != SIG_HN:
            report.problem('heap', '%s: bSig 0x%02X, not 0xEC' % (node.what, b0[2]), sec='2.3.1.2')
            return
        self.client, self.root = b0[3], U32(b0, 4)
        if self.client not in CLIENT_SIGS:
            report.problem('heap', '%s: bClientSig 0x%02X is not a defined value' % (node.what, self.client),
                           sec='2.3.1.2')
        # Outlook does not keep rgbFillLevel up to date (its files mark
        # nearly every block empty whatever it holds), so fill levels are
        # not compared with the blocks; those of blocks that do not exist
        # must be zero.
        _spare_fill_levels(blocks, node.what, report)
        for i, b in enumerate(blocks):
            first = 12 if i == 0 else (66 if i % 128 == 8 else 2)
            if len(b) < first + 4:
                report.problem('heap', '%s: block %d too short for a heap page' % (node.what, i))
                return
            ib = U16(b, 0)
            if ib % 2 or ib < first or ib + 4 > len(b):
                report.problem('heap', '%s: block %d ibHnpm %d out of range' % (node.what, i, ib), sec='2.3.1.5')
                return
            calloc = U16(b, ib)
            if ib + 4 + 2 * (calloc + 1) > len(b):
                report.problem('heap', '%s: block %d page map overruns the block' % (node.what, i), sec='2.3.1.5')
                return
            offs = [U16(b, ib + 4 + 2 * k) for k in range(calloc + 1)]
            if offs[0] != first or any(offs[k + 1] < offs[k] for k in range(calloc)) or offs[-1] > ib:
                report.problem('heap', '%s: block %d allocation offsets out of order or range'
                               % (node.what, i), kind='hnpm', sec='2.3.1.5')
                return
            self.allocs.append((b, offs))
        self.ok = True

    def get(self, hid, what='value'):
        if hid & 0x1F:
            self.r.problem('heap', '%s: HID 0x%X has hidType %d' % (self.node.what, hid, hid & 0x1F),
                           kind='hid', sec='2.3.1.1')
            return None
        idx, blk = (hid >> 5) & 0x7FF, hid >> 16
        if blk >= len(self.allocs) or idx == 0 or idx >= len(self.allocs[blk][1]):
            self.r.problem('heap', '%s: %s HID 0x%X names no allocation' % (self.node.what, what, hid),
                           kind='hid', sec='2.3.1.1')
            return None
        b, offs = self.allocs[blk]
        return b[offs[idx - 1]:offs[idx]]

    def hnid(self, hnid, what='value'):
        """Bytes of an HNID: a heap item, or a subnode's whole stream."""
        if hnid == 0:
            return b''
        if hnid & 0x1F == 0:
            return self.get(hnid, what)
        ch = self.node.child(hnid)
        if ch is None:
            self.r.problem('ltp', '%s: %s names subnode 0x%X, which does not exist'
                           % (self.node.what, what, hnid), kind='hnid')
            return None
        return b''.join(ch.blocks)


def read_bth(heap, hid, report, what):
    """Records of a BTH as a list of (key bytes, data bytes); None on error."""
    hdr = heap.get(hid, 'BTH header')
    if hdr is None:
        return None, 0, 0
    if len(hdr) != 8 or hdr[0] != CLIENT_BTH:
        report.problem('bth', '%s: BTH header malformed' % what)
        return None, 0, 0
    cbkey, cbent, levels, root = hdr[1], hdr[2], hdr[3], U32(hdr, 4)
    if cbkey not in (2, 4, 8, 16) or cbent < 1 or cbent > 32:
        report.problem('bth', '%s: BTH cbKey %d/cbEnt %d invalid' % (what, cbkey, cbent))
        return None, cbkey, cbent
    out = []
    if root == 0:
        return out, cbkey, cbent

    def walk(h, level, first):
        data = heap.get(h, 'BTH record')
        if data is None:
            return False
        size = cbkey + (cbent if level == 0 else 4)
        if len(data) % size or not data:
            report.problem('bth', '%s: BTH node of %d bytes is not whole records' % (what, len(data)))
            return False
        recs = [data[i:i + size] for i in range(0, len(data), size)]
        if first is not None and recs[0][:cbkey] != first:
            report.problem('bth', '%s: BTH index key differs from its child\'s first key' % what)
        for rec in recs:
            if level == 0:
                out.append((rec[:cbkey], rec[cbkey:]))
            elif not walk(U32(rec, cbkey), level - 1, rec[:cbkey]):
                return False
        return True

    if not walk(root, levels, None):
        return None, cbkey, cbent
    keys = [int.from_bytes(k, 'little') for k, _ in out]
    if any(keys[i] >= keys[i + 1] for i in range(len(keys) - 1)):
        report.problem('bth', '%s: BTH keys not strictly ascending' % what, kind='bthorder')
    return out, cbkey, cbent


class Ltp:
    def __init__(self, ndb, report):
        self.ndb, self.r = ndb, report
        self.row_versions = []   # PidTagLtpRowVer of every table row read

    def node_from(self, nid, bdata, bsub, what):
        blocks = self.ndb.data_blocks(bdata, what) if bdata else []
        if blocks is None:
            return None
        subs = self.ndb.subnodes(bsub, what) if bsub else {}
        if subs is None:
            return None
        return Node(self, nid, blocks, subs, what)

    def node(self, nid, what=None):
        e = self.ndb.nbt.get(nid)
        if e is None:
            return None
        return self.node_from(nid, e[0], e[1], what or 'node 0x%X' % nid)

    def heap(self, node, client):
        h = Heap(node, self.r)
        if not h.ok:
            return None
        if h.client != client:
            self.r.problem('heap', '%s: bClientSig 0x%02X, expected 0x%02X' % (node.what, h.client, client))
            return None
        return h

    def pc(self, node):
        """Property context as {tag: value bytes}; None if unreadable."""
        from .props import read_pc
        h = self.heap(node, CLIENT_PC)
        return None if h is None else read_pc(h, self.r)

    def tc(self, node):
        """Table context as (columns, rows); rows are {tag: value bytes}."""
        from .table import read_tc
        h = self.heap(node, CLIENT_TC)
        return None if h is None else read_tc(h, self.r)

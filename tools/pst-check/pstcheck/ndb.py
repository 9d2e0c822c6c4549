# SPDX-License-Identifier: GPL-3.0-or-later
"""Node database layer: header, pages, B-trees, blocks ([MS-PST] 2.2.2)."""
from .codec import (crc32, signature, decode_permute, decode_cyclic,
                    CRYPT_PERMUTE, CRYPT_CYCLIC, U16, U32, U64)
from . import allocation, header, nids
from .trees import TreeReader

PAGE = 512
PTYPE_BBT, PTYPE_NBT, PTYPE_FMAP, PTYPE_PMAP, PTYPE_AMAP, PTYPE_FPMAP, PTYPE_DL = range(0x80, 0x87)
MAX_BLOCK = 8192
MAX_PAYLOAD = 8176


def block_size(cb):
    return (cb + 16 + 63) // 64 * 64


class Ndb(TreeReader):
    def __init__(self, data, report, messaging=True):
        self.data = data
        self.messaging = messaging   # whether Outlook's messaging habits apply
        self.r = report
        self.size = len(data)
        self.usable = False
        self.bbt = {}        # bid -> [ib, cb, cref]
        self.nbt = {}        # nid -> (bidData, bidSub, nidParent)
        self.bt_pages = []   # ib of every B-tree page reached
        self.max_page_bid = 0
        self.refs = {}       # bid -> references counted while walking
        self._payload = {}
        self.page_bids = set()
        self.subnode_nids = {}  # subnode NID -> count, across the store
        if not header.read(self):
            return
        self._btree(self.nbt_root, PTYPE_NBT)
        self._btree(self.bbt_root, PTYPE_BBT)
        self._blocks()
        self._node_refs()
        self._counters()
        allocation.check(self)
        self.usable = True

    # ---- pages ([MS-PST] 2.2.2.7)
    def page(self, ib, ptype, what):
        """Checks a page trailer; returns the page bytes (or None)."""
        d = self.data
        if ib % PAGE or ib < 0 or ib + PAGE > self.size:
            self.r.problem('page', '%s at %d is outside the file or not 512-aligned' % (what, ib))
            return None
        pg = d[ib:ib + PAGE]
        t, t2, sig, crc, bid = pg[496], pg[497], U16(pg, 498), U32(pg, 500), U64(pg, 504)
        ok = True
        if t != ptype or t2 != ptype:
            self.r.problem('page', '%s at %d has ptype 0x%02X/0x%02X, expected 0x%02X'
                           % (what, ib, t, t2, ptype), kind='ptype')
            return None
        if crc != crc32(pg[:496]):
            self.r.problem('page', '%s at %d fails its CRC' % (what, ib), kind='pagecrc')
            ok = False
        if ptype in (PTYPE_AMAP, PTYPE_PMAP, PTYPE_FMAP, PTYPE_FPMAP):
            if sig != 0:
                self.r.problem('page', '%s at %d has wSig 0x%04X, not 0' % (what, ib, sig))
            if bid != ib:
                self.r.problem('page', '%s at %d has bid %d, not its offset' % (what, ib, bid))
        elif sig != signature(ib, bid):
            self.r.problem('page', '%s at %d has a wrong wSig' % (what, ib), kind='pagesig')
        return pg if ok else None

    # ---- B-trees ([MS-PST] 2.2.2.7.7)
    def _btree(self, root, ptype):
        name = 'NBT' if ptype == PTYPE_NBT else 'BBT'
        self._last_key = None
        self._walk(root[0], root[1], ptype, name, None, None, None)

    def _walk(self, bid, ib, ptype, name, level, lo, hi):
        r = self.r
        pg = self.page(ib, ptype, name + ' page')
        if pg is None:
            return
        self.bt_pages.append(ib)
        page_bid = U64(pg, 504)
        if page_bid != bid:
            r.problem('btree', '%s page at %d has bid %d, its reference says %d'
                      % (name, ib, page_bid, bid), sec='2.2.2.7.7.2')
        if page_bid in self.page_bids:
            r.problem('btree', '%s page at %d reuses page BID 0x%X' % (name, ib, page_bid),
                      sec='2.2.2.7.1', kind='pagebid')
        self.page_bids.add(page_bid)
        self.max_page_bid = max(self.max_page_bid, page_bid)
        cent, centmax, cbent, clevel = pg[488], pg[489], pg[490], pg[491]
        if U32(pg, 492):
            r.problem('btree', '%s page at %d has dwPadding 0x%X, not zero' % (name, ib, U32(pg, 492)),
                      sec='2.2.2.7.7.1', kind='btpad')
        if level is not None and clevel != level:
            r.problem('btree', '%s page at %d has cLevel %d, expected %d' % (name, ib, clevel, level),
                      sec='2.2.2.7.7.1')
            return
        if clevel > 8:
            r.problem('btree', '%s page at %d has cLevel %d (more than 8)' % (name, ib, clevel),
                      sec='2.2.2.7.7')
            return
        want = 24 if clevel > 0 or ptype == PTYPE_BBT else 32
        if cbent != want or centmax != 488 // want:
            r.problem('btree', '%s page at %d has cbEnt %d/cEntMax %d, expected %d/%d'
                      % (name, ib, cbent, centmax, want, 488 // want), sec='2.2.2.7.7.1')
            return
        if cent > centmax or (cent == 0 and level is not None):
            r.problem('btree', '%s page at %d has cEnt %d' % (name, ib, cent), sec='2.2.2.7.7.1')
            return
        keys = [U64(pg, i * cbent) for i in range(cent)]
        for i in range(1, cent):
            if keys[i] <= keys[i - 1]:
                r.problem('btree', '%s page at %d: keys not strictly ascending at entry %d'
                          % (name, ib, i), kind='order', sec='2.2.2.7.7.1')
        if cent and lo is not None and keys[0] != lo:
            r.problem('btree', '%s page at %d: first key 0x%X differs from its parent entry 0x%X'
                      % (name, ib, keys[0], lo), kind='order', sec='2.2.2.7.7.2')
        if cent and hi is not None and keys[-1] >= hi:
            r.problem('btree', '%s page at %d: key 0x%X not below the next parent key 0x%X'
                      % (name, ib, keys[-1], hi), kind='order', sec='2.2.2.7.7.2')
        if clevel > 0:
            for i in range(cent):
                o = i * cbent
                nxt = keys[i + 1] if i + 1 < cent else hi
                self._walk(U64(pg, o + 8), U64(pg, o + 16), ptype, name, clevel - 1, keys[i], nxt)
            return
        for i in range(cent):
            o = i * cbent
            if self._last_key is not None and keys[i] <= self._last_key:
                r.problem('btree', '%s leaf at %d: key 0x%X not above the previous leaf key'
                          % (name, ib, keys[i]), kind='order', sec='2.2.2.7.7.1')
            self._last_key = keys[i]
            if ptype == PTYPE_NBT:
                self._nbt_entry(pg, o, keys[i])
            else:
                self._bbt_entry(pg, o, keys[i])

    def _nbt_entry(self, pg, o, key):
        r = self.r
        if key >> 32:
            r.problem('btree', 'NBT entry with NID 0x%X wider than 32 bits' % key, sec='2.2.2.7.7.4')
        nid = key & 0xFFFFFFFF
        if nid in self.nbt:
            r.problem('btree', 'NID 0x%X appears twice in the NBT' % nid, sec='2.2.2.1')
        self.nbt[nid] = (U64(pg, o + 8), U64(pg, o + 16), U32(pg, o + 24))
        if U32(pg, o + 28):
            # Outlook leaves leftovers in the padding of its NBT entries.
            self.r.note('btree', 'NBTENTRY dwPadding holds 0x%X, not zero (as in Outlook\'s own files)'
                        % U32(pg, o + 28), sec='2.2.2.7.7.4', once='nbtpad')

    def _bbt_entry(self, pg, o, bid):
        r = self.r
        if bid in self.bbt:
            r.problem('btree', 'BID 0x%X appears twice in the BBT' % bid, sec='2.2.2.2')
        cb, cref = U16(pg, o + 16), U16(pg, o + 18)
        self.bbt[bid] = [U64(pg, o + 8), cb, cref]
        if U32(pg, o + 20):
            r.note('btree', 'BBTENTRY dwPadding holds 0x%X, not zero (as in Outlook\'s own files)'
                   % U32(pg, o + 20), sec='2.2.2.7.7.3', once='bbtpad')

    # ---- blocks ([MS-PST] 2.2.2.8)
    def _blocks(self):
        d, r = self.data, self.r
        self.bad_blocks = set()
        for bid, (ib, cb, _cref) in self.bbt.items():
            if bid & 1:
                r.problem('block', 'BID 0x%X has the reserved low bit set' % bid, sec='2.2.2.2')
            size = block_size(cb)
            if cb > MAX_PAYLOAD:
                r.problem('block', 'block 0x%X: cb %d larger than %d' % (bid, cb, MAX_PAYLOAD))
                self.bad_blocks.add(bid)
                continue
            if ib % 64 or ib < 0x4400 or ib + size > self.size:
                r.problem('block', 'block 0x%X at %d (%d bytes) is outside the file or unaligned'
                          % (bid, ib, size), kind='blockpos')
                self.bad_blocks.add(bid)
                continue
            t = ib + size - 16
            tcb, tsig, tcrc, tbid = U16(d, t), U16(d, t + 2), U32(d, t + 4), U64(d, t + 8)
            if tcb != cb:
                r.problem('block', 'block 0x%X at %d: trailer cb %d, BBT says %d' % (bid, ib, tcb, cb),
                          kind='blocktrailer', sec='2.2.2.8.1')
                self.bad_blocks.add(bid)
            if tbid != bid:
                r.problem('block', 'block 0x%X at %d: trailer bid is 0x%X' % (bid, ib, tbid),
                          kind='blocktrailer', sec='2.2.2.8.1')
                self.bad_blocks.add(bid)
            if tsig != signature(ib, bid):
                r.problem('block', 'block 0x%X at %d: wrong wSig' % (bid, ib), kind='blocksig', sec='5.5')
            if tcrc != crc32(d[ib:ib + cb]):
                r.problem('block', 'block 0x%X at %d fails its CRC' % (bid, ib), kind='blockcrc',
                          sec='2.2.2.8.1')
                self.bad_blocks.add(bid)

    def lookup(self, bid):
        e = self.bbt.get(bid)
        if e is None and bid & 1:
            e = self.bbt.get(bid & ~1)
        return e

    def payload(self, bid):
        """Decoded contents of one block, or None when missing or damaged."""
        p = self._payload.get(bid)
        if p is not None:
            return p
        e = self.lookup(bid)
        if e is None or bid in self.bad_blocks:
            return None
        ib, cb, _ = e
        p = self.data[ib:ib + cb]
        if not bid & 2:
            if self.crypt == CRYPT_PERMUTE:
                p = decode_permute(p)
            elif self.crypt == CRYPT_CYCLIC:
                p = decode_cyclic(p, bid)
        if len(self._payload) < 4096:
            self._payload[bid] = p
        return p

    def _ref(self, bid):
        self.refs[bid] = self.refs.get(bid, 0) + 1

    def _counters(self):
        r = self.r
        if self.bbt and max(self.bbt) >= self.bid_next_b:
            r.problem('header', 'bidNextB 0x%X is not above the largest block BID 0x%X'
                      % (self.bid_next_b, max(self.bbt)), sec='2.2.2.2')
        if self.max_page_bid >= self.bid_next_p:
            r.problem('header', 'bidNextP 0x%X is not above the largest page BID 0x%X'
                      % (self.bid_next_p, self.max_page_bid), sec='2.2.2.7.1')
        nids.check_counters(self)

"""Node database layer: header, pages, B-trees, blocks ([MS-PST] 2.2.2)."""
from .codec import (crc32, signature, decode_permute, decode_cyclic,
                    CRYPT_NONE, CRYPT_PERMUTE, CRYPT_CYCLIC, U16, U32, U64)
from . import allocation
from .trees import TreeReader

PAGE = 512
PTYPE_BBT, PTYPE_NBT, PTYPE_FMAP, PTYPE_PMAP, PTYPE_AMAP, PTYPE_FPMAP, PTYPE_DL = range(0x80, 0x87)
MAX_BLOCK = 8192
MAX_PAYLOAD = 8176


def block_size(cb):
    return (cb + 16 + 63) // 64 * 64


class Ndb(TreeReader):
    def __init__(self, data, report):
        self.data = data
        self.r = report
        self.size = len(data)
        self.usable = False
        self.bbt = {}        # bid -> [ib, cb, cref]
        self.nbt = {}        # nid -> (bidData, bidSub, nidParent)
        self.bt_pages = []   # ib of every B-tree page reached
        self.max_page_bid = 0
        self.refs = {}       # bid -> references counted while walking
        self._payload = {}
        self.subnode_nids = {}
        if not self._header():
            return
        self._btree(self.nbt_root, PTYPE_NBT)
        self._btree(self.bbt_root, PTYPE_BBT)
        self._blocks()
        self._node_refs()
        self._counters()
        allocation.check(self)
        self.usable = True

    # ---- header ([MS-PST] 2.2.2.6)
    def _header(self):
        d, r = self.data, self.r
        if self.size < 564:
            r.problem('header', 'file of %d bytes is shorter than the header' % self.size)
            return False
        if d[0:4] != b'!BDN':
            r.problem('header', 'dwMagic is %r, not "!BDN"' % d[0:4])
            return False
        if U32(d, 4) != crc32(d[8:8 + 471]):
            r.problem('header', 'dwCRCPartial does not match the header bytes')
        if U16(d, 8) != 0x4D53:
            r.problem('header', 'wMagicClient is 0x%04X, not 0x4D53' % U16(d, 8))
        ver = U16(d, 10)
        if ver in (14, 15):
            r.problem('header', 'ANSI file (wVer %d): only Unicode files are checked' % ver)
            return False
        # Outlook writes 23 although the text says "greater than 23"; its own
        # sample header has 23 too, so 23 is accepted.
        if ver < 23 or ver == 36:
            r.problem('header', 'wVer %d is not a Unicode .pst version' % ver)
            return False
        if U32(d, 524) != crc32(d[8:8 + 516]):
            r.problem('header', 'dwCRCFull does not match the header bytes')
        if U16(d, 12) != 19:
            r.problem('header', 'wVerClient is %d, not 19' % U16(d, 12))
        if d[14] != 1 or d[15] != 1:
            r.problem('header', 'bPlatformCreate/bPlatformAccess are %d/%d, not 1/1' % (d[14], d[15]))
        if d[512] != 0x80:
            r.problem('header', 'bSentinel is 0x%02X, not 0x80' % d[512])
        self.crypt = d[513]
        if self.crypt not in (CRYPT_NONE, CRYPT_PERMUTE, CRYPT_CYCLIC):
            r.problem('header', 'bCryptMethod 0x%02X is not a defined method' % self.crypt)
            return False
        self.bid_next_p = U64(d, 32)
        self.bid_next_b = U64(d, 516)
        self.rgnid = [U32(d, 44 + 4 * i) for i in range(32)]
        self.eof = U64(d, 184)
        self.amap_last = U64(d, 192)
        self.amap_free = U64(d, 200)
        self.pmap_free = U64(d, 208)
        self.nbt_root = (U64(d, 216), U64(d, 224))
        self.bbt_root = (U64(d, 232), U64(d, 240))
        self.amap_valid = d[248]
        if self.eof != self.size:
            if self.size > self.eof and self._empty_growth():
                # What an interrupted growth leaves: whole sections past the
                # committed end whose AMaps are valid and map only their own
                # map pages, or that are still all zero because the stop
                # came before their maps were written. Extending the file and
                # rewriting the header cannot be one atomic step, so a
                # crash-safe writer can leave this; the committed state is
                # intact. A cleanly closed file must not have it
                # (--strict-leaks).
                r.leak('header', 'file has %d bytes of empty sections past ibFileEof %d'
                       % (self.size - self.eof, self.eof))
            else:
                r.problem('header', 'ibFileEof is %d but the file has %d bytes' % (self.eof, self.size))
        if self.amap_valid not in (0, 1, 2):
            r.problem('header', 'fAMapValid is %d, not 0, 1 or 2' % self.amap_valid)
        if self.pmap_free != 0:
            r.problem('header', 'cbPMapFree is %d, not 0' % self.pmap_free)
        for name, (bid, ib) in (('NBT', self.nbt_root), ('BBT', self.bbt_root)):
            if ib % PAGE or ib + PAGE > self.size or ib < 0x4400:
                r.problem('header', 'BREF%s points at %d, outside the file or unaligned' % (name, ib))
                return False
        return True

    def _empty_growth(self):
        span = 496 * 8 * 64
        if (self.size - self.eof) % span or (self.eof - 0x4400) % span:
            return False
        for ib in range(self.eof, self.size, span):
            pg = self.data[ib:ib + PAGE]
            if pg.count(0) == PAGE and self.data[ib:ib + span].count(0) == span:
                continue
            if pg[496] != PTYPE_AMAP or U32(pg, 500) != crc32(pg[:496]) or U64(pg, 504) != ib:
                return False
            # Its own page, and at most a PMap and an FMap page after it.
            if pg[0] not in (0xFF,) or pg[1] not in (0x00, 0xFF) or pg[2] not in (0x00, 0xFF) \
                    or pg[3:496].count(0) != 493:
                return False
        return True

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
        if U64(pg, 504) != bid:
            r.problem('btree', '%s page at %d has bid %d, its reference says %d'
                      % (name, ib, U64(pg, 504), bid))
        self.max_page_bid = max(self.max_page_bid, U64(pg, 504))
        cent, centmax, cbent, clevel = pg[488], pg[489], pg[490], pg[491]
        if level is not None and clevel != level:
            r.problem('btree', '%s page at %d has cLevel %d, expected %d' % (name, ib, clevel, level))
            return
        if clevel > 8:
            r.problem('btree', '%s page at %d has cLevel %d (more than 8)' % (name, ib, clevel))
            return
        want = 24 if clevel > 0 or ptype == PTYPE_BBT else 32
        if cbent != want or centmax != 488 // want:
            r.problem('btree', '%s page at %d has cbEnt %d/cEntMax %d, expected %d/%d'
                      % (name, ib, cbent, centmax, want, 488 // want))
            return
        if cent > centmax or (cent == 0 and level is not None):
            r.problem('btree', '%s page at %d has cEnt %d' % (name, ib, cent))
            return
        keys = [U64(pg, i * cbent) for i in range(cent)]
        for i in range(1, cent):
            if keys[i] <= keys[i - 1]:
                r.problem('btree', '%s page at %d: keys not strictly ascending at entry %d'
                          % (name, ib, i), kind='order')
        if cent and lo is not None and keys[0] != lo:
            r.problem('btree', '%s page at %d: first key 0x%X differs from its parent entry 0x%X'
                      % (name, ib, keys[0], lo), kind='order')
        if cent and hi is not None and keys[-1] >= hi:
            r.problem('btree', '%s page at %d: key 0x%X not below the next parent key 0x%X'
                      % (name, ib, keys[-1], hi), kind='order')
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
                          % (name, ib, keys[i]), kind='order')
            self._last_key = keys[i]
            if ptype == PTYPE_NBT:
                if keys[i] >> 32:
                    r.problem('btree', 'NBT entry with NID 0x%X wider than 32 bits' % keys[i])
                nid = keys[i] & 0xFFFFFFFF
                if nid in self.nbt:
                    r.problem('btree', 'NID 0x%X appears twice in the NBT' % nid)
                self.nbt[nid] = (U64(pg, o + 8), U64(pg, o + 16), U32(pg, o + 24))
            else:
                bid = keys[i]
                if bid in self.bbt:
                    r.problem('btree', 'BID 0x%X appears twice in the BBT' % bid)
                cb, cref = U16(pg, o + 16), U16(pg, o + 18)
                self.bbt[bid] = [U64(pg, o + 8), cb, cref]
                if cref < 1:
                    r.problem('btree', 'BBT entry 0x%X has cRef 0' % bid, kind='cref')

    # ---- blocks ([MS-PST] 2.2.2.8)
    def _blocks(self):
        d, r = self.data, self.r
        self.bad_blocks = set()
        for bid, (ib, cb, _cref) in self.bbt.items():
            if bid & 1:
                r.problem('block', 'BID 0x%X has the reserved low bit set' % bid)
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
                          kind='blocktrailer')
                self.bad_blocks.add(bid)
            if tbid != bid:
                r.problem('block', 'block 0x%X at %d: trailer bid is 0x%X' % (bid, ib, tbid),
                          kind='blocktrailer')
                self.bad_blocks.add(bid)
            if tsig != signature(ib, bid):
                r.problem('block', 'block 0x%X at %d: wrong wSig' % (bid, ib), kind='blocksig')
            if tcrc != crc32(d[ib:ib + cb]):
                r.problem('block', 'block 0x%X at %d fails its CRC' % (bid, ib), kind='blockcrc')
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
                      % (self.bid_next_b, max(self.bbt)))
        if self.max_page_bid >= self.bid_next_p:
            r.problem('header', 'bidNextP 0x%X is not above the largest page BID 0x%X'
                      % (self.bid_next_p, self.max_page_bid))
        top = {}
        for nid in self.nbt:
            t, idx = nid & 0x1F, nid >> 5
            top[t] = max(top.get(t, 0), idx)
        # Outlook's sample holds in rgnid the largest index handed out (equal
        # to the highest in use), so "not below" is the rule applied.
        for t, idx in top.items():
            if idx > self.rgnid[t]:
                r.problem('header', 'rgnid[0x%02X] is %d, below NID index %d in use'
                          % (t, self.rgnid[t], idx))

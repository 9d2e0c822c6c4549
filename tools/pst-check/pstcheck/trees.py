# SPDX-License-Identifier: GPL-3.0-or-later
"""Data trees, subnode trees and block references ([MS-PST] 2.2.2.8.3)."""
from .codec import U16, U32, U64


class TreeReader:
    """Mixed into Ndb: reads the trees its blocks form."""

    # ---- data trees ([MS-PST] 2.2.2.8.3.2)
    def data_blocks(self, bid, what):
        """The payloads of a data tree, in order; None if it cannot be read."""
        r = self.r
        if self.lookup(bid) is None:
            r.problem('datatree', '%s: block 0x%X is not in the BBT' % (what, bid), kind='missingblock')
            return None
        if not bid & 2:
            p = self.payload(bid)
            return None if p is None else [p]
        p = self.payload(bid)
        if p is None:
            return None
        if len(p) < 8 or p[0] != 1 or p[1] not in (1, 2):
            r.problem('datatree', '%s: block 0x%X is not an XBLOCK/XXBLOCK' % (what, bid),
                      sec='2.2.2.8.3.2.1')
            return None
        level, cent, total = p[1], U16(p, 2), U32(p, 4)
        if 8 + 8 * cent > len(p):
            r.problem('datatree', '%s: XBLOCK 0x%X has cEnt %d beyond its size' % (what, bid, cent))
            return None
        out = []
        for i in range(cent):
            child = U64(p, 8 + 8 * i)
            if level == 1 and child & 2:
                r.problem('datatree', '%s: XBLOCK 0x%X lists an internal block 0x%X' % (what, bid, child),
                          sec='2.2.2.8.3.2.1')
                return None
            if level == 2 and not child & 2:
                r.problem('datatree', '%s: XXBLOCK 0x%X lists a data block 0x%X' % (what, bid, child),
                          sec='2.2.2.8.3.2.2')
                return None
            if level == 2:
                cp = self.payload(child) if child & 2 else None
                if cp is None or len(cp) < 2 or cp[0] != 1 or cp[1] != 1:
                    r.problem('datatree', '%s: XXBLOCK 0x%X child 0x%X is not an XBLOCK' % (what, bid, child),
                              sec='2.2.2.8.3.2.2')
                    return None
                sub = self.data_blocks(child, what)
            else:
                if self.lookup(child) is None:
                    r.problem('datatree', '%s: XBLOCK 0x%X child 0x%X is not in the BBT'
                              % (what, bid, child), kind='missingblock')
                    return None
                c = self.payload(child)
                sub = None if c is None else [c]
            if sub is None:
                return None
            out.extend(sub)
        got = sum(len(x) for x in out)
        if got != total:
            r.problem('datatree', '%s: lcbTotal of 0x%X is %d, its blocks hold %d' % (what, bid, total, got),
                      sec='2.2.2.8.3.2.1')
        return out

    # ---- subnode trees ([MS-PST] 2.2.2.8.3.3)
    def subnodes(self, bid, what):
        """dict nid -> (bidData, bidSub) of a subnode tree; None if unreadable."""
        r = self.r
        if bid == 0:
            return {}
        if not bid & 2:
            r.problem('subnode', '%s: subnode tree 0x%X is not an internal block' % (what, bid), sec='2.2.2.2')
            return None
        p = self.payload(bid)
        if p is None:
            r.problem('subnode', '%s: subnode block 0x%X missing or damaged' % (what, bid), kind='missingblock')
            return None
        if len(p) < 8 or p[0] != 2 or p[1] not in (0, 1):
            r.problem('subnode', '%s: block 0x%X is not an SLBLOCK/SIBLOCK' % (what, bid),
                      sec='2.2.2.8.3.3.1.2')
            return None
        level, cent = p[1], U16(p, 2)
        esz = 24 if level == 0 else 16
        sec = '2.2.2.8.3.3.1.2' if level == 0 else '2.2.2.8.3.3.2.2'
        if 8 + esz * cent > len(p):
            r.problem('subnode', '%s: block 0x%X has cEnt %d beyond its size' % (what, bid, cent), sec=sec)
            return None
        out = {}
        for i in range(cent):
            o = 8 + esz * i
            # Outlook leaves garbage in the upper half of subnode NIDs; the
            # NID is the lower 32 bits.
            nid = U32(p, o)
            if level == 0:
                out[nid] = (U64(p, o + 8), U64(p, o + 16))
            else:
                sub = self.subnodes(U64(p, o + 8), what)
                if sub is None:
                    return None
                if sub and min(sub) != nid:
                    r.problem('subnode', '%s: SIBLOCK 0x%X key 0x%X is not its child\'s first NID'
                              % (what, bid, nid), sec='2.2.2.8.3.3.2.1')
                for k in sub:
                    if k in out:
                        r.problem('subnode', '%s: subnode NID 0x%X appears twice' % (what, k), sec='2.2.2.1')
                out.update(sub)
        return out

    def _sub_block(self, bid, p):
        """SLBLOCK/SIBLOCK layout ([MS-PST] 2.2.2.8.3.3.1.2, 2.2.2.8.3.3.2.2):
        checked for every subnode tree, read or not."""
        r = self.r
        level, cent = p[1], U16(p, 2)
        sec = '2.2.2.8.3.3.1.2' if level == 0 else '2.2.2.8.3.3.2.2'
        if level not in (0, 1):
            return   # reported when read
        if cent == 0:
            r.problem('subnode', 'subnode block 0x%X has no entries' % bid, sec=sec)
        if U32(p, 4):
            r.problem('subnode', 'subnode block 0x%X has dwPadding 0x%X, not zero' % (bid, U32(p, 4)),
                      sec=sec, kind='snpad')
        esz = 24 if level == 0 else 16
        nids = [U32(p, 8 + esz * i) for i in range(min(cent, (len(p) - 8) // esz))]
        if any(nids[i] >= nids[i + 1] for i in range(len(nids) - 1)):
            # Two subnodes of one node MUST differ (2.2.2.1), and the
            # entries are kept in NID order.
            r.problem('subnode', 'subnode block 0x%X: NIDs not strictly ascending (or repeated)' % bid,
                      kind='snorder', sec=sec)

    # ---- references and counters
    def _node_refs(self):
        """Counts references from nodes, data trees and subnode trees, and
        gathers every subnode NID on the way."""
        seen_tree = set()
        sub_nids = self.subnode_nids

        def tree_refs(bid):
            self._ref(bid)
            if bid in seen_tree:
                return
            seen_tree.add(bid)
            if bid & 2:
                p = self.payload(bid)
                if p is None or len(p) < 8:
                    return
                if p[0] == 1:
                    for i in range(U16(p, 2)):
                        tree_refs(U64(p, 8 + 8 * i))
                elif p[0] == 2:
                    self._sub_block(bid, p)
                    esz = 24 if p[1] == 0 else 16
                    for i in range(U16(p, 2)):
                        o = 8 + esz * i
                        tree_refs(U64(p, o + 8))
                        if p[1] == 0:
                            nid = U32(p, o)
                            sub_nids[nid] = sub_nids.get(nid, 0) + 1
                            if U32(p, o + 4):
                                self.r.note('subnode', 'subnode NID 0x%X has upper bits 0x%X set (Outlook '
                                            'leaves them so)' % (nid, U32(p, o + 4)),
                                            sec='2.2.2.8.3.3.1.1', once='snupper')
                            if U64(p, o + 16):
                                tree_refs(U64(p, o + 16))

        for nid, (bdata, bsub, _parent) in self.nbt.items():
            if bdata:
                tree_refs(bdata)
            if bsub:
                tree_refs(bsub)
        for bid in self.refs:
            if self.lookup(bid) is None:
                self.r.problem('block', 'block 0x%X is referenced but not in the BBT' % bid,
                               kind='missingblock', sec='2.2.2.7.7.3')
        # The leaf BBT entry holds one reference of its own, every NBT entry,
        # SLENTRY and XBLOCK slot naming the block one more; Outlook's files
        # match this count exactly.
        for bid, n in self.refs.items():
            e = self.lookup(bid)
            if e is not None and e[2] != n + 1:
                self.r.problem('block', 'block 0x%X has cRef %d but %d references (plus its BBT entry)'
                               % (bid, e[2], n), kind='cref', sec='2.2.2.7.7.3.1')
        for bid, e in self.bbt.items():
            if bid not in self.refs and (bid | 1) not in self.refs:
                self.r.leak('block', 'block 0x%X is in the BBT but nothing refers to it' % bid,
                            sec='2.2.2.7.7.3.1')

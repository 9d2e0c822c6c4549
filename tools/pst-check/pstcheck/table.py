# SPDX-License-Identifier: GPL-3.0-or-later
"""Table contexts ([MS-PST] 2.3.4)."""
from .codec import U16, U32
from .ltp import FIXED_INLINE, FIXED_HEAP, read_bth
from .props import check_value, Where

TAG_ROWID, TAG_ROWVER = 0x67F20003, 0x67F30003
NID_ROW_MATRIX = 0x3F   # Outlook keeps every table's rows in subnode 0x3F
MAX_HEAP_VALUE = 3580
BLOCK_SIZE, BLOCK_PAYLOAD = 8192, 8176


def _check_row_blocks(blocks, rowsize, what, report):
    """Readers find row N in block N // rows-per-block, counting rows per
    block from an 8192-byte block: so every block but the last MUST be
    8192 bytes and full of whole rows; what is left after the last whole
    row is dead space ([MS-PST] 2.3.4.4)."""
    per_block = BLOCK_PAYLOAD // rowsize
    short = [(i, (len(b) + 16 + 63) // 64 * 64, len(b) // rowsize) for i, b in enumerate(blocks[:-1])]
    short = [s for s in short if s[1] != BLOCK_SIZE or s[2] != per_block]
    if short:
        i, size, rows = short[0]
        report.problem('tc', '%s: row block %d of %d is %d bytes with %d rows, not 8192 bytes with %d '
                       '(%d such blocks)' % (what, i, len(blocks), size, rows, per_block, len(short)),
                       sec='2.3.4.4', kind='rowblock')


def _expected_cb(ptype):
    if ptype in FIXED_INLINE:
        return {0x000B: 1, 0x0002: 2}.get(ptype, 4)
    if ptype in FIXED_HEAP and FIXED_HEAP[ptype] == 8:
        return 8
    return 4


_LAYOUTS = {}


def _layout(info, ccols, what, report):
    """Validated columns and row plan of a TCINFO; tables of one schema (every
    message's recipient table, say) share the result."""
    key = bytes(info[:10]) + bytes(info[22:])
    hit = _LAYOUTS.get(key)
    if hit is not None:
        return hit
    ib4, ib2, ib1, ibm = (U16(info, 2 + 2 * i) for i in range(4))
    cols = []
    for i in range(ccols):
        o = 22 + 8 * i
        cols.append((U32(info, o), U16(info, o + 4), info[o + 6], info[o + 7]))
    ok = True
    if not (ib4 <= ib2 <= ib1 <= ibm) or ibm - ib1 != (ccols + 7) // 8:
        report.problem('tc', '%s: rgib %d/%d/%d/%d inconsistent with %d columns'
                       % (what, ib4, ib2, ib1, ibm, ccols), sec='2.3.4.1')
        ok = False
    tags = [c[0] for c in cols]
    if tags != sorted(tags) or len(set(tags)) != len(tags):
        report.problem('tc', '%s: columns not in ascending tag order' % what, kind='tccols', sec='2.3.4.1')
    if len({c[3] for c in cols}) != ccols or any(c[3] >= ccols for c in cols):
        report.problem('tc', '%s: column iBit values not a permutation' % what, sec='2.3.4.2')
        ok = False
    used = bytearray(ibm)
    for tag, ib, cb, ibit in cols:
        ptype = tag & 0xFFFF
        if cb != _expected_cb(ptype):
            report.problem('tc', '%s: column 0x%08X has cbData %d, expected %d'
                           % (what, tag, cb, _expected_cb(ptype)), kind='tccb', sec='2.3.4.2')
            ok = False
        lo, hi = (0, ib4) if cb >= 4 else ((ib4, ib2) if cb == 2 else (ib2, ib1))
        if ib < lo or ib + cb > hi or used[ib:ib + cb].count(0) != cb:
            report.problem('tc', '%s: column 0x%08X at %d+%d outside its band or overlapping'
                           % (what, tag, ib, cb), kind='tcband', sec='2.3.4.4.1')
            ok = False
        used[ib:ib + cb] = b'\x01' * cb
    byid = {c[0]: c for c in cols}
    for tag, ib, bit in ((TAG_ROWID, 0, 0), (TAG_ROWVER, 4, 1)):
        c = byid.get(tag)
        if c is None or c[1] != ib or c[2] != 4 or c[3] != bit:
            report.problem('tc', '%s: column 0x%08X missing or not at offset %d, bit %d'
                           % (what, tag, ib, bit), sec='2.3.4.4.1')
            ok = False
    if not ok:
        return None
    zero = {cb: bytes(cb) for cb in (1, 2, 4, 8)}
    plan = []
    for tag, ib, cb, ibit in cols:
        ptype = tag & 0xFFFF
        inline = ptype in FIXED_INLINE or cb == 8
        plan.append((tag, ib, ib + cb, ib1 + ibit // 8, 0x80 >> (ibit % 8), inline, ptype, zero[cb]))
    result = (cols, plan, ibm)
    if len(_LAYOUTS) < 256:
        _LAYOUTS[key] = result
    return result


def read_tc(heap, report):
    what = heap.node.what
    info = heap.get(heap.root, 'TCINFO')
    if info is None:
        return None
    if len(info) < 22 or info[0] != 0x7C:
        report.problem('tc', '%s: TCINFO malformed' % what, sec='2.3.4.1')
        return None
    ccols = info[1]
    row_index_hid, hnid_rows = U32(info, 10), U32(info, 14)
    if U32(info, 18):
        report.problem('tc', '%s: TCINFO hidIndex is 0x%X, not zero' % (what, U32(info, 18)), sec='2.3.4.1')
    if len(info) != 22 + 8 * ccols:
        report.problem('tc', '%s: TCINFO of %d bytes for %d columns' % (what, len(info), ccols), sec='2.3.4.1')
        return None
    layout = _layout(info, ccols, what, report)
    if layout is None:
        return None
    cols, plan, ibm = layout
    recs, cbkey, cbent = read_bth(heap, row_index_hid, report, what + ' row index')
    if recs is None:
        return None
    if recs and (cbkey != 4 or cbent != 4):
        report.problem('tc', '%s: row index cbKey %d/cbEnt %d, not 4/4' % (what, cbkey, cbent), sec='2.3.4.3.1')
        return None
    index = {int.from_bytes(k, 'little'): int.from_bytes(v, 'little') for k, v in recs}
    n = len(index)
    if sorted(index.values()) != list(range(n)):
        report.problem('tc', '%s: row index values are not 0..%d' % (what, n - 1), sec='2.3.4.3.1')
        return None
    rowsize = ibm
    if n == 0:
        return cols, []
    if hnid_rows == 0:
        report.problem('tc', '%s: %d rows indexed but no row matrix' % (what, n), sec='2.3.4.1')
        return None
    if hnid_rows & 0x1F == 0:
        blocks = [heap.get(hnid_rows, 'row matrix')]
        if blocks[0] is None:
            return None
        if len(blocks[0]) != n * rowsize:
            report.problem('tc', '%s: row matrix item of %d bytes for %d rows of %d'
                           % (what, len(blocks[0]), n, rowsize), sec='2.3.4.4')
    else:
        if hnid_rows != NID_ROW_MATRIX:
            report.problem('tc', '%s: row matrix is subnode 0x%X, not 0x%X' % (what, hnid_rows, NID_ROW_MATRIX),
                           sec='Outlook', kind='rowmatrixnid')
        ch = heap.node.child(hnid_rows)
        if ch is None:
            report.problem('tc', '%s: row matrix subnode 0x%X missing' % (what, hnid_rows), sec='2.3.4.1')
            return None
        blocks = ch.blocks
        _check_row_blocks(blocks, rowsize, what, report)
    rows_by_pos = []
    for b in blocks:
        rows_by_pos.extend(b[i * rowsize:(i + 1) * rowsize] for i in range(len(b) // rowsize))
    if len(rows_by_pos) < n:
        report.problem('tc', '%s: row matrix holds %d rows, the index %d' % (what, len(rows_by_pos), n),
                       sec='2.3.4.4')
        return None
    ceb_last, ceb_spare = ibm - 1, (0xFF >> (ccols % 8)) if ccols % 8 else 0
    versions = heap.node.ltp.row_versions
    rows = []
    for rowid, pos in sorted(index.items(), key=lambda kv: kv[1]):
        raw = rows_by_pos[pos]
        if int.from_bytes(raw[0:4], 'little') != rowid:
            report.problem('tc', '%s: row %d has dwRowID 0x%X, the index says 0x%X'
                           % (what, pos, U32(raw, 0), rowid), kind='rowid', sec='2.3.4.4.1')
        if raw[ceb_last] & ceb_spare:
            report.problem('tc', '%s: row 0x%X sets CEB bits beyond its %d columns' % (what, rowid, ccols),
                           kind='cebspare', sec='2.3.4.4.1')
        row = {}
        for tag, ib, end, cbyte, mask, inline, ptype, z in plan:
            cell = raw[ib:end]
            if not raw[cbyte] & mask:
                # Outlook leaves the cells of absent values zero.
                if cell != z:
                    report.problem('tc', '%s: row 0x%X column 0x%08X has data but its CEB bit is clear'
                                   % (what, rowid, tag), kind='ceb', sec='2.3.4.4.3')
                continue
            if inline:
                row[tag] = cell
                continue
            where = Where('%s row 0x%X col 0x%08X', what, rowid, tag)
            hnid = int.from_bytes(cell, 'little')
            value = heap.hnid(hnid, where)
            if value is not None and hnid & 0x1F == 0 and len(value) > MAX_HEAP_VALUE:
                report.problem('tc', '%s: %d-byte value kept in the heap (at most %d)'
                               % (where, len(value), MAX_HEAP_VALUE), sec='2.3.4.4.2', kind='bigheap')
            if check_value(ptype, value, where, report):
                row[tag] = value
        row[TAG_ROWID] = raw[0:4]
        if TAG_ROWVER in row:
            versions.append(U32(row[TAG_ROWVER], 0))
        rows.append(row)
    return cols, rows

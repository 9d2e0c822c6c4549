"""Table contexts ([MS-PST] 2.3.4)."""
from .codec import U16, U32
from .ltp import FIXED_INLINE, FIXED_HEAP, read_bth
from .props import check_value, Where

TAG_ROWID, TAG_ROWVER = 0x67F20003, 0x67F30003


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
                       % (what, ib4, ib2, ib1, ibm, ccols))
        ok = False
    tags = [c[0] for c in cols]
    if tags != sorted(tags) or len(set(tags)) != len(tags):
        report.problem('tc', '%s: columns not in ascending tag order' % what, kind='tccols')
    if len({c[3] for c in cols}) != ccols or any(c[3] >= ccols for c in cols):
        report.problem('tc', '%s: column iBit values not a permutation' % what)
        ok = False
    used = bytearray(ibm)
    for tag, ib, cb, ibit in cols:
        ptype = tag & 0xFFFF
        if cb != _expected_cb(ptype):
            report.problem('tc', '%s: column 0x%08X has cbData %d, expected %d'
                           % (what, tag, cb, _expected_cb(ptype)), kind='tccb')
            ok = False
        lo, hi = (0, ib4) if cb >= 4 else ((ib4, ib2) if cb == 2 else (ib2, ib1))
        if ib < lo or ib + cb > hi or used[ib:ib + cb].count(0) != cb:
            report.problem('tc', '%s: column 0x%08X at %d+%d outside its band or overlapping'
                           % (what, tag, ib, cb), kind='tcband')
            ok = False
        used[ib:ib + cb] = b'\x01' * cb
    byid = {c[0]: c for c in cols}
    for tag, ib, bit in ((TAG_ROWID, 0, 0), (TAG_ROWVER, 4, 1)):
        c = byid.get(tag)
        if c is None or c[1] != ib or c[2] != 4 or c[3] != bit:
            report.problem('tc', '%s: column 0x%08X missing or not at offset %d, bit %d'
                           % (what, tag, ib, bit))
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
        report.problem('tc', '%s: TCINFO malformed' % what)
        return None
    ccols = info[1]
    row_index_hid, hnid_rows = U32(info, 10), U32(info, 14)
    if len(info) != 22 + 8 * ccols:
        report.problem('tc', '%s: TCINFO of %d bytes for %d columns' % (what, len(info), ccols))
        return None
    layout = _layout(info, ccols, what, report)
    if layout is None:
        return None
    cols, plan, ibm = layout
    recs, cbkey, cbent = read_bth(heap, row_index_hid, report, what + ' row index')
    if recs is None:
        return None
    if recs and (cbkey != 4 or cbent != 4):
        report.problem('tc', '%s: row index cbKey %d/cbEnt %d, not 4/4' % (what, cbkey, cbent))
        return None
    index = {int.from_bytes(k, 'little'): int.from_bytes(v, 'little') for k, v in recs}
    n = len(index)
    if sorted(index.values()) != list(range(n)):
        report.problem('tc', '%s: row index values are not 0..%d' % (what, n - 1))
        return None
    rowsize = ibm
    if n == 0:
        return cols, []
    if hnid_rows == 0:
        report.problem('tc', '%s: %d rows indexed but no row matrix' % (what, n))
        return None
    if hnid_rows & 0x1F == 0:
        blocks = [heap.get(hnid_rows, 'row matrix')]
        if blocks[0] is None:
            return None
        per_block = n if rowsize else 0
    else:
        ch = heap.node.child(hnid_rows)
        if ch is None:
            report.problem('tc', '%s: row matrix subnode 0x%X missing' % (what, hnid_rows))
            return None
        blocks = ch.blocks
        per_block = 8176 // rowsize
    rows_by_pos = []
    for i, b in enumerate(blocks):
        k = len(b) // rowsize
        if hnid_rows & 0x1F and i + 1 < len(blocks):
            # [MS-PST] 2.3.4.4: every block but the last is a full 8192-byte
            # block; readers find row N in block N // per_block, so a short
            # one shifts every later row. The space after its rows is dead.
            if len(b) != 8176:
                report.problem('tc', '%s: row matrix block %d of %d bytes is not a full block'
                               % (what, i, len(b)), kind='rowblock')
            k = min(k, per_block)
        elif len(b) % rowsize:
            report.problem('tc', '%s: row matrix block of %d bytes is not whole rows' % (what, len(b)))
        if hnid_rows & 0x1F and k > per_block:
            report.problem('tc', '%s: row block holds %d rows, at most %d fit' % (what, k, per_block))
        rows_by_pos.extend(b[j * rowsize:(j + 1) * rowsize] for j in range(k))
    if len(rows_by_pos) < n:
        report.problem('tc', '%s: row matrix holds %d rows, the index %d' % (what, len(rows_by_pos), n))
        return None
    rows = []
    for rowid, pos in sorted(index.items(), key=lambda kv: kv[1]):
        raw = rows_by_pos[pos]
        if int.from_bytes(raw[0:4], 'little') != rowid:
            report.problem('tc', '%s: row %d has dwRowID 0x%X, the index says 0x%X'
                           % (what, pos, U32(raw, 0), rowid), kind='rowid')
        row = {}
        for tag, ib, end, cbyte, mask, inline, ptype, z in plan:
            cell = raw[ib:end]
            if not raw[cbyte] & mask:
                # Outlook leaves the cells of absent values zero.
                if cell != z:
                    report.problem('tc', '%s: row 0x%X column 0x%08X has data but its CEB bit is clear'
                                   % (what, rowid, tag), kind='ceb')
                continue
            if inline:
                row[tag] = cell
                continue
            where = Where('%s row 0x%X col 0x%08X', what, rowid, tag)
            value = heap.hnid(int.from_bytes(cell, 'little'), where)
            if check_value(ptype, value, where, report):
                row[tag] = value
        row[TAG_ROWID] = raw[0:4]
        rows.append(row)
    return cols, rows

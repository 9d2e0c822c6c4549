# SPDX-License-Identifier: GPL-3.0-or-later
"""Property values: decoding rules per type ([MS-PST] 2.3.3, [MS-OXCDATA] 2.11)."""
from .codec import U32
from .ltp import FIXED_INLINE, FIXED_HEAP, VARIABLE, MULTI_FIXED, MULTI_VAR, read_bth

MAX_HEAP_VALUE = 3580   # larger variable-size values live in subnodes


class Where:
    """A value's place, formatted only when a problem is reported."""
    __slots__ = ('fmt', 'args')

    def __init__(self, fmt, *args):
        self.fmt, self.args = fmt, args

    def __str__(self):
        return self.fmt % self.args


def check_value(ptype, value, what, report):
    """Reports a value that does not decode for its type. Returns ok."""
    if value is None:
        return False
    if ptype == 0x0102 or ptype == 0x001E:
        return True
    if ptype in FIXED_HEAP:
        if len(value) != FIXED_HEAP[ptype]:
            report.problem('prop', '%s: %d bytes for a %d-byte type 0x%04X'
                           % (what, len(value), FIXED_HEAP[ptype], ptype), kind='propsize')
            return False
    elif ptype == 0x001F:
        if len(value) % 2:
            report.problem('prop', '%s: UTF-16 string of odd length %d' % (what, len(value)), kind='propstr')
            return False
        try:
            value.decode('utf-16-le')
        except UnicodeDecodeError:
            report.problem('prop', '%s: string is not valid UTF-16' % what, kind='propstr')
            return False
    elif ptype in MULTI_FIXED:
        if len(value) % MULTI_FIXED[ptype]:
            report.problem('prop', '%s: multi-valued size %d not a multiple of %d'
                           % (what, len(value), MULTI_FIXED[ptype]), kind='propsize')
            return False
    elif ptype in MULTI_VAR:
        if len(value) == 0:
            return True
        if len(value) < 4:
            report.problem('prop', '%s: multi-valued value too short' % what, kind='propmv')
            return False
        n = U32(value, 0)
        if 4 + 4 * n > len(value):
            report.problem('prop', '%s: %d values do not fit %d bytes' % (what, n, len(value)), kind='propmv')
            return False
        offs = [U32(value, 4 + 4 * i) for i in range(n)] + [len(value)]
        if n and offs[0] != 4 + 4 * n or any(offs[i] > offs[i + 1] for i in range(n)):
            report.problem('prop', '%s: multi-valued offsets out of order' % what, kind='propmv')
            return False
        if ptype == 0x101F:
            for i in range(n):
                piece = value[offs[i]:offs[i + 1]]
                if len(piece) % 2:
                    report.problem('prop', '%s: value %d has odd length' % (what, i), kind='propstr')
                    return False
    elif ptype not in VARIABLE and ptype not in FIXED_INLINE:
        report.problem('prop', '%s: unknown property type 0x%04X' % (what, ptype), kind='proptype')
        return False
    return True


def read_pc(heap, report):
    what = heap.node.what
    recs, cbkey, cbent = read_bth(heap, heap.root, report, what + ' PC')
    if recs is None:
        return None
    if cbkey != 2 or cbent != 6:
        report.problem('pc', '%s: PC BTH has cbKey %d/cbEnt %d, not 2/6' % (what, cbkey, cbent), sec='2.3.3')
        return None
    props = {}
    for key, data in recs:
        pid = int.from_bytes(key, 'little')
        ptype = int.from_bytes(data[:2], 'little')
        raw = U32(data, 2)
        tag = (pid << 16) | ptype
        pw = Where('%s prop 0x%08X', what, tag)
        if ptype in FIXED_INLINE:
            value = raw.to_bytes(4, 'little')[:FIXED_INLINE[ptype]]
            if ptype == 0x000B and raw not in (0, 1):
                report.problem('prop', '%s: boolean value %d' % (pw, raw), kind='propbool', sec='2.3.3.3')
        else:
            if ptype in FIXED_HEAP and raw == 0:
                report.problem('prop', '%s: fixed-size value with no storage' % pw, kind='propsize')
                continue
            if ptype == 0x000D:
                obj = _object(heap, raw, pw, report)
                if obj is not None:
                    props[tag] = obj
                continue
            value = heap.hnid(raw, pw)
            if value is not None and raw & 0x1F == 0 and len(value) > MAX_HEAP_VALUE:
                report.problem('prop', '%s: %d-byte value kept in the heap (at most %d)'
                               % (pw, len(value), MAX_HEAP_VALUE), sec='2.3.3.3', kind='bigheap')
            if not check_value(ptype, value, pw, report):
                continue
        props[tag] = value
    return props


def _object(heap, raw, pw, report):
    """A PtypObject value: a heap item holding the subnode's NID and the
    object's size ([MS-PST] 2.3.3.5). Returns the 8 bytes, or None."""
    if raw & 0x1F:
        report.problem('prop', '%s: PtypObject value 0x%X is a NID, not a heap item' % (pw, raw),
                       sec='2.3.3.5', kind='propobj')
        return None
    value = heap.get(raw, pw)
    if value is None:
        return None
    if len(value) != 8:
        report.problem('prop', '%s: PtypObject item of %d bytes, not 8' % (pw, len(value)), sec='2.3.3.5',
                       kind='propobj')
        return None
    if heap.node.child(U32(value, 0)) is None:
        report.problem('prop', '%s: object subnode 0x%X missing' % (pw, U32(value, 0)), sec='2.3.3.5',
                       kind='propobj')
        return None
    return value

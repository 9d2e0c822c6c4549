# SPDX-License-Identifier: GPL-3.0-or-later
"""The six template tables: no rows, and the columns [MS-PST] requires of
each (2.4.4.4.1, 2.4.4.5.1, 2.4.4.6.1, 2.4.8.6.2.1, 2.4.5.3.1, 2.4.6.1.1)."""


def _cols(text):
    return [int(x, 16) for x in text.split()]


ROW_COLS = '67F20003 67F30003'
REQUIRED = {
    0x60D: ('2.4.4.4.1', _cols('0E300003 0E330014 0E340102 0E380003 3001001F 36020003 36030003 360A000B '
                               '36130102 66350003 66360003 ' + ROW_COLS)),
    0x60E: ('2.4.4.5.1', _cols('00170003 001A001F 00360003 0037001F 00390040 0042001F 0057000B 0058000B '
                               '0070001F 00710102 0E03001F 0E04001F 0E060040 0E070003 0E080003 0E170003 '
                               '0E300003 0E330014 0E340102 0E380003 0E3C0102 0E3D0102 10970003 30080040 '
                               '65C60003 ' + ROW_COLS)),
    0x60F: ('2.4.4.6.1', _cols('001A001F 0E070003 0E170003 3001001F 6800001F 6803000B 68051003 70030003 '
                               '70040102 70050102 7006001F 70070003 ' + ROW_COLS)),
    0x610: ('2.4.8.6.2.1', _cols('00170003 001A001F 00360003 0037001F 0042001F 0057000B 0E03001F 0E04001F '
                                 '0E05001F 0E060040 0E070003 0E080003 0E170003 0E2A000B 30080040 67F10003 '
                                 + ROW_COLS)),
    0x692: ('2.4.5.3.1', _cols('0C150003 0E0F000B 0FF90102 0FFE0003 0FFF0102 3001001F 3002001F 3003001F '
                               '300B0102 39000003 39FF001F 3A40000B ' + ROW_COLS)),
    0x671: ('2.4.6.1.1', _cols('0E200003 3704001F 37050003 370B0003 ' + ROW_COLS)),
}
# Departures seen in Outlook's own reference files, kept as notes:
# passworded.pst's contents template has none of the replication columns
# nor PidTagLastModificationTime, and both files type PidTagReplItemid as
# binary and PidTagContainerClass as a string, as the document's own
# sample bytes do.
OUTLOOK_OMITS = {0x60E: {0x0E30, 0x0E33, 0x0E34, 0x0E38, 0x0E3C, 0x0E3D, 0x3008}}
OUTLOOK_TYPES = {0x0E30: 0x0102, 0x3613: 0x001F}


def check(ltp, r):
    """Returns {template NID: property IDs every table made from it must
    keep}: the required columns less those Outlook's own tables lack. A
    template may gain columns later without the tables made before."""
    out = {nid: {tag >> 16 for tag in req} - OUTLOOK_OMITS.get(nid, set())
           for nid, (_sec, req) in REQUIRED.items()}
    for nid, (sec, required) in REQUIRED.items():
        node = ltp.node(nid, 'template 0x%X' % nid)
        t = ltp.tc(node) if node is not None else None
        if t is None:
            continue   # a missing mandatory node is reported with the others
        cols, rows = t
        if rows:
            r.problem('mandatory', 'template table 0x%X has %d rows, expected none' % (nid, len(rows)),
                      sec='2.4.4.8')
        tags = {c[0] for c in cols}
        by_pid = {tag >> 16: tag for tag in tags}
        for tag in required:
            pid = tag >> 16
            have = by_pid.get(pid)
            if have == tag:
                continue
            if have is not None and OUTLOOK_TYPES.get(pid) == have & 0xFFFF:
                r.note('mandatory', 'template 0x%X column 0x%08X is typed 0x%04X, as in Outlook\'s files'
                       % (nid, tag, have & 0xFFFF), sec=sec)
            elif have is None and pid in OUTLOOK_OMITS.get(nid, ()):
                r.note('mandatory', 'template 0x%X has no column 0x%08X; neither has one of Outlook\'s files'
                       % (nid, tag), sec=sec)
            else:
                r.problem('mandatory', 'template 0x%X lacks column 0x%08X%s'
                          % (nid, tag, '' if have is None else ' (has 0x%08X)' % have), sec=sec,
                          kind='templatecol')
    return out

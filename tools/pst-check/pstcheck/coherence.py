# SPDX-License-Identifier: GPL-3.0-or-later
"""Copies that must agree: table rows and the objects they list
([MS-PST] 2.4.4.3), and named property IDs and the name-to-ID map (2.4.7)."""

TAG_ROWID, TAG_ROWVER = 0x67F20003, 0x67F30003


def to_int(v):
    return None if v is None else int.from_bytes(v, 'little')


def compare_row(r, what, table, row, pc):
    """A table row caches its object's properties; a stale copy shows the
    wrong thing in Outlook's views."""
    for tag, value in row.items():
        if tag in (TAG_ROWID, TAG_ROWVER) or tag not in pc:
            continue
        have = pc[tag]
        if value != have and value.rstrip(b'\0') != have.rstrip(b'\0'):
            r.problem('messaging', '%s: %s row value of 0x%08X differs from the object\'s'
                      % (what, table, tag), kind='rowstale', sec='2.4.4.3')


def named_ids(r, what, pc, named_count):
    """Every property id from 0x8000 up must name an entry of the map."""
    if named_count is None:
        return
    for tag in pc:
        pid = tag >> 16
        if pid >= 0x8000 and pid - 0x8000 >= named_count:
            r.problem('messaging', '%s: property 0x%08X has no entry in the name-to-ID map' % (what, tag),
                      kind='namedid', sec='2.4.2.2')

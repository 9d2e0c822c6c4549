# SPDX-License-Identifier: GPL-3.0-or-later
"""The name-to-ID map ([MS-PST] 2.4.7)."""
from .codec import U16, U32, crc32

NID_NAME_TO_ID_MAP = 0x61
TAG_BUCKET_COUNT = 0x00010003
TAG_GUID_STREAM, TAG_ENTRY_STREAM, TAG_STRING_STREAM = 0x00020102, 0x00030102, 0x00040102
BUCKET_BASE = 0x1000
BUCKETS = 251


def check(ndb, ltp, r):
    """Returns the number of named properties, or None when unreadable."""
    node = ltp.node(NID_NAME_TO_ID_MAP, 'name-to-ID map')
    pc = ltp.pc(node) if node is not None else None
    if pc is None:
        return None
    count = pc.get(TAG_BUCKET_COUNT)
    if count is None or int.from_bytes(count, 'little') != BUCKETS:
        r.problem('nameid', 'PidTagNameidBucketCount missing or not 251', sec='2.7.3.2')
        return None
    guids = pc.get(TAG_GUID_STREAM, b'')
    entries = pc.get(TAG_ENTRY_STREAM, b'')
    strings = pc.get(TAG_STRING_STREAM, b'')
    if len(guids) % 16 or len(entries) % 8:
        r.problem('nameid', 'GUID stream (%d bytes) or entry stream (%d bytes) not whole records'
                  % (len(guids), len(entries)), sec='2.4.7.2')
        return None
    buckets = _buckets(pc, r)
    _strings(strings, r)
    for i in range(0, len(entries), 8):
        _entry(i // 8, entries[i:i + 8], guids, strings, buckets, r)
    r.stats['named_props'] = len(entries) // 8
    return len(entries) // 8


def _buckets(pc, r):
    found = set()
    for b in range(BUCKETS):
        v = pc.get(((BUCKET_BASE + b) << 16) | 0x0102)
        if v is None:
            continue
        if len(v) % 8:
            r.problem('nameid', 'hash bucket %d is not whole NAMEID records' % b, sec='2.4.7.5')
            continue
        for i in range(0, len(v), 8):
            found.add((b, v[i:i + 8]))
    return found


def _strings(strings, r):
    """Length-prefixed names, each padded to a 4-byte boundary (2.4.7.4)."""
    i = 0
    while i + 4 <= len(strings):
        n = U32(strings, i)
        if n % 2 or i + 4 + n > len(strings):
            r.problem('nameid', 'string stream entry at %d has length %d' % (i, n), sec='2.4.7.4')
            return
        i += (4 + n + 3) // 4 * 4
    if i != len(strings):
        r.problem('nameid', 'string stream of %d bytes ends inside an entry at %d' % (len(strings), i),
                  sec='2.4.7.4')


def _entry(k, rec, guids, strings, buckets, r):
    ident, wguid, idx = U32(rec, 0), U16(rec, 4), U16(rec, 6)
    is_string, guid = wguid & 1, wguid >> 1
    if idx != k:
        r.problem('nameid', 'NAMEID %d has wPropIdx %d' % (k, idx), kind='nameidx', sec='2.4.7.1')
    if guid >= 3 and (guid - 3) * 16 + 16 > len(guids):
        r.problem('nameid', 'NAMEID %d names GUID index %d beyond the GUID stream' % (k, guid), sec='2.4.7.1')
    if is_string:
        if ident % 4 or ident + 4 > len(strings) or ident + 4 + U32(strings, ident) > len(strings):
            r.problem('nameid', 'NAMEID %d string offset %d is not an entry of the string stream' % (k, ident),
                      sec='2.4.7.4')
            return
        # A bucket records a string name by its name's CRC, and the bucket
        # is chosen by that CRC too (Outlook's files; the document's
        # formula read over the bucket record).
        key = crc32(strings[ident + 4:ident + 4 + U32(strings, ident)])
    else:
        key = ident
    bucket = (key ^ wguid) % BUCKETS
    if (bucket, key.to_bytes(4, 'little') + rec[4:]) not in buckets:
        r.problem('nameid', 'NAMEID %d (0x%X) is not in its hash bucket %d' % (k, ident, bucket),
                  kind='namebucket', sec='2.4.7.5')

"""Messaging layer: store, name-to-ID map, folders, messages, attachments
([MS-PST] 2.4 and 2.7)."""
from .codec import U32, crc32
from . import folders

NID_MESSAGE_STORE, NID_NAME_TO_ID_MAP, NID_ROOT_FOLDER = 0x21, 0x61, 0x122

# The mandatory nodes of [MS-PST] 2.7.1 with their NID types; the fixed
# NIDs Outlook uses for the IPM subtree, search root and Deleted Items are
# those of the table, and the writer is held to them too.
MANDATORY = [0x21, 0x61, 0x122, 0x12D, 0x12E, 0x12F, 0x1E1, 0x201, 0x60D, 0x60E, 0x60F,
             0x610, 0x692, 0x671, 0x2223, 0x8022, 0x802D, 0x802E, 0x802F, 0x8042, 0x804D,
             0x804E, 0x804F, 0x8062, 0x806D, 0x806E, 0x806F]
TEMPLATES = [0x60D, 0x60E, 0x60F, 0x610, 0x692, 0x671]

TAG_RECORD_KEY = 0x0FF90102
TAG_DISPLAY_NAME = 0x3001001F
STORE_ENTRY_IDS = {0x35E00102: 'PidTagIpmSubTreeEntryId',
                   0x35E30102: 'PidTagIpmWastebasketEntryId',
                   0x35E70102: 'PidTagFinderEntryId'}
# The folders those identifiers name in Outlook's files and in [MS-PST] 2.7.1.
STORE_ENTRY_TARGETS = {0x35E00102: 0x8022, 0x35E30102: 0x8062, 0x35E70102: 0x8042}
# [MS-PST] 2.7.2: the minimum folder hierarchy, as (parent, child).
MINIMUM_HIERARCHY = [(0x122, 0x8022), (0x122, 0x8042), (0x122, 0x2223), (0x8022, 0x8062)]
TAG_BUCKET_COUNT = 0x00010003
TAG_GUID_STREAM, TAG_ENTRY_STREAM, TAG_STRING_STREAM = 0x00020102, 0x00030102, 0x00040102
BUCKETS = 251


def check_messaging(ndb, ltp, r):
    for nid in MANDATORY:
        if nid not in ndb.nbt:
            r.problem('messaging', 'mandatory node 0x%X is missing' % nid, kind='mandatory')
    for nid in TEMPLATES:
        node = ltp.node(nid)
        if node is not None:
            t = ltp.tc(node)
            if t is not None and t[1]:
                r.problem('messaging', 'template table 0x%X has %d rows, expected none' % (nid, len(t[1])))
    root = ndb.nbt.get(NID_ROOT_FOLDER)
    if root is not None and root[2] != NID_ROOT_FOLDER:
        r.problem('messaging', 'root folder\'s parent is 0x%X, not itself' % root[2])
    for parent, child in MINIMUM_HIERARCHY:
        e = ndb.nbt.get(child)
        if e is not None and e[2] != parent:
            r.problem('messaging', 'folder 0x%X has parent 0x%X, not 0x%X' % (child, e[2], parent))
    _store(ndb, ltp, r)
    names = _name_map(ndb, ltp, r)
    folders.check_all(ndb, ltp, r, names)


def _store(ndb, ltp, r):
    node = ltp.node(NID_MESSAGE_STORE, 'message store')
    if node is None:
        return
    pc = ltp.pc(node)
    if pc is None:
        return
    key = pc.get(TAG_RECORD_KEY)
    if key is None or len(key) != 16:
        r.problem('messaging', 'message store has no 16-byte PidTagRecordKey')
    if TAG_DISPLAY_NAME not in pc:
        r.problem('messaging', 'message store has no PidTagDisplayName')
    for tag, name in STORE_ENTRY_IDS.items():
        eid = pc.get(tag)
        if eid is None:
            r.problem('messaging', 'message store has no %s' % name)
            continue
        # The store's entry identifiers: 4 flag bytes (zero), the store's
        # record key, and the folder's NID (as in Outlook's own file).
        if len(eid) != 24 or eid[:4] != b'\0\0\0\0' or (key and eid[4:20] != key):
            r.problem('messaging', '%s is not flags + record key + NID' % name)
            continue
        nid = U32(eid, 20)
        if nid not in ndb.nbt or (nid & 0x1F) not in (2, 3):
            r.problem('messaging', '%s names 0x%X, which is not a folder' % (name, nid))
        elif nid != STORE_ENTRY_TARGETS[tag]:
            r.problem('messaging', '%s names 0x%X, not 0x%X' % (name, nid, STORE_ENTRY_TARGETS[tag]))
    r.stats['store'] = 'ok'


def _name_map(ndb, ltp, r):
    node = ltp.node(NID_NAME_TO_ID_MAP, 'name-to-ID map')
    if node is None:
        return
    pc = ltp.pc(node)
    if pc is None:
        return
    count = pc.get(TAG_BUCKET_COUNT)
    if count is None or int.from_bytes(count, 'little') != BUCKETS:
        r.problem('nameid', 'PidTagNameidBucketCount missing or not 251')
        return
    guids = pc.get(TAG_GUID_STREAM, b'')
    entries = pc.get(TAG_ENTRY_STREAM, b'')
    strings = pc.get(TAG_STRING_STREAM, b'')
    if len(guids) % 16 or len(entries) % 8:
        r.problem('nameid', 'GUID stream (%d bytes) or entry stream (%d bytes) not whole records'
                  % (len(guids), len(entries)))
        return
    in_buckets = set()
    for b in range(BUCKETS):
        v = pc.get(0x10000102 + (b << 16))
        if v is None:
            continue
        if len(v) % 8:
            r.problem('nameid', 'hash bucket %d is not whole NAMEID records' % b)
            continue
        for i in range(0, len(v), 8):
            in_buckets.add((b, v[i:i + 8]))
    seen_idx = set()
    for i in range(0, len(entries), 8):
        rec = entries[i:i + 8]
        ident, wguid, idx = U32(rec, 0), int.from_bytes(rec[4:6], 'little'), int.from_bytes(rec[6:8], 'little')
        is_string, guid = wguid & 1, wguid >> 1
        if idx in seen_idx or idx != i // 8:
            r.problem('nameid', 'NAMEID %d has wPropIdx %d' % (i // 8, idx), kind='nameidx')
        seen_idx.add(idx)
        if guid >= 3 and (guid - 3) * 16 + 16 > len(guids):
            r.problem('nameid', 'NAMEID %d names GUID index %d beyond the GUID stream' % (i // 8, guid))
        if is_string:
            if ident + 4 > len(strings) or ident + 4 + U32(strings, ident) > len(strings):
                r.problem('nameid', 'NAMEID %d string offset %d outside the string stream' % (i // 8, ident))
                continue
            # In a hash bucket a string name is recorded by the CRC of its
            # UTF-16 name. The bucket itself comes from the document's hash
            # of that CRC, but Outlook hashes the string's offset instead;
            # either is accepted.
            key = crc32(strings[ident + 4:ident + 4 + U32(strings, ident)])
            brec = key.to_bytes(4, 'little') + rec[4:]
            low = (guid << 1) | 1
            candidates = {(key ^ low) % BUCKETS, (ident ^ low) % BUCKETS}
        else:
            brec = rec
            candidates = {(ident ^ (guid << 1)) % BUCKETS}
        if not any((b, brec) in in_buckets for b in candidates):
            r.problem('nameid', 'NAMEID %d (0x%X) is not in its hash bucket %s'
                      % (i // 8, ident, '/'.join(map(str, sorted(candidates)))), kind='namebucket')
    r.stats['named_props'] = len(entries) // 8
    return len(entries) // 8

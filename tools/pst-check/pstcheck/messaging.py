# SPDX-License-Identifier: GPL-3.0-or-later
"""Messaging layer: store, name-to-ID map, folders, messages, attachments
([MS-PST] 2.4 and 2.7)."""
from .codec import U32
from . import folders, nameid, search, templates

NID_MESSAGE_STORE, NID_ROOT_FOLDER = 0x21, 0x122

# The mandatory nodes of [MS-PST] 2.7.1 with their NID types; the fixed
# NIDs Outlook uses for the IPM subtree, search root and Deleted Items are
# those of the table, and the writer is held to them too.
MANDATORY = [0x21, 0x61, 0x122, 0x12D, 0x12E, 0x12F, 0x1E1, 0x201, 0x60D, 0x60E, 0x60F,
             0x610, 0x692, 0x671, 0x2223, 0x8022, 0x802D, 0x802E, 0x802F, 0x8042, 0x804D,
             0x804E, 0x804F, 0x8062, 0x806D, 0x806E, 0x806F]

TAG_RECORD_KEY = 0x0FF90102
TAG_DISPLAY_NAME = 0x3001001F
STORE_ENTRY_IDS = {0x35E00102: 'PidTagIpmSubTreeEntryId',
                   0x35E30102: 'PidTagIpmWastebasketEntryId',
                   0x35E70102: 'PidTagFinderEntryId'}
# The folders those identifiers name in Outlook's files and in [MS-PST] 2.7.1.
STORE_ENTRY_TARGETS = {0x35E00102: 0x8022, 0x35E30102: 0x8062, 0x35E70102: 0x8042}
# [MS-PST] 2.7.2: the minimum folder hierarchy, as (parent, child).
MINIMUM_HIERARCHY = [(0x122, 0x8022), (0x122, 0x8042), (0x122, 0x2223), (0x8022, 0x8062)]


def check_messaging(ndb, ltp, r):
    for nid in MANDATORY:
        if nid not in ndb.nbt:
            r.problem('mandatory', 'mandatory node 0x%X is missing' % nid, kind='mandatory', sec='2.7.1')
    root = ndb.nbt.get(NID_ROOT_FOLDER)
    if root is not None and root[2] != NID_ROOT_FOLDER:
        r.problem('mandatory', 'root folder\'s parent is 0x%X, not itself' % root[2], sec='2.7.3.4.1')
    for parent, child in MINIMUM_HIERARCHY:
        e = ndb.nbt.get(child)
        if e is not None and e[2] != parent:
            r.problem('mandatory', 'folder 0x%X has parent 0x%X, not 0x%X' % (child, e[2], parent), sec='2.7.2')
    template_columns = templates.check(ltp, r)
    _store(ndb, ltp, r)
    named = nameid.check(ndb, ltp, r)
    search.check(ndb, ltp, r)
    f = folders.Folders(ndb, ltp, r, named, template_columns)
    f.check_all()
    _row_versions(ndb, ltp, r, f.messages.recipient_row_ids)


def _row_versions(ndb, ltp, r, recipient_ids):
    """Outlook draws recipient row IDs and every PidTagLtpRowVer from one
    store-wide counter that ends in the header's dwUnique: each value is
    handed out once and none is above dwUnique."""
    seen = {}
    for what, values in (('PidTagLtpRowVer', ltp.row_versions), ('recipient row ID', recipient_ids)):
        for v in values:
            if v > ndb.unique:
                r.problem('rowver', '%s %d is above dwUnique %d' % (what, v, ndb.unique), kind='rowverhigh')
            seen[v] = seen.get(v, 0) + 1
    for v, n in sorted(seen.items()):
        if n > 1:
            r.problem('rowver', 'row version / recipient row ID %d is handed out %d times' % (v, n),
                      kind='rowverdup')


def _store(ndb, ltp, r):
    node = ltp.node(NID_MESSAGE_STORE, 'message store')
    if node is None:
        return
    pc = ltp.pc(node)
    if pc is None:
        return
    key = pc.get(TAG_RECORD_KEY)
    if key is None or len(key) != 16:
        r.problem('messaging', 'message store has no 16-byte PidTagRecordKey', sec='2.4.3.1')
    if TAG_DISPLAY_NAME not in pc:
        r.problem('messaging', 'message store has no PidTagDisplayName', sec='2.4.3.1')
    for tag, name in STORE_ENTRY_IDS.items():
        eid = pc.get(tag)
        if eid is None:
            r.problem('messaging', 'message store has no %s' % name, sec='2.4.3.1')
            continue
        # The store's entry identifiers: 4 flag bytes (zero), the store's
        # record key, and the folder's NID (as in Outlook's own file).
        if len(eid) != 24 or eid[:4] != b'\0\0\0\0' or (key and eid[4:20] != key):
            r.problem('messaging', '%s is not flags + record key + NID' % name, sec='2.4.3.2')
            continue
        nid = U32(eid, 20)
        if nid not in ndb.nbt or (nid & 0x1F) not in (2, 3):
            r.problem('messaging', '%s names 0x%X, which is not a folder' % (name, nid), sec='2.4.3.2')
        elif nid != STORE_ENTRY_TARGETS[tag]:
            r.problem('messaging', '%s names 0x%X, not 0x%X' % (name, nid, STORE_ENTRY_TARGETS[tag]), sec='2.7.1')
    r.stats['store'] = 'ok'

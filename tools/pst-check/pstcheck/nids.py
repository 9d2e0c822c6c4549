# SPDX-License-Identifier: GPL-3.0-or-later
"""Where NIDs come from: the header's per-type counters ([MS-PST] 2.2.2.1,
2.2.2.6, 2.6.1.2.1) and Outlook's habit of drawing subnode NIDs from them.

Outlook hands out every NID it creates, top-level or subnode (attachments,
large property values, embedded messages), from rgnid[nidType], which holds
the last index given out. So no index is above its counter, and subnode NIDs
are unique across the store. Only a few fixed NIDs below the counters'
starting index 0x400 occur as subnodes in Outlook's files.
"""

FIRST_INDEX = 0x400
# NID_TYPE_LTP 1 (a table's row matrix), the attachment and recipient
# tables, and 0x6B6 (in Outlook's contact and free/busy messages).
FIXED_SUBNODES = {0x3F, 0x671, 0x692, 0x6B6}


def check_counters(ndb):
    r = ndb.r
    top = {}
    for nid in ndb.nbt:
        t, idx = nid & 0x1F, nid >> 5
        if idx > top.get(t, -1):
            top[t] = idx
    for t, idx in sorted(top.items()):
        if idx > ndb.rgnid[t]:
            r.problem('header', 'rgnid[0x%02X] is 0x%X, below NID index 0x%X in use in the NBT'
                      % (t, ndb.rgnid[t], idx), sec='2.2.2.6', kind='rgnid')
    if not ndb.messaging:
        return   # a bare node database: subnode NIDs need only differ within their node
    for nid, count in sorted(ndb.subnode_nids.items()):
        t, idx = nid & 0x1F, nid >> 5
        if idx < FIRST_INDEX:
            if nid not in FIXED_SUBNODES:
                r.problem('nid', 'subnode NID 0x%X is not drawn from rgnid[0x%02X] (index below 0x400)'
                          % (nid, t), kind='subnid')
            continue
        if idx > ndb.rgnid[t]:
            r.problem('nid', 'subnode NID 0x%X is above rgnid[0x%02X] = 0x%X' % (nid, t, ndb.rgnid[t]),
                      kind='subrgnid')
        if count > 1:
            r.problem('nid', 'subnode NID 0x%X is used %d times in the store' % (nid, count), kind='subdup')
        elif nid in ndb.nbt:
            r.problem('nid', 'subnode NID 0x%X is also a node in the NBT' % nid, kind='subdup')

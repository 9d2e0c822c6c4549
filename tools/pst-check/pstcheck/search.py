# SPDX-License-Identifier: GPL-3.0-or-later
"""Search objects: queues, the activity list, the domain object and the
search folders they name ([MS-PST] 2.4.8)."""
from .codec import U32

NID_SMQ, NID_SAL, NID_SDO = 0x1E1, 0x201, 0x261
NID_SGQ, NID_SGFQ = 0x281, 0x321
SUD_SIZE = 20            # wFlags, wSUDType, 16 bytes of SUDData (2.4.8.1.1)
T_SEARCH_FOLDER, T_UPDATE_QUEUE, T_CRITERIA, T_SEARCH_CONTENTS = 0x03, 0x06, 0x07, 0x10


def check(ndb, r):
    for nid, name in ((NID_SMQ, 'search management queue'), (NID_SGQ, 'search gatherer queue')):
        _queue(ndb, r, nid, name)
    for nid in sorted(ndb.nbt):
        if nid & 0x1F == T_UPDATE_QUEUE:
            _queue(ndb, r, nid, 'search update queue 0x%X' % nid)
    for nid, name in ((NID_SDO, 'search domain object'), (NID_SGFQ, 'search gatherer folder queue')):
        _nid_array(ndb, r, nid, name)
    sal = _nid_array(ndb, r, NID_SAL, 'search activity list')
    for folder in sal or ():
        _search_folder(ndb, r, folder)


def _data(ndb, nid):
    e = ndb.nbt.get(nid)
    if e is None:
        return None, None
    if not e[0]:
        return b'', e
    blocks = ndb.data_blocks(e[0], 'node 0x%X' % nid)
    return (None if blocks is None else b''.join(blocks)), e


def _queue(ndb, r, nid, name):
    """A queue node is an array of fixed-size items whose head offset is kept
    in nidParent (2.4.8.3)."""
    data, e = _data(ndb, nid)
    if data is None:
        return
    if len(data) % SUD_SIZE:
        r.problem('search', '%s holds %d bytes, not whole %d-byte SUDs' % (name, len(data), SUD_SIZE),
                  sec='2.4.8.3')
    head = e[2]
    if head % SUD_SIZE or head > len(data):
        r.problem('search', '%s: head offset (nidParent) %d is not an item within %d bytes'
                  % (name, head, len(data)), sec='2.4.8.3')


def _nid_array(ndb, r, nid, name):
    data, _e = _data(ndb, nid)
    if data is None:
        return None
    if len(data) % 4:
        r.problem('search', '%s holds %d bytes, not whole NIDs' % (name, len(data)), sec='2.4.8.4.2')
        return None
    return [U32(data, i) for i in range(0, len(data), 4)]


def _search_folder(ndb, r, nid):
    """Each NID of the activity list names a search folder, which comes with
    its contents table, update queue and criteria object (2.4.8.4.2,
    2.4.8.6); Outlook's spam folder 0x2223 has 0x2230, 0x2226 and 0x2227."""
    if nid & 0x1F != T_SEARCH_FOLDER or nid not in ndb.nbt:
        r.problem('search', 'search activity list names 0x%X, which is no search folder' % nid,
                  sec='2.4.8.4.2', kind='salfolder')
        return
    base = nid & ~0x1F
    for t, name in ((T_SEARCH_CONTENTS, 'contents table'), (T_UPDATE_QUEUE, 'update queue'),
                    (T_CRITERIA, 'criteria object')):
        if (base | t) not in ndb.nbt:
            r.problem('search', 'search folder 0x%X has no search %s 0x%X' % (nid, name, base | t),
                      sec='2.4.8.6', kind='salparts')

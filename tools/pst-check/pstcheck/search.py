# SPDX-License-Identifier: GPL-3.0-or-later
"""Search objects: queues, the activity list, the domain object and the
search folders they name ([MS-PST] 2.4.8)."""
from .codec import U16, U32

NID_SMQ, NID_SAL, NID_SDO = 0x1E1, 0x201, 0x261
NID_SGQ, NID_SGFQ = 0x281, 0x321
SUD_SIZE = 20            # wFlags, wSUDType, 16 bytes of SUDData (2.4.8.1.1)
T_SEARCH_FOLDER, T_UPDATE_QUEUE, T_CRITERIA, T_SEARCH_CONTENTS = 0x03, 0x06, 0x07, 0x10
T_MESSAGE, T_ASSOC = 0x04, 0x08
TAG_CONTENT_COUNT, TAG_ROWID = 0x36020003, 0x67F20003
SUDT_LAST = 0x0F                          # SUDT_MSG_IDX; 0 is SUDT_NULL, invalid
# SUD types whose SUDData ends in fields a creator MUST zero, as (offset in
# the SUD, length): SUD_FLD_ADD / SUD_FLD_MOV dwReserved1-2 (2.4.8.2.3),
# SUD_FLD_MOD / SUD_FLD_DEL and SUD_SRCH_MOD dwReserved (2.4.8.2.4, 2.4.8.2.6).
SUD_RESERVED = {0x05: (12, 8), 0x08: (12, 8), 0x06: (8, 4), 0x07: (8, 4), 0x0A: (8, 4)}


def check(ndb, ltp, r):
    smq = (NID_SMQ, 'search management queue')
    suqs = [(n, 'search update queue 0x%X' % n) for n in sorted(ndb.nbt) if n & 0x1F == T_UPDATE_QUEUE]
    for nid, name in [smq, (NID_SGQ, 'search gatherer queue')] + suqs:
        _queue(ndb, r, nid, name)
    for nid, name in [smq] + suqs:
        _suds(ndb, r, nid, name)
    for nid, name in ((NID_SDO, 'search domain object'), (NID_SGFQ, 'search gatherer folder queue')):
        _nid_array(ndb, r, nid, name)
    sal = _nid_array(ndb, r, NID_SAL, 'search activity list')
    for folder in sal or ():
        if _search_folder(ndb, r, folder):
            _search_contents(ndb, ltp, r, folder)


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


def _suds(ndb, r, nid, name):
    """The SUDs still queued (from the head on) name a defined type, and
    their reserved fields are zero."""
    data, e = _data(ndb, nid)
    if not data or len(data) % SUD_SIZE or e[2] % SUD_SIZE:
        return
    for o in range(e[2], len(data), SUD_SIZE):
        kind = U16(data, o + 2)
        if not 1 <= kind <= SUDT_LAST:
            r.problem('search', '%s: SUD at %d has type 0x%X, not a defined SUD type' % (name, o, kind),
                      kind='sudtype', sec='2.4.8.1.1')
        elif kind in SUD_RESERVED:
            at, n = SUD_RESERVED[kind]
            if any(data[o + at:o + at + n]):
                r.problem('search', '%s: SUD at %d (type 0x%X) has nonzero reserved fields' % (name, o, kind),
                          kind='sudreserved', sec='2.4.8.2')


def _search_contents(ndb, ltp, r, nid):
    """An active search folder's contents table lists messages that exist,
    as many as its PidTagContentCount says (2.4.8.6.1-2): with nothing
    queued, that is what a reader shows without running the search again."""
    base = nid & ~0x1F
    table = ltp.node(base | T_SEARCH_CONTENTS)
    folder = ltp.node(nid)
    if table is None or folder is None:
        return
    t, pc = ltp.tc(table), ltp.pc(folder)
    if t is None or pc is None:
        return
    rows = t[1]
    what = 'search folder 0x%X' % nid
    count = pc.get(TAG_CONTENT_COUNT)
    if count is not None and U32(count, 0) != len(rows):
        r.problem('search', '%s: PidTagContentCount is %d, its contents table 0x%X holds %d rows'
                  % (what, U32(count, 0), base | T_SEARCH_CONTENTS, len(rows)), kind='sfcount', sec='2.4.8.6.2')
    for row in rows:
        mid = U32(row[TAG_ROWID], 0)
        if mid & 0x1F not in (T_MESSAGE, T_ASSOC) or mid not in ndb.nbt:
            r.problem('search', '%s: contents row 0x%X names no message' % (what, mid), kind='sfrow',
                      sec='2.4.8.6.2')


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
        return False
    base = nid & ~0x1F
    for t, name in ((T_SEARCH_CONTENTS, 'contents table'), (T_UPDATE_QUEUE, 'update queue'),
                    (T_CRITERIA, 'criteria object')):
        if (base | t) not in ndb.nbt:
            r.problem('search', 'search folder 0x%X has no search %s 0x%X' % (nid, name, base | t),
                      sec='2.4.8.6', kind='salparts')
    return True

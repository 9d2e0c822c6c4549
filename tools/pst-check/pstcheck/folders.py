"""Folders, their tables, messages and attachments ([MS-PST] 2.4.4 - 2.4.6)."""
from .codec import U32

T_FOLDER, T_SEARCH, T_MESSAGE, T_ATTACH, T_ASSOC = 0x02, 0x03, 0x04, 0x05, 0x08
TAG_DISPLAY_NAME = 0x3001001F
TAG_CONTENT_COUNT, TAG_UNREAD_COUNT, TAG_SUBFOLDERS = 0x36020003, 0x36030003, 0x360A000B
TAG_ASSOC_COUNT = 0x36170003
TAG_MESSAGE_FLAGS, TAG_MESSAGE_SIZE = 0x0E070003, 0x0E080003
TAG_ATTACH_SIZE, TAG_ATTACH_METHOD, TAG_RENDERING_POS = 0x0E200003, 0x37050003, 0x370B0003
TAG_ATTACH_DATA_OBJ = 0x3701000D
NID_ATTACHMENT_TABLE, NID_RECIPIENT_TABLE = 0x671, 0x692
MSGFLAG_READ, MSGFLAG_HASATTACH = 0x01, 0x10
# [MS-PST] 2.4.5.1 less PidTagMessageStatus, which Outlook's own messages
# do not carry.
REQUIRED_MESSAGE_PROPS = ((0x001A001F, 'PidTagMessageClass'), (0x0E070003, 'PidTagMessageFlags'),
                          (0x0E080003, 'PidTagMessageSize'), (0x30070040, 'PidTagCreationTime'),
                          (0x30080040, 'PidTagLastModificationTime'), (0x300B0102, 'PidTagSearchKey'))
TAG_ATTACH_DATA_BIN = 0x37010102


_NAMED = None


def _named_ids(r, what, pc):
    """Every property id from 0x8000 up must name an entry of the name-to-ID
    map ([MS-PST] 2.4.7)."""
    if _NAMED is None:
        return
    for tag in pc:
        pid = tag >> 16
        if pid >= 0x8000 and pid - 0x8000 >= _NAMED:
            r.problem('messaging', '%s: property 0x%08X has no entry in the name-to-ID map' % (what, tag),
                      kind='namedid')


def _int(v):
    return None if v is None else int.from_bytes(v, 'little')


def check_all(ndb, ltp, r, named_count=None):
    children = {}
    for nid, (_d, _s, parent) in ndb.nbt.items():
        if nid != parent:
            children.setdefault(parent, []).append(nid)
    global _NAMED
    _NAMED = named_count
    nfolders = nmsgs = 0
    for nid in sorted(ndb.nbt):
        t = nid & 0x1F
        if t == T_FOLDER:
            nfolders += 1
            _folder(ndb, ltp, r, nid, children.get(nid, []))
        elif t in (T_MESSAGE, T_ASSOC):
            nmsgs += 1
            parent = ndb.nbt[nid][2]
            if (parent & 0x1F) not in (T_FOLDER, T_SEARCH) or parent not in ndb.nbt:
                r.problem('messaging', 'message 0x%X has parent 0x%X, not a folder' % (nid, parent))
    r.stats['folders'] = nfolders
    r.stats['messages'] = nmsgs


def _table(ltp, nid, r, what):
    node = ltp.node(nid, what)
    if node is None:
        r.problem('messaging', '%s (node 0x%X) is missing' % (what, nid), kind='missingtable')
        return None
    t = ltp.tc(node)
    return None if t is None else t[1]


def _folder(ndb, ltp, r, nid, kids):
    what = 'folder 0x%X' % nid
    node = ltp.node(nid, what)
    pc = ltp.pc(node) if node is not None else None
    if pc is None:
        return
    for tag, name in ((TAG_DISPLAY_NAME, 'PidTagDisplayName'), (TAG_CONTENT_COUNT, 'PidTagContentCount'),
                      (TAG_UNREAD_COUNT, 'PidTagContentUnreadCount'), (TAG_SUBFOLDERS, 'PidTagSubfolders')):
        if tag not in pc:
            r.problem('messaging', '%s has no %s' % (what, name), kind='folderprop')
    base = nid & ~0x1F
    hier = _table(ltp, base | 0x0D, r, what + ' hierarchy table')
    contents = _table(ltp, base | 0x0E, r, what + ' contents table')
    assoc = _table(ltp, base | 0x0F, r, what + ' associated contents table')
    kid_set = set(kids)
    if hier is not None:
        sub = _int(pc.get(TAG_SUBFOLDERS))
        if sub is not None and bool(sub) != bool(hier):
            r.problem('messaging', '%s: PidTagSubfolders is %d, its hierarchy table has %d rows'
                      % (what, sub, len(hier)), kind='subfolders')
        listed = set()
        for row in hier:
            rid = U32(row[0x67F20003], 0)
            listed.add(rid)
            _row_target(ndb, r, what, 'hierarchy', rid, nid, (T_FOLDER, T_SEARCH))
            node = ltp.node(rid)
            cpc = ltp.pc(node) if node is not None else None
            if cpc is not None:
                _compare_row(r, what, 'hierarchy', row, cpc)
        for k in kid_set:
            if (k & 0x1F) in (T_FOLDER, T_SEARCH) and k not in listed:
                r.problem('messaging', '%s: subfolder 0x%X is not in its hierarchy table' % (what, k),
                          kind='unlisted')
    if contents is not None:
        count = _int(pc.get(TAG_CONTENT_COUNT))
        if count is not None and count != len(contents):
            r.problem('messaging', '%s: PidTagContentCount is %d, its contents table has %d rows'
                      % (what, count, len(contents)), kind='contentcount')
        unread = 0
        listed = set()
        for row in contents:
            rid = U32(row[0x67F20003], 0)
            listed.add(rid)
            if _row_target(ndb, r, what, 'contents', rid, nid, (T_MESSAGE,)):
                unread += _message(ndb, ltp, r, rid, row)
        u = _int(pc.get(TAG_UNREAD_COUNT))
        if u is not None and u != unread:
            r.problem('messaging', '%s: PidTagContentUnreadCount is %d, %d listed messages are unread'
                      % (what, u, unread), kind='unreadcount')
        for k in kid_set:
            if (k & 0x1F) == T_MESSAGE and k not in listed:
                r.problem('messaging', '%s: message 0x%X is not in its contents table' % (what, k),
                          kind='unlisted')
    if assoc is not None:
        count = _int(pc.get(TAG_ASSOC_COUNT))
        if count is not None and count != len(assoc):
            r.problem('messaging', '%s: PidTagAssocContentCount is %d, its table has %d rows'
                      % (what, count, len(assoc)))
        listed = set()
        for row in assoc:
            rid = U32(row[0x67F20003], 0)
            listed.add(rid)
            if _row_target(ndb, r, what, 'associated contents', rid, nid, (T_ASSOC,)):
                _message(ndb, ltp, r, rid, row)
        for k in kid_set:
            if (k & 0x1F) == T_ASSOC and k not in listed:
                r.problem('messaging', '%s: associated message 0x%X is not in its table' % (what, k),
                          kind='unlisted')


def _row_target(ndb, r, what, table, rid, parent, types):
    e = ndb.nbt.get(rid)
    if e is None or (rid & 0x1F) not in types:
        r.problem('messaging', '%s: %s table row names 0x%X, no such node of the right type'
                  % (what, table, rid), kind='rowtarget')
        return False
    if e[2] != parent:
        r.problem('messaging', '%s: %s table row 0x%X has NBT parent 0x%X' % (what, table, rid, e[2]),
                  kind='rowparent')
        return False
    return True


def _message(ndb, ltp, r, nid, row):
    """Checks one message; returns 1 when it is unread, else 0."""
    what = 'message 0x%X' % nid
    node = ltp.node(nid, what)
    pc = ltp.pc(node) if node is not None else None
    if pc is None:
        return 0
    flags = _int(pc.get(TAG_MESSAGE_FLAGS)) or 0
    size = _int(pc.get(TAG_MESSAGE_SIZE))
    if size is None:
        r.problem('messaging', '%s has no PidTagMessageSize' % what, kind='msgsize')
    elif TAG_MESSAGE_SIZE in row and _int(row[TAG_MESSAGE_SIZE]) != size:
        r.problem('messaging', '%s: contents row PidTagMessageSize %d, the message says %d'
                  % (what, _int(row[TAG_MESSAGE_SIZE]), size), kind='msgsize')
    if TAG_MESSAGE_FLAGS in row and _int(row[TAG_MESSAGE_FLAGS]) != flags:
        r.problem('messaging', '%s: contents row PidTagMessageFlags differs from the message\'s' % what,
                  kind='msgflags')
    _named_ids(r, what, pc)
    for tag, name in REQUIRED_MESSAGE_PROPS:
        if tag not in pc:
            r.problem('messaging', '%s has no %s' % (what, name), kind='msgprop')
    _compare_row(r, what, 'contents', row, pc)
    natt = _message_body(ltp, r, node, what, flags, 0)
    if natt and not flags & MSGFLAG_HASATTACH:
        r.problem('messaging', '%s has %d attachments but no MSGFLAG_HASATTACH' % (what, natt),
                  kind='hasattach')
    if not natt and flags & MSGFLAG_HASATTACH:
        r.problem('messaging', '%s has MSGFLAG_HASATTACH but no attachments' % what, kind='hasattach')
    return 0 if flags & MSGFLAG_READ else 1


def _compare_row(r, what, table, row, pc):
    """A table row caches its object's properties; a stale copy shows the
    wrong thing in Outlook's views."""
    for tag, value in row.items():
        if tag in (0x67F20003, 0x67F30003) or tag not in pc:
            continue
        have = pc[tag]
        if value != have and value.rstrip(b'\0') != have.rstrip(b'\0'):
            r.problem('messaging', '%s: %s row value of 0x%08X differs from the object\'s'
                      % (what, table, tag), kind='rowstale')


def _message_body(ltp, r, node, what, flags, depth):
    rec = node.child(NID_RECIPIENT_TABLE)
    if rec is None:
        r.problem('messaging', '%s has no recipient table' % what, kind='norecip')
    else:
        ltp.tc(rec)
    att = node.child(NID_ATTACHMENT_TABLE)
    att_nids = {n for n in node.subnodes if n & 0x1F == 0x05}
    if att is None:
        if att_nids:
            r.problem('messaging', '%s has attachment subnodes but no attachment table' % what)
        return 0
    t = ltp.tc(att)
    if t is None:
        return 0
    listed = set()
    for row in t[1]:
        rid = U32(row[0x67F20003], 0)
        listed.add(rid)
        aw = '%s attachment 0x%X' % (what, rid)
        an = node.child(rid)
        if an is None:
            r.problem('messaging', '%s: attachment table names a missing subnode' % aw, kind='attach')
            continue
        apc = ltp.pc(an)
        if apc is None:
            continue
        _named_ids(r, aw, apc)
        for tag, name in ((TAG_ATTACH_SIZE, 'PidTagAttachSize'), (TAG_ATTACH_METHOD, 'PidTagAttachMethod'),
                          (TAG_RENDERING_POS, 'PidTagRenderingPosition')):
            if tag not in apc:
                r.problem('messaging', '%s has no %s' % (aw, name), kind='attachprop')
        _compare_row(r, aw, 'attachment', row, apc)
        if _int(apc.get(TAG_ATTACH_METHOD)) == 1 and TAG_ATTACH_DATA_BIN not in apc:
            r.problem('messaging', '%s is attached by value but has no PidTagAttachDataBinary' % aw)
        obj = apc.get(TAG_ATTACH_DATA_OBJ)
        if obj is not None and _int(apc.get(TAG_ATTACH_METHOD)) == 5 and depth < 8:
            en = an.child(U32(obj, 0))
            if en is None:
                r.problem('messaging', '%s: embedded message subnode missing' % aw)
            elif ltp.pc(en) is not None:
                _message_body(ltp, r, en, aw + ' embedded message', 0, depth + 1)
    for n in att_nids - listed:
        r.problem('messaging', '%s: attachment subnode 0x%X is not in its attachment table' % (what, n))
    return len(t[1])

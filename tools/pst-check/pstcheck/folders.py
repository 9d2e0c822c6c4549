# SPDX-License-Identifier: GPL-3.0-or-later
"""Folders and their three tables ([MS-PST] 2.4.4); the messages they list
are checked by messages.py."""
from .codec import U32
from .coherence import to_int, compare_row, TAG_ROWID
from .messages import Messages

T_FOLDER, T_SEARCH, T_MESSAGE, T_ATTACH, T_ASSOC = 0x02, 0x03, 0x04, 0x05, 0x08
TAG_DISPLAY_NAME = 0x3001001F
TAG_CONTENT_COUNT, TAG_UNREAD_COUNT, TAG_SUBFOLDERS = 0x36020003, 0x36030003, 0x360A000B
TAG_ASSOC_COUNT = 0x36170003
TAG_MESSAGE_STATUS = 0x0E170003
REQUIRED_FOLDER_PROPS = ((TAG_DISPLAY_NAME, 'PidTagDisplayName'), (TAG_CONTENT_COUNT, 'PidTagContentCount'),
                         (TAG_UNREAD_COUNT, 'PidTagContentUnreadCount'), (TAG_SUBFOLDERS, 'PidTagSubfolders'))
# Each folder table starts as a copy of its template, and columns are
# never removed from it ([MS-PST] 2.4.4.2, 2.4.4.9).
TABLE_TEMPLATES = {0x0D: 0x60D, 0x0E: 0x60E, 0x0F: 0x60F}


class Folders:
    def __init__(self, ndb, ltp, r, named_count, template_columns):
        self.ndb, self.ltp, self.r = ndb, ltp, r
        self.templates = template_columns
        self.messages = Messages(ltp, r, named_count, template_columns)

    def check_all(self):
        ndb, r = self.ndb, self.r
        children = {}
        for nid, (_d, _s, parent) in ndb.nbt.items():
            if nid != parent:
                children.setdefault(parent, []).append(nid)
        nfolders = nmsgs = 0
        for nid in sorted(ndb.nbt):
            t = nid & 0x1F
            if t == T_FOLDER:
                nfolders += 1
                self._folder(nid, set(children.get(nid, [])))
            elif t == T_SEARCH:
                self._properties(nid, 'search folder 0x%X' % nid, '2.4.8.6.1')
            elif t in (T_MESSAGE, T_ASSOC):
                nmsgs += 1
                parent = ndb.nbt[nid][2]
                if (parent & 0x1F) not in (T_FOLDER, T_SEARCH) or parent not in ndb.nbt:
                    r.problem('message', 'message 0x%X has parent 0x%X, not a folder' % (nid, parent),
                              sec='2.4.5.2')
        r.stats['folders'] = nfolders
        r.stats['messages'] = nmsgs

    def _table(self, nid, what):
        node = self.ltp.node(nid, what)
        if node is None:
            self.r.problem('folder', '%s (node 0x%X) is missing' % (what, nid), kind='missingtable', sec='2.4.4')
            return None
        t = self.ltp.tc(node)
        if t is None:
            return None
        missing = self.templates[TABLE_TEMPLATES[nid & 0x1F]] - {c[0] >> 16 for c in t[0]}
        if missing:
            self.r.problem('folder', '%s lacks required columns %s'
                           % (what, ' '.join('0x%04X' % x for x in sorted(missing))), kind='tablecols',
                           sec='2.4.4.9')
        return t[1]

    def _properties(self, nid, what, sec):
        node = self.ltp.node(nid, what)
        pc = self.ltp.pc(node) if node is not None else None
        for tag, name in REQUIRED_FOLDER_PROPS if pc is not None else ():
            if tag not in pc:
                self.r.problem('folder', '%s has no %s' % (what, name), kind='folderprop', sec=sec)
        return pc

    def _folder(self, nid, kids):
        what = 'folder 0x%X' % nid
        pc = self._properties(nid, what, '2.4.4.1.1')
        if pc is None:
            return
        base = nid & ~0x1F
        hier = self._table(base | 0x0D, what + ' hierarchy table')
        contents = self._table(base | 0x0E, what + ' contents table')
        assoc = self._table(base | 0x0F, what + ' associated contents table')
        if hier is not None:
            self._hierarchy(nid, what, pc, hier, kids)
        if contents is not None:
            self._contents(nid, what, pc, contents, kids)
        if assoc is not None:
            self._assoc(nid, what, pc, assoc, kids)

    def _hierarchy(self, nid, what, pc, hier, kids):
        r, ltp = self.r, self.ltp
        sub = to_int(pc.get(TAG_SUBFOLDERS))
        if sub is not None and bool(sub) != bool(hier):
            r.problem('folder', '%s: PidTagSubfolders is %d, its hierarchy table has %d rows'
                      % (what, sub, len(hier)), kind='subfolders', sec='2.4.4.3')
        listed = set()
        for row in hier:
            rid = U32(row[TAG_ROWID], 0)
            listed.add(rid)
            self._row_target(what, 'hierarchy', rid, nid, (T_FOLDER, T_SEARCH), '2.4.4.4.2')
            node = ltp.node(rid)
            cpc = ltp.pc(node) if node is not None else None
            if cpc is not None:
                compare_row(r, what, 'hierarchy', row, cpc)
        for k in kids:
            if (k & 0x1F) in (T_FOLDER, T_SEARCH) and k not in listed:
                r.problem('folder', '%s: subfolder 0x%X is not in its hierarchy table' % (what, k),
                          kind='unlisted', sec='2.4.4.4.2')

    def _contents(self, nid, what, pc, contents, kids):
        r = self.r
        count = to_int(pc.get(TAG_CONTENT_COUNT))
        if count is not None and count != len(contents):
            r.problem('folder', '%s: PidTagContentCount is %d, its contents table has %d rows'
                      % (what, count, len(contents)), kind='contentcount', sec='2.4.4.3')
        unread = 0
        listed = set()
        for row in contents:
            rid = U32(row[TAG_ROWID], 0)
            listed.add(rid)
            if TAG_MESSAGE_STATUS not in row:
                # Outlook keeps the status in the row (0 for every message),
                # since the message itself carries none.
                r.problem('folder', '%s: contents row 0x%X has no PidTagMessageStatus' % (what, rid),
                          kind='rowstatus', sec='2.4.4.5.1')
            if self._row_target(what, 'contents', rid, nid, (T_MESSAGE,), '2.4.4.5.2'):
                unread += self.messages.message(rid, row)
        u = to_int(pc.get(TAG_UNREAD_COUNT))
        if u is not None and u != unread:
            r.problem('folder', '%s: PidTagContentUnreadCount is %d, %d listed messages are unread'
                      % (what, u, unread), kind='unreadcount', sec='2.4.4.3')
        for k in kids:
            if (k & 0x1F) == T_MESSAGE and k not in listed:
                r.problem('folder', '%s: message 0x%X is not in its contents table' % (what, k),
                          kind='unlisted', sec='2.4.4.5.2')

    def _assoc(self, nid, what, pc, assoc, kids):
        r = self.r
        count = to_int(pc.get(TAG_ASSOC_COUNT))
        if count is not None and count != len(assoc):
            r.problem('folder', '%s: PidTagAssocContentCount is %d, its table has %d rows'
                      % (what, count, len(assoc)), sec='2.4.4.3')
        listed = set()
        for row in assoc:
            rid = U32(row[TAG_ROWID], 0)
            listed.add(rid)
            if self._row_target(what, 'associated contents', rid, nid, (T_ASSOC,), '2.4.4.6'):
                self.messages.message(rid, row)
        for k in kids:
            if (k & 0x1F) == T_ASSOC and k not in listed:
                r.problem('folder', '%s: associated message 0x%X is not in its table' % (what, k),
                          kind='unlisted', sec='2.4.4.6')

    def _row_target(self, what, table, rid, parent, types, sec):
        e = self.ndb.nbt.get(rid)
        if e is None or (rid & 0x1F) not in types:
            self.r.problem('folder', '%s: %s table row names 0x%X, no such node of the right type'
                           % (what, table, rid), kind='rowtarget', sec=sec)
            return False
        if e[2] != parent:
            self.r.problem('folder', '%s: %s table row 0x%X has NBT parent 0x%X' % (what, table, rid, e[2]),
                           kind='rowparent', sec='2.2.2.7.7.4.1')
            return False
        return True

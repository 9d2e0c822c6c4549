# SPDX-License-Identifier: GPL-3.0-or-later
"""Message objects with their recipient and attachment tables
([MS-PST] 2.4.5, 2.4.6) and the calculated properties they must not store
(2.5)."""
from .codec import U32
from .coherence import to_int, compare_row, named_ids, TAG_ROWID

TAG_MESSAGE_CLASS, TAG_MESSAGE_FLAGS, TAG_MESSAGE_SIZE = 0x001A001F, 0x0E070003, 0x0E080003
TAG_ATTACH_SIZE, TAG_ATTACH_METHOD, TAG_RENDERING_POS = 0x0E200003, 0x37050003, 0x370B0003
TAG_ATTACH_DATA_OBJ, TAG_ATTACH_DATA_BIN = 0x3701000D, 0x37010102
NID_ATTACHMENT_TABLE, NID_RECIPIENT_TABLE = 0x671, 0x692
MSGFLAG_READ, MSGFLAG_HASATTACH = 0x01, 0x10
# [MS-PST] 2.4.5.1.1 less PidTagMessageStatus: Outlook keeps a message's
# status in its contents-table row, never in the message itself.
REQUIRED_MESSAGE_PROPS = ((TAG_MESSAGE_CLASS, 'PidTagMessageClass'), (TAG_MESSAGE_FLAGS, 'PidTagMessageFlags'),
                          (TAG_MESSAGE_SIZE, 'PidTagMessageSize'), (0x30070040, 'PidTagCreationTime'),
                          (0x30080040, 'PidTagLastModificationTime'), (0x300B0102, 'PidTagSearchKey'))
REQUIRED_ATTACH_PROPS = ((TAG_ATTACH_SIZE, 'PidTagAttachSize'), (TAG_ATTACH_METHOD, 'PidTagAttachMethod'),
                         (TAG_RENDERING_POS, 'PidTagRenderingPosition'))
# Calculated properties whose Set behaviour is "N" ([MS-PST] 2.5.2.3 -
# 2.5.2.5): 2.5.1 binds implementations to that behaviour, so a stored
# copy is one nobody may write, and Outlook computes the value anyway.
CALCULATED = {0x0E1B: 'PidTagHasAttachments', 0x0E1D: 'PidTagNormalizedSubject',
              0x0E21: 'PidTagAttachNumber', 0x0FFE: 'PidTagObjectType'}
PID_SUBJECT_PREFIX = 0x003D
PID_ROWID = 0x3000


class Messages:
    def __init__(self, ltp, r, named_count, template_columns):
        self.ltp, self.r, self.named = ltp, r, named_count
        self.recipient_columns = template_columns[NID_RECIPIENT_TABLE]
        self.attachment_columns = template_columns[NID_ATTACHMENT_TABLE]
        self.recipient_row_ids = []

    def message(self, nid, row):
        """Checks one message listed by `row`; returns 1 when unread."""
        r = self.r
        what = 'message 0x%X' % nid
        node = self.ltp.node(nid, what)
        pc = self.ltp.pc(node) if node is not None else None
        if pc is None:
            return 0
        flags = to_int(pc.get(TAG_MESSAGE_FLAGS)) or 0
        size = to_int(pc.get(TAG_MESSAGE_SIZE))
        if size is not None and TAG_MESSAGE_SIZE in row and to_int(row[TAG_MESSAGE_SIZE]) != size:
            r.problem('message', '%s: contents row PidTagMessageSize %d, the message says %d'
                      % (what, to_int(row[TAG_MESSAGE_SIZE]), size), kind='msgsize', sec='2.4.4.3')
        if TAG_MESSAGE_FLAGS in row and to_int(row[TAG_MESSAGE_FLAGS]) != flags:
            r.problem('message', '%s: contents row PidTagMessageFlags differs from the message\'s' % what,
                      kind='msgflags', sec='2.4.4.3')
        for tag, name in REQUIRED_MESSAGE_PROPS:
            if tag not in pc:
                r.problem('message', '%s has no %s' % (what, name), kind='msgprop', sec='2.4.5.1.1')
        compare_row(r, what, 'contents', row, pc)
        natt = self._body(node, pc, what, 0)
        if natt and not flags & MSGFLAG_HASATTACH:
            r.problem('message', '%s has %d attachments but no MSGFLAG_HASATTACH' % (what, natt),
                      kind='hasattach', sec='2.4.6')
        if not natt and flags & MSGFLAG_HASATTACH:
            r.problem('message', '%s has MSGFLAG_HASATTACH but no attachments' % what, kind='hasattach',
                      sec='2.4.6')
        return 0 if flags & MSGFLAG_READ else 1

    def _calculated(self, what, pc):
        for tag, value in pc.items():
            pid = tag >> 16
            if pid in CALCULATED:
                self.r.problem('calculated', '%s stores calculated property %s (0x%08X)'
                               % (what, CALCULATED[pid], tag), kind='calculated', sec='2.5.2')
            elif pid == PID_SUBJECT_PREFIX and not value.strip(b'\0'):
                # Outlook derives the prefix from PidTagSubject and stores
                # none; an empty stored one is dead weight, not a fault.
                self.r.note('calculated', '%s stores an empty PidTagSubjectPrefix (Outlook stores none)'
                            % what, sec='2.5.2.3', once='subjectprefix')

    def _body(self, node, pc, what, depth):
        """Recipients, attachments and their embedded messages; returns the
        number of attachments."""
        named_ids(self.r, what, pc, self.named)
        self._calculated(what, pc)
        self._recipients(node, pc, what)
        return self._attachments(node, what, depth)

    def _recipients(self, node, pc, what):
        r = self.r
        rec = node.child(NID_RECIPIENT_TABLE)
        if rec is None:
            cls = pc.get(TAG_MESSAGE_CLASS, b'').decode('utf-16-le', 'replace')
            if cls.upper().startswith('IPM.NOTE'):
                r.problem('recipient', '%s (%s) has no recipient table' % (what, cls), kind='norecip',
                          sec='2.4.5.3')
            else:
                # Outlook's own contacts, distribution lists, appointments,
                # free/busy and configuration items carry none.
                r.note('recipient', '%s (%s) has no recipient table, like Outlook\'s own non-mail items'
                       % (what, cls or 'no class'), sec='2.4.5.3', once='norecip')
            return
        t = self.ltp.tc(rec)
        if t is None:
            return
        self._columns(what, 'recipient', t[0], self.recipient_columns, '2.4.5.3.2')
        if any(c[0] >> 16 == PID_ROWID for c in t[0]):
            # A recipient is known by its row ID (PidTagLtpRowId); none of
            # Outlook's recipient tables stores PidTagRowid beside it.
            r.note('recipient', '%s: recipient table has a PidTagRowid (0x3000) column; Outlook\'s have none'
                   % what, sec='Outlook', once='recipientrowid')
        self.recipient_row_ids.extend(U32(row[TAG_ROWID], 0) for row in t[1])

    def _columns(self, what, table, cols, template, sec):
        missing = template - {c[0] >> 16 for c in cols}
        if missing:
            self.r.problem('messaging', '%s: %s table lacks required columns %s'
                           % (what, table, ' '.join('0x%04X' % t for t in sorted(missing))),
                           kind='tablecols', sec=sec)

    def _attachments(self, node, what, depth):
        r, ltp = self.r, self.ltp
        att = node.child(NID_ATTACHMENT_TABLE)
        att_nids = {n for n in node.subnodes if n & 0x1F == 0x05}
        if att is None:
            if att_nids:
                r.problem('attachment', '%s has attachment subnodes but no attachment table' % what,
                          sec='2.4.6.1')
            return 0
        t = ltp.tc(att)
        if t is None:
            return 0
        self._columns(what, 'attachment', t[0], self.attachment_columns, '2.4.6.1.2')
        listed = set()
        for row in t[1]:
            rid = U32(row[TAG_ROWID], 0)
            listed.add(rid)
            aw = '%s attachment 0x%X' % (what, rid)
            an = node.child(rid)
            if an is None:
                r.problem('attachment', '%s: attachment table names a missing subnode' % aw, kind='attach',
                          sec='2.4.6.1.3')
                continue
            apc = ltp.pc(an)
            if apc is None:
                continue
            named_ids(r, aw, apc, self.named)
            self._calculated(aw, apc)
            for tag, name in REQUIRED_ATTACH_PROPS:
                if tag not in apc:
                    r.problem('attachment', '%s has no %s' % (aw, name), kind='attachprop', sec='2.4.6.2.1')
            compare_row(r, aw, 'attachment', row, apc)
            method = to_int(apc.get(TAG_ATTACH_METHOD))
            if method == 1 and TAG_ATTACH_DATA_BIN not in apc:
                r.problem('attachment', '%s is attached by value but has no PidTagAttachDataBinary' % aw,
                          sec='2.4.6.2.2')
            obj = apc.get(TAG_ATTACH_DATA_OBJ)
            if obj is not None and method == 5 and depth < 8:
                en = an.child(U32(obj, 0))
                epc = ltp.pc(en) if en is not None else None
                if epc is not None:
                    self._body(en, epc, aw + ' embedded message', depth + 1)
        for n in att_nids - listed:
            r.problem('attachment', '%s: attachment subnode 0x%X is not in its attachment table' % (what, n),
                      sec='2.4.6.2')
        return len(t[1])

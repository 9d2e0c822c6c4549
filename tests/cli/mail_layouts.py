# SPDX-License-Identifier: GPL-3.0-or-later
"""Mail kept the ways people keep it, made at test time: by the real
programs where Debian has them (Dovecot's doveadm, procmail's formail,
mutt), otherwise written out as those programs write it.

Each builder makes its layout under a folder and returns a Layout: the
paths to convert, and what a conversion must give back, as Expect records
(one per message to be stored) and the number of messages the source
marks as deleted.
"""
import os
import pwd
import shutil
import subprocess
from dataclasses import dataclass, field


@dataclass
class Expect:
    subject: str
    folder: str                     # store folder, names joined by "/"
    body: str                       # a line the plain body must hold, exactly
    read: bool = True
    flagged: bool = False
    answered: bool = False
    forwarded: bool = False
    draft: bool = False
    categories: list = field(default_factory=list)


@dataclass
class Layout:
    paths: list
    messages: list                  # [Expect]
    expunged: int = 0
    mbox_files: list = field(default_factory=list)   # files whose records carry index and offset


def message(subject, body, headers=(), eol='\n'):
    """A small message whose body holds `body` and a line naming it."""
    lines = ['From: Ann Example <ann@example.org>', 'To: Bob Example <bob@example.org>',
             'Subject: ' + subject, 'Date: Mon, 07 Dec 2026 09:30:00 +0000',
             'Message-ID: <%s@example.org>' % subject, 'MIME-Version: 1.0',
             'Content-Type: text/plain; charset=utf-8'] + list(headers)
    return eol.join(lines + ['', 'Message %s.' % subject] + body.split('\n') + ['', 'Ann']) + eol


def _write(path, data, mode='w'):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, mode, newline='' if mode == 'w' else None) as f:
        f.write(data)


def have(program):
    return shutil.which(program) is not None


# --- Dovecot: a genuine Maildir++ with its index files -----------------------

def dovecot_maildir(root):
    """doveadm fills a Maildir++: an Inbox with new/ and flagged cur/ mail,
    a deleted message, and a folder whose name is not ASCII
    (".Projekte.&ANw-bersicht" on disk)."""
    home = os.path.join(root, 'dovecot')
    os.makedirs(home)
    # Dovecot refuses mail access as root: as root it runs as nobody, in a
    # home that nobody owns.
    runas = []
    uid, gid = os.getuid(), os.getgid()
    if uid == 0:
        nobody = pwd.getpwnam('nobody')
        uid, gid = nobody.pw_uid, nobody.pw_gid
        os.chmod(root, 0o755)
        os.chown(home, uid, gid)
        runas = ['setpriv', '--reuid=%d' % uid, '--regid=%d' % gid, '--clear-groups']
    conf = os.path.join(home, 'dovecot.conf')
    _write(conf, '\n'.join([
        'protocols =', 'ssl = no', 'mail_location = maildir:%s/Maildir' % home,
        'base_dir = %s/run' % home, 'state_dir = %s/state' % home, 'log_path = %s/log' % home,
        'mail_uid = %d' % uid, 'mail_gid = %d' % gid, 'first_valid_uid = 0', 'first_valid_gid = 0', '']))
    if runas:
        os.chown(conf, uid, gid)
    env = dict(os.environ, HOME=home, USER=pwd.getpwuid(uid).pw_name)

    def doveadm(*args, stdin=None):
        p = subprocess.run(runas + ['doveadm', '-c', conf] + list(args), input=stdin, env=env,
                           capture_output=True, timeout=60)
        if p.returncode != 0:
            raise RuntimeError('doveadm %s: %s' % (' '.join(args), p.stderr.decode(errors='replace')))

    inbox, sub = 'Inbox', 'Projekte/Übersicht'
    flagged = [  # (subject, Dovecot flags, Expect fields)
        ('dv-answered', r'\Seen \Answered', dict(answered=True)),
        ('dv-forwarded', r'\Seen $Forwarded Projekt', dict(forwarded=True, categories=['Projekt'])),
        ('dv-flagged', r'\Flagged', dict(read=False, flagged=True)),
        ('dv-draft', r'\Draft', dict(read=False, draft=True)),
        ('dv-deleted', r'\Seen \Deleted', None),
    ]
    doveadm('mailbox', 'create', 'Projekte.Übersicht')
    doveadm('mailbox', 'create', 'Staging')
    expect = []
    # Mail saved into a folder stays in new/ until a client looks at it;
    # moved there it goes to cur/ with its flags in the file name.
    for subject, flags, fields in flagged:
        doveadm('save', '-m', 'Staging', stdin=message(subject, 'Saved by doveadm.').encode())
        doveadm('flags', 'add', flags, 'mailbox', 'Staging', 'header', 'Subject', subject)
        if fields is not None:
            expect.append(Expect(subject, inbox, 'Saved by doveadm.', **fields))
    doveadm('move', 'INBOX', 'mailbox', 'Staging', 'all')
    doveadm('mailbox', 'delete', 'Staging')
    doveadm('save', stdin=message('dv-new', 'Still in new/.').encode())
    expect.append(Expect('dv-new', inbox, 'Still in new/.', read=False))
    doveadm('save', '-m', 'Projekte.Übersicht', stdin=message('dv-uebersicht', 'In a folder named in UTF-7.').encode())
    doveadm('flags', 'add', r'\Seen', 'mailbox', 'Projekte.Übersicht', 'all')
    expect.append(Expect('dv-uebersicht', sub, 'In a folder named in UTF-7.'))
    maildir = os.path.join(home, 'Maildir')
    assert os.path.isdir(os.path.join(maildir, '.Projekte.&ANw-bersicht', 'new')), os.listdir(maildir)
    return Layout([maildir], expect, expunged=1)


# --- mbox by formail and mutt -------------------------------------------------

def formail_mutt_mbox(root):
    """formail assembles an mbox (quoting a "From " body line as ">From ");
    mutt then flags the first message and reads the second, rewriting the
    file with Status:, X-Status: and Content-Length: headers."""
    box = os.path.join(root, 'Postfach')
    os.makedirs(root, exist_ok=True)
    with open(box, 'wb') as out:
        for subject, body in (('fm-flagged', 'Assembled by formail.'),
                              ('fm-read', 'From here on the line was quoted.')):
            p = subprocess.run(['formail'], input=message(subject, body).encode(), stdout=out, timeout=60)
            assert p.returncode == 0
    with open(box, 'rb') as f:
        assert b'\n>From here on' in f.read(), 'formail did not quote the body line'
    keys = '<flag-message><next-entry><display-message><exit><sync-mailbox><quit>'
    mutt = ("mutt -n -F /dev/null -e 'set folder=%s; set mbox_type=mbox; set mark_old=no; set move=no' "
            "-f '%s' -e 'push \"%s\"'" % (root, box, keys))
    subprocess.run(['script', '-qec', mutt, '/dev/null'], env=dict(os.environ, TERM='xterm', HOME=root),
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    with open(box, 'rb') as f:
        data = f.read()
    assert b'X-Status: F' in data and b'Status: RO' in data, 'mutt did not rewrite the flags'
    return Layout([box], [Expect('fm-flagged', 'Postfach', 'Assembled by formail.', read=False, flagged=True),
                          Expect('fm-read', 'Postfach', 'From here on the line was quoted.')],
                  mbox_files=[box])


# --- Written as the programs write them ---------------------------------------

def _mbox_entry(text, quote='o', eol='\n', sender='ann@example.org'):
    """One mbox entry: the "From " line, then the message with its
    "From " lines quoted as mboxo (only "From ") or mboxrd (any ">*From ")."""
    out = []
    for line in text.split(eol):
        if (quote == 'o' and line.startswith('From ')) or (quote == 'rd' and line.lstrip('>').startswith('From ')):
            line = '>' + line
        out.append(line)
    return 'From %s Mon Dec  7 09:30:00 2026%s%s%s' % (sender, eol, eol.join(out), eol)


def thunderbird_profile(root):
    """A Thunderbird profile's Local Folders: Inbox with its .msf summary
    and an Inbox.sbd/Work subfolder, X-Mozilla-Status flags (one entry
    expunged but not yet compacted away), and a Drafts mbox."""
    local = os.path.join(root, 'profile', 'Mail', 'Local Folders')
    status = [  # subject, X-Mozilla-Status, body, Expect fields (None: expunged)
        ('tb-unread', 0x0000, 'Never opened.', dict(read=False)),
        ('tb-read', 0x0001, 'From the start this was quoted.', {}),
        ('tb-expunged', 0x0009, 'Deleted, not compacted.', None),
        ('tb-answered', 0x0003, 'Replied to.', dict(answered=True)),
        ('tb-flagged', 0x0005, 'Starred.', dict(flagged=True)),
        ('tb-forwarded', 0x1001, 'Passed on.', dict(forwarded=True)),
    ]
    expect, inbox = [], ''
    for subject, flags, body, fields in status:
        headers = ['X-Mozilla-Status: %04x' % flags, 'X-Mozilla-Status2: 00000000']
        inbox += _mbox_entry(message(subject, body, headers))
        if fields is not None:
            expect.append(Expect(subject, 'Inbox', body, **fields))
    _write(os.path.join(local, 'Inbox'), inbox)
    mork = '// <!-- <mdb:mork:z v="1.4"/> -->\n< <(a=c)> // (f=iso-8859-1)\n  (B8=Inbox)>\n'
    _write(os.path.join(local, 'Inbox.msf'), mork)
    _write(os.path.join(local, 'Inbox.sbd', 'Work'),
           _mbox_entry(message('tb-work', 'Filed under Work.', ['X-Mozilla-Status: 0001'])))
    _write(os.path.join(local, 'Inbox.sbd', 'Work.msf'), mork)
    _write(os.path.join(local, 'Drafts'),
           _mbox_entry(message('tb-draft', 'Not sent yet.', ['X-Mozilla-Status: 0001', 'X-Unsent: 1'])))
    expect += [Expect('tb-work', 'Inbox/Work', 'Filed under Work.'),
               Expect('tb-draft', 'Drafts', 'Not sent yet.', read=False, draft=True)]
    return Layout([local], expect, expunged=1,
                  mbox_files=[os.path.join(local, n) for n in ('Inbox', 'Inbox.sbd/Work', 'Drafts')])


def mbox_forms(root):
    """The same kind of mail in each mbox form: mboxo, mboxrd (">>From "
    keeps one '>'), mboxcl2 (Content-Length; a "From " body line left as it
    is) and mboxo with CRLF line ends; Status:/X-Status: flags on the last.
    Where no message of a file has a Status: field, the file keeps no read
    state and its messages count as read; where some have, one without is
    unread."""
    folder = os.path.join(root, 'forms')
    expect = []
    # mboxo: only "From " is quoted, so ">From " in a body is read as "From ".
    data = ''.join(_mbox_entry(message('o-%d' % i, 'From Berlin, line %d.' % i)) for i in range(2))
    _write(os.path.join(folder, 'mboxo'), data)
    expect += [Expect('o-%d' % i, 'mboxo', 'From Berlin, line %d.' % i) for i in range(2)]
    # mboxrd: every ">*From " line gains a '>' and loses exactly one.
    data = _mbox_entry(message('rd-0', 'From the top.\n>From the quote.\n>>From deeper.'), quote='rd')
    data += _mbox_entry(message('rd-1', 'Plain.'), quote='rd')
    _write(os.path.join(folder, 'mboxrd'), data)
    expect += [Expect('rd-0', 'mboxrd', '>>From deeper.'), Expect('rd-1', 'mboxrd', 'Plain.')]
    # mboxcl2: nothing quoted; Content-Length says where the body ends.
    data = ''
    for subject, body in (('cl2-0', 'Before.\n\nFrom nobody Mon Dec  7 09:30:00 2026\nstays in the body.'),
                          ('cl2-1', 'Second.')):
        text = message(subject, body)
        head, content = text.split('\n\n', 1)
        data += 'From ann@example.org Mon Dec  7 09:30:00 2026\n%s\nContent-Length: %d\n\n%s\n' % (
            head, len(content.encode()), content)
    _write(os.path.join(folder, 'mboxcl2'), data)
    expect += [Expect('cl2-0', 'mboxcl2', 'From nobody Mon Dec  7 09:30:00 2026'),
               Expect('cl2-1', 'mboxcl2', 'Second.')]
    # CRLF line ends, with the flags mail clients keep in Status:/X-Status:
    # (D: deleted, not yet expunged from the file).
    data = _mbox_entry(message('crlf-0', 'Answered, read.', ['Status: RO', 'X-Status: A'], eol='\r\n'), eol='\r\n')
    data += _mbox_entry(message('crlf-1', 'Flagged, unread.', ['Status: O', 'X-Status: F'], eol='\r\n'), eol='\r\n')
    data += _mbox_entry(message('crlf-2', 'Marked deleted.', ['Status: RO', 'X-Status: D'], eol='\r\n'), eol='\r\n')
    _write(os.path.join(folder, 'crlf'), data)
    # A '\\' in a file's name is part of the name, not a step down the tree.
    _write(os.path.join(folder, 'in\\out'), _mbox_entry(message('bs-0', 'Named with a backslash.')))
    expect.append(Expect('bs-0', 'in\u2216out', 'Named with a backslash.'))
    expect += [Expect('crlf-0', 'crlf', 'Answered, read.', answered=True),
               Expect('crlf-1', 'crlf', 'Flagged, unread.', read=False, flagged=True)]
    return Layout([folder], expect, expunged=1,
                  mbox_files=[os.path.join(folder, n) for n in ('mboxo', 'mboxrd', 'mboxcl2', 'crlf', 'in\\out')])


def takeout_mbox(root):
    """A Google Takeout export: one mbox whose X-Gmail-Labels say where
    each message was: the first folder label is its folder, Unread and
    Starred its state, the other labels its categories."""
    path = os.path.join(root, 'Takeout', 'Mail', 'All mail Including Spam and Trash.mbox')
    cases = [  # subject, labels, Expect fields
        ('gm-inbox', 'Inbox,Unread', dict(folder='Inbox', read=False)),
        ('gm-work', 'Work,Starred,Reisen,Familie', dict(folder='Work', flagged=True, categories=['Reisen', 'Familie'])),
        ('gm-sent', 'Sent', dict(folder='Sent')),
    ]
    data, expect = '', []
    for subject, labels, fields in cases:
        data += _mbox_entry(message(subject, 'Exported from Gmail.', ['X-GM-THRID: 17%d' % len(data),
                                                                      'X-Gmail-Labels: ' + labels]),
                            sender='%d@xxx' % (1700000000000000000 + len(data)))
        expect.append(Expect(subject, body='Exported from Gmail.', **fields))
    _write(path, data)
    return Layout([path], expect, mbox_files=[path])


def _emlx(text, flags):
    data = text.encode()
    plist = ('<?xml version="1.0" encoding="UTF-8"?>\n'
             '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n'
             '<plist version="1.0">\n<dict>\n\t<key>date-received</key>\n\t<integer>1796635800</integer>\n'
             '\t<key>flags</key>\n\t<integer>%d</integer>\n</dict>\n</plist>\n' % flags)
    return b'%d        \n' % len(data) + data + plist.encode()


def apple_mail(root):
    """Apple Mail: an exported Work.mbox bundle (its mbox file inside) and
    .emlx message files, whose flags sit in the property list after the
    message: bit 0 read, 2 answered, 4 flagged, 6 draft, 8 forwarded."""
    bundle = os.path.join(root, 'Export', 'Work.mbox')
    _write(os.path.join(bundle, 'mbox'), _mbox_entry(message('ap-mbox-0', 'In the bundle.', ['Status: RO'])) +
           _mbox_entry(message('ap-mbox-1', 'Second in the bundle.')))
    _write(os.path.join(bundle, 'Info.plist'), '<plist version="1.0"><dict></dict></plist>\n')
    messages = os.path.join(root, 'Apple', 'Messages')
    cases = [('ap-read', 1 << 0, {}), ('ap-unread', 0, dict(read=False)),
             ('ap-answered', 1 << 0 | 1 << 2, dict(answered=True)),
             ('ap-flagged', 1 << 4, dict(read=False, flagged=True)),
             ('ap-forwarded', 1 << 0 | 1 << 8, dict(forwarded=True))]
    expect = [Expect('ap-mbox-0', 'Work', 'In the bundle.'),
              Expect('ap-mbox-1', 'Work', 'Second in the bundle.', read=False)]
    paths = [bundle]
    for n, (subject, flags, fields) in enumerate(cases, 1):
        path = os.path.join(messages, '%d.emlx' % n)
        _write(path, _emlx(message(subject, 'Kept by Apple Mail.'), flags), 'wb')
        paths.append(path)
        expect.append(Expect(subject, 'Messages', 'Kept by Apple Mail.', **fields))
    return Layout(paths, expect, mbox_files=[os.path.join(bundle, 'mbox')])

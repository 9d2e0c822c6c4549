#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The writer at the sizes where [MS-PST]'s structures change shape: a
table's row matrix spilling into a second and a later data block (message,
folder, recipient and attachment tables), data trees, subnode trees, and
property values past one block.

Each case writes .eml files, converts them with eml2pst (the importer and
the writer, as the program does), then requires pst-check to find nothing
and pffexport, readpst and pst-extractor each to read back exactly the
content written: every folder, message, recipient, body, header block and
attachment byte.

Usage: test_sizes.py BUILD_DIR SOURCE_DIR [--big] [unittest args]
--big runs the cases that take tens of seconds each (label slow).
"""
import datetime
import email.utils
import hashlib
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.realpath(__file__))
sys.path.insert(0, HERE)
import interop  # noqa: E402
import pstx_reader  # noqa: E402
from interop import Attachment, Message  # noqa: E402

BUILD = SOURCE = None
BIG = '--big' in sys.argv or bool(os.environ.get('VERDALINE_BIG'))
big = unittest.skipUnless(BIG, 'a big case: run with --big')
T0 = datetime.datetime(2020, 1, 1, tzinfo=datetime.timezone.utc)


def att_bytes(n, k, size):
    """Attachment k of message n: distinct, incompressible-looking bytes."""
    seed = hashlib.sha256(b'%d/%d' % (n, k)).digest()
    reps = size // len(seed) + 1
    out = bytearray(seed * reps)[:size]
    # Every 4 KiB differs from its neighbours, so a block written twice
    # or out of order shows.
    for off in range(0, size, 4096):
        out[off:off + 4] = (off // 4096).to_bytes(4, 'little')
    return bytes(out)


def wrap_b64(data):
    import base64
    b = base64.b64encode(data)
    return b'\r\n'.join(b[i:i + 76] for i in range(0, len(b), 76))


class Mail:
    """One generated message: the .eml text and the Message readers must show."""

    def __init__(self, n, recipients=2, attachments=(), subject=None, body=None,
                 html=None, extra_headers=''):
        self.exp = m = Message()
        m.subject = subject or 'Message %d' % n
        m.sender_email = 'sender%d@example.org' % (n % 7)
        m.recipients = [('to', 'To %d' % k, 'to%d.%d@example.org' % (n, k)) for k in range(recipients - 1)]
        m.recipients.append(('cc', 'Cc Person', 'cc%d@example.org' % n))
        m.submit_time = T0 + datetime.timedelta(minutes=n)
        if html is None:
            m.body_text = body if body is not None else 'Body of message %d.\r\nSecond line.\r\n' % n
        else:
            m.body_html = html
        m.attachments = [Attachment(name=name, data=data) for name, data in attachments]
        if extra_headers:
            m.headers = extra_headers.rstrip('\r\n')
        to = ',\r\n '.join('"%s" <%s>' % (nm, a) for _k, nm, a in m.recipients[:-1])
        head = ('From: "Sender %d" <%s>\r\nTo: %s\r\nCc: "Cc Person" <%s>\r\nSubject: %s\r\n'
                'Date: %s\r\nMessage-ID: <m%d@example.org>\r\nMIME-Version: 1.0\r\n%s'
                % (n % 7, m.sender_email, to, m.recipients[-1][2], self._fold(m.subject),
                   email.utils.format_datetime(m.submit_time), n, extra_headers))
        text_part = ('Content-Type: text/html; charset=utf-8\r\n\r\n' + html) if html is not None else \
            ('Content-Type: text/plain; charset=utf-8\r\n\r\n' + m.body_text)
        if not attachments:
            self.raw = (head + text_part).encode()
            return
        parts = [b'--b0\r\n' + text_part.encode()]
        for name, data in attachments:
            parts.append(b'--b0\r\nContent-Type: application/octet-stream\r\n'
                         b'Content-Disposition: attachment; filename="' + name.encode() + b'"\r\n'
                         b'Content-Transfer-Encoding: base64\r\n\r\n' + wrap_b64(data))
        self.raw = (head + 'Content-Type: multipart/mixed; boundary="b0"\r\n\r\n').encode() + \
            b'\r\n'.join(parts) + b'\r\n--b0--\r\n'

    @staticmethod
    def _fold(text):
        words = text.split(' ')
        lines, cur = [], ''
        for w in words:
            if cur and len(cur) + len(w) > 70:
                lines.append(cur)
                cur = w
            else:
                cur = (cur + ' ' + w) if cur else w
        lines.append(cur)
        return '\r\n '.join(lines)


class Sizes(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(dir=os.environ.get('VERDALINE_BIG_TMP'))
        self.root = os.path.join(self.tmp.name, 'mail')
        self.files = []
        self.want = {}

    def tearDown(self):
        self.tmp.cleanup()

    def add(self, folder, mail):
        """Puts a message into folder ('a/b', '' for the top of the store)."""
        d = os.path.join(self.root, *folder.split('/')) if folder else self.root
        os.makedirs(d, exist_ok=True)
        path = os.path.join(d, 'm%06d.eml' % len(self.files))
        with open(path, 'wb') as f:
            f.write(mail.raw)
        self.files.append(path)
        self.want.setdefault(folder, []).append(mail.exp)

    def convert_and_read(self, skip=(), pstx_recipients=True):
        """Converts, checks, and compares every reader but those in skip
        (each named with its reason beside the case)."""
        diffs = self.differences(skip, pstx_recipients)
        if diffs:
            self.fail('%d differences:\n%s' % (len(diffs), '\n'.join(d[:300] for d in diffs[:20])))

    def differences(self, skip=(), pstx_recipients=True):
        # One message at the top: the files' common parent is the store's
        # top, so the folders the case asks for are created ones.
        self.add('', Mail(999999))
        pst = os.path.join(self.tmp.name, 'out.pst')
        p = subprocess.run([os.path.join(BUILD, 'eml2pst'), pst] + sorted(self.files),
                           capture_output=True, text=True)
        self.assertEqual(p.returncode, 0, p.stderr[-2000:] + p.stdout[-2000:])
        for f in self.files:          # the readers' copies are enough on disk
            os.remove(f)
        p = subprocess.run([sys.executable, os.path.join(SOURCE, 'tools', 'pst-check', 'pst-check'),
                            '--strict-leaks', pst], capture_output=True, text=True)
        diffs = ['pst-check: ' + line for line in p.stdout.splitlines()[:20]]
        if p.returncode != 0 and not p.stdout:
            diffs.append('pst-check exit %d: %s' % (p.returncode, p.stderr[-500:]))
        work = os.path.join(self.tmp.name, 'out')
        os.makedirs(work)
        if 'pffexport' not in skip:
            diffs += interop.compare(self.want, interop.read_pffexport(pst, work), 'pffexport')
            self._clear(work)
        if 'readpst' not in skip:
            # readpst leaves out folders without messages.
            diffs += interop.compare({k: v for k, v in self.want.items() if v},
                                     interop.read_readpst(pst, work), 'readpst')
            self._clear(work)
        if 'pst-extractor' not in skip:
            want = self.want
            if not pstx_recipients:
                want = {k: [self._no_recipients(m) for m in v] for k, v in want.items()}
            tree = interop.read_pstextractor(pst, SOURCE, recipients=pstx_recipients)
            diffs += ['pst-extractor: %r threw: %s' % (k, e) for k, e in tree.errors.items() if k in want]
            diffs += interop.compare(want, tree, 'pst-extractor')
        return diffs

    @staticmethod
    def _clear(work):
        subprocess.run(['rm', '-rf', work], check=True)
        os.makedirs(work)

    @staticmethod
    def _no_recipients(m):
        import copy
        m = copy.copy(m)
        m.recipients = []
        return m

    def test_comparison_notices_wrong_expectations(self):
        # Guards the harness: a wrong body, recipient, header block or
        # attachment byte, and a missing message, show for every reader.
        headers = 'X-Filler: %s\r\n' % ('h' * 200)
        self.add('Inbox', Mail(1, attachments=[('a.bin', att_bytes(1, 0, 9000))], extra_headers=headers))
        self.add('Inbox', Mail(2, html='<p>HTML body</p>\r\n'))
        self.add('Inbox', Mail(3))
        m1, m2, _m3 = self.want['Inbox']
        self.add('Inbox', Mail(4))
        self.want['Inbox'].append(Mail(5).exp)
        m1.body_text = 'Not the body.'
        m1.recipients[0] = ('to', 'Somebody Else', 'else@example.org')
        m1.headers = 'X-Filler: %s' % ('h' * 199 + 'x')
        data = bytearray(m1.attachments[0].data)
        data[8500] ^= 1
        m1.attachments[0].data = bytes(data)
        m2.body_html = '<p>Another body</p>'
        diffs = '\n'.join(self.differences())
        for reader in ('pffexport', 'readpst', 'pst-extractor'):
            for what in ('plain body differs', 'HTML body differs', 'recipients', 'header block',
                         'attachment contents differ', "no message with subject 'Message 5'"):
                self.assertRegex(diffs, '%s: .*%s' % (reader, what))

    def many(self, folder, count):
        for n in range(count):
            self.add(folder, Mail(n))

    # Contents table: 64 rows fit the first row-matrix block; 65 need a
    # second (whose predecessor must be full); 500 and 5,000 need a data
    # tree with many leaves.
    def test_messages_64(self):
        self.many('Inbox', 64)
        self.convert_and_read()

    def test_messages_65(self):
        self.many('Inbox', 65)
        self.convert_and_read()

    def test_messages_500(self):
        self.many('Inbox', 500)
        self.convert_and_read()

    @big
    def test_messages_5000(self):
        self.many('Inbox', 5000)
        self.convert_and_read()

    # Hierarchy table: 148 rows fit one block, 149 need two.
    def siblings(self, count):
        for k in range(count):
            self.add('Folders/Folder %04d' % k, Mail(k))
        self.want['Folders'] = []
        self.convert_and_read()

    def test_folders_148(self):
        self.siblings(148)

    def test_folders_149(self):
        self.siblings(149)

    def test_folders_2000(self):
        self.siblings(2000)

    def test_chain_100_deep(self):
        path = '/'.join('L%02d' % k for k in range(100))
        self.add(path, Mail(1))
        for k in range(1, 100):
            self.want['/'.join('L%02d' % j for j in range(k))] = []
        self.convert_and_read()

    # Recipient table of 2,000 rows: a data tree of row-matrix blocks.
    # pst-extractor reads recipients in quadratic time: left out here.
    def test_recipients_2000(self):
        self.add('Inbox', Mail(1, recipients=2000))
        self.convert_and_read(pstx_recipients=False)

    # Attachment table: 327 rows fit one block, 328 need two; 500
    # attachments also put the message's subnodes into a subnode tree
    # (SIBLOCK) of several leaves.
    def attachments(self, count, skip=()):
        atts = [('att-%03d.bin' % k, att_bytes(1, k, 40 + k)) for k in range(count)]
        self.add('Inbox', Mail(1, attachments=atts))
        self.convert_and_read(skip)

    def test_attachments_327(self):
        self.attachments(327)

    def test_attachments_328(self):
        self.attachments(328)

    def test_attachments_500(self):
        # readpst shows no attachment at all once a message's subnodes need
        # an SIBLOCK (339 attachments and up; pffexport reads them all).
        self.attachments(500, skip=('readpst',))

    # 8,176 bytes fill one data block; 8,177 need a data tree.
    def test_attachment_block_edge(self):
        self.add('Inbox', Mail(1, attachments=[('a.bin', att_bytes(1, 0, 8176))]))
        self.add('Inbox', Mail(2, attachments=[('b.bin', att_bytes(2, 0, 8177))]))
        self.convert_and_read()

    @big
    def test_attachment_64m(self):
        self.add('Inbox', Mail(1, attachments=[('big.bin', att_bytes(1, 0, 64 << 20))]))
        self.convert_and_read()

    # 5 MB bodies need a two-level data tree (XXBLOCK).
    def test_bodies_5m(self):
        line = 'Line %07d of a long body, with some text to fill it out nicely.\r\n'
        text = ''.join(line % k for k in range(5 * 1024 * 1024 // 68))
        html = '<html><body>\r\n' + ''.join('<p>' + line % k for k in range(5 * 1024 * 1024 // 72)) + \
            '</body></html>\r\n'
        self.add('Inbox', Mail(1, body=text))
        self.add('Inbox', Mail(2, html=html))
        self.convert_and_read()

    # A 100 KB subject and a 100 KB header block: property values of many
    # blocks, in the message and (subject) in the contents-table row.
    def test_long_subject_and_headers(self):
        subject = ' '.join('word%05d' % k for k in range(100 * 1024 // 10))
        headers = ''.join('X-Filler-%05d: %s\r\n' % (k, 'v' * 80) for k in range(100 * 1024 // 96))
        self.add('Inbox', Mail(1, subject=subject))
        self.add('Inbox', Mail(2, extra_headers=headers))
        self.convert_and_read()


if __name__ == '__main__':
    if len(sys.argv) < 3:
        print(__doc__)
        sys.exit(2)
    BUILD, SOURCE = sys.argv[1], sys.argv[2]
    del sys.argv[1:3]
    if '--big' in sys.argv:
        sys.argv.remove('--big')
    if not os.access(os.path.join(BUILD, 'eml2pst'), os.X_OK):
        print('SKIP: eml2pst is not built in %s' % BUILD)
        sys.exit(77)
    missing = interop.missing_readers() + ([] if pstx_reader.available(SOURCE) else ['pst-extractor'])
    if missing:
        print('SKIP: readers missing: %s' % ' '.join(missing))
        sys.exit(77)
    unittest.main(verbosity=2)

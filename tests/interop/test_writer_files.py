#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Files written by our writer: pst-check finds nothing (space leaks
included) and the readers (pffexport, readpst, and pst-extractor where
installed) find exactly what was written.

pst-stress generates each message from its number (tools/pst-stress/
content.cpp); expected() below is the same rule, so the test knows what a
reader must show without trusting the writer.

Usage: test_writer_files.py BUILD_DIR SOURCE_DIR
"""
import datetime
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.realpath(__file__))
sys.path.insert(0, HERE)
import interop  # noqa: E402
from interop import Message, Attachment  # noqa: E402

BUILD = SOURCE = CHECKER = None
UNICODE = 'Grüße, 日本, 😀'
FOLDER_TAIL = ' €😀'


def check_pffinfo(test, path):
    """pffinfo's view of the allocation maps and store agrees with the header."""
    info = interop.pffinfo(path)
    with open(path, 'rb') as f:
        head = f.read(564)
    free = int.from_bytes(head[200:208], 'little')
    test.assertEqual(info.get('file_size'), os.path.getsize(path))
    test.assertEqual(sum(size for _o, size in info['unallocated_data']), free,
                     'pffinfo free space vs cbAMapFree')
    test.assertEqual(info.get('folders'), ['Subtree', 'Wastbox', 'Finder'])


def expected(messages=0, folders=1, depth=0, attachment_bytes=0, unicode=False, attachment_data=None):
    tail = (' ' + UNICODE) if unicode else ''
    ftail = FOLDER_TAIL if unicode else ''
    if depth:
        paths = ['/'.join('Level %d%s' % (k, ftail) for k in range(depth))]
    else:
        paths = ['Folder %d%s' % (k, ftail) for k in range(folders)]
    tree = {p: [] for p in paths}
    for n in range(messages):
        m = Message()
        m.subject = 'Message %d%s' % (n, tail)
        m.sender_email = 'sender%d@example.org' % (n % 7)
        m.recipients = [('to', 'To Person' + tail, 'to%d@example.org' % n), ('cc', 'Cc Person', 'cc@example.org')]
        m.submit_time = datetime.datetime(2020, 1, 1, tzinfo=datetime.timezone.utc) + datetime.timedelta(minutes=n)
        m.body_text = 'Body of message %d.%s\r\nSecond line.\r\n' % (n, tail)
        if attachment_bytes:
            name = 'attachment-%d%s.bin' % (n, '-é' if unicode else '')
            m.attachments = [Attachment(name=name, data=attachment_data(n))]
        tree[paths[n % len(paths)]].append(m)
    return tree


class WriterFiles(unittest.TestCase):
    def setUp(self):
        self.stress = os.path.join(BUILD, 'pst-stress')
        if not os.access(self.stress, os.X_OK):
            self.skipTest('pst-stress not built')
        missing = interop.missing_readers()
        if missing:
            self.skipTest('readers missing: %s' % ' '.join(missing))
        self.tmp = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.tmp.cleanup()

    def attachment(self, size):
        def data(n):
            path = os.path.join(self.tmp.name, 'att%d' % n)
            subprocess.run([self.stress, '--emit-attachment', str(n), str(size), path], check=True)
            with open(path, 'rb') as f:
                return f.read()
        return data

    def write_and_compare(self, name, messages=0, folders=1, depth=0, attachment_bytes=0, unicode=False):
        path = os.path.join(self.tmp.name, name + '.pst')
        cmd = [self.stress, path, '--messages', str(messages), '--folders', str(folders)]
        if depth:
            cmd += ['--depth', str(depth)]
        if attachment_bytes:
            cmd += ['--attachment-bytes', str(attachment_bytes)]
        if unicode:
            cmd += ['--unicode']
        subprocess.run(cmd, check=True, capture_output=True)
        p = subprocess.run([sys.executable, CHECKER, '--strict-leaks', path], capture_output=True, text=True)
        self.assertEqual((p.returncode, p.stdout), (0, ''), 'pst-check on %s' % name)
        check_pffinfo(self, path)
        want = expected(messages, folders, depth, attachment_bytes, unicode,
                        self.attachment(attachment_bytes) if attachment_bytes else None)
        work = os.path.join(self.tmp.name, name + '.out')
        os.makedirs(work)
        pff = interop.read_pffexport(path, work)
        diffs = interop.compare(want, pff, 'pffexport')
        rp = interop.read_readpst(path, work)
        # readpst leaves out folders without messages.
        diffs += interop.compare({k: v for k, v in want.items() if v}, rp, 'readpst')
        if interop.pstx_reader.available(SOURCE):
            px = interop.read_pstextractor(path, SOURCE)
            diffs += ['pst-extractor: %r threw: %s' % (k, e) for k, e in px.errors.items() if k in want]
            diffs += interop.compare(want, px, 'pst-extractor')
        total = sum(len(v) for v in pff.values())
        self.assertEqual(total, messages, 'pffexport found %d messages' % total)
        total = sum(len(v) for v in rp.values())
        self.assertEqual(total, messages, 'readpst found %d messages' % total)
        if diffs:
            self.fail('%d differences:\n%s' % (len(diffs), '\n'.join(d[:300] for d in diffs[:20])))
        return pff

    def test_comparison_notices_wrong_expectations(self):
        # Guards the harness itself: a wrong body, attachment or recipient
        # must show up as a difference for both readers.
        path = os.path.join(self.tmp.name, 'guard.pst')
        subprocess.run([self.stress, path, '--messages', '2', '--attachment-bytes', '64'],
                       check=True, capture_output=True)
        want = expected(2, 1, 0, 64, False, self.attachment(64))
        msgs = want['Folder 0']
        msgs[0].body_text = 'Not the body.'
        msgs[1].attachments[0].data = b'x' * 64
        msgs[1].recipients[0] = ('to', 'Somebody Else', 'else@example.org')
        work = os.path.join(self.tmp.name, 'guard.out')
        os.makedirs(work)
        readers = [('pffexport', interop.read_pffexport(path, work)), ('readpst', interop.read_readpst(path, work))]
        if interop.pstx_reader.available(SOURCE):
            readers.append(('pst-extractor', interop.read_pstextractor(path, SOURCE)))
        for reader, tree in readers:
            diffs = '\n'.join(interop.compare(want, tree, reader))
            self.assertIn('plain body differs', diffs, reader)
            self.assertIn('attachment contents differ', diffs, reader)
            self.assertIn('recipients', diffs, reader)

    def test_no_message(self):
        self.write_and_compare('empty', messages=0)

    def test_one_message(self):
        self.write_and_compare('one', messages=1)

    def test_deep_folder_tree(self):
        self.write_and_compare('deep', messages=3, depth=40)

    def test_ten_thousand_folders(self):
        tree = self.write_and_compare('wide', messages=25, folders=10000)
        self.assertEqual(len([k for k in tree if k.startswith('Folder ')]), 10000)

    def test_attachment_8k(self):
        self.write_and_compare('att8k', messages=3, attachment_bytes=8 * 1024)

    def test_attachment_1m(self):
        self.write_and_compare('att1m', messages=2, attachment_bytes=1024 * 1024)

    def test_attachment_50m(self):
        self.write_and_compare('att50m', messages=1, attachment_bytes=50 * 1024 * 1024)

    def test_unicode_everywhere(self):
        self.write_and_compare('unicode', messages=6, folders=3, attachment_bytes=100, unicode=True)


class SampleFile(unittest.TestCase):
    """tools/pst-sample's file: clean, and the two readers agree on it."""

    def test_sample(self):
        tool = os.path.join(BUILD, 'pst-sample')
        if not os.access(tool, os.X_OK):
            self.skipTest('pst-sample not built')
        if interop.missing_readers():
            self.skipTest('readers missing')
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, 'sample.pst')
            subprocess.run([tool, path], check=True, capture_output=True)
            p = subprocess.run([sys.executable, CHECKER, '--strict-leaks', path], capture_output=True, text=True)
            self.assertEqual((p.returncode, p.stdout), (0, ''))
            check_pffinfo(self, path)
            pff = interop.read_pffexport(path, tmp)
            rp = interop.read_readpst(path, tmp)
            self.assertGreater(sum(len(v) for v in pff.values()), 0)
            # Same folders with messages, same messages, same content.
            self.assertEqual({k: len(v) for k, v in pff.items() if v}, {k: len(v) for k, v in rp.items() if v})
            for path_, msgs in pff.items():
                got = {m.subject: m for m in rp.get(path_, [])}
                for m in msgs:
                    r = got.get(m.subject)
                    self.assertIsNotNone(r, 'readpst lacks %r in %r' % (m.subject, path_))
                    self.assertEqual(interop._norm_text(r.body_text), interop._norm_text(m.body_text), m.subject)
                    self.assertEqual(r.submit_time, m.submit_time, m.subject)
                    self.assertEqual(sorted((a.name, a.data) for a in r.attachments if a.data),
                                     sorted((a.name, a.data) for a in m.attachments if a.data), m.subject)


if __name__ == '__main__':
    if len(sys.argv) < 3:
        print(__doc__)
        sys.exit(2)
    BUILD, SOURCE = sys.argv[1], sys.argv[2]
    CHECKER = os.path.join(SOURCE, 'tools', 'pst-check', 'pst-check')
    del sys.argv[1:3]
    if not os.access(os.path.join(BUILD, 'pst-stress'), os.X_OK) and \
            not os.access(os.path.join(BUILD, 'pst-sample'), os.X_OK):
        print('SKIP: pst-stress and pst-sample are not built in %s' % BUILD)
        sys.exit(77)
    if interop.missing_readers():
        print('SKIP: readers missing: %s' % ' '.join(interop.missing_readers()))
        sys.exit(77)
    unittest.main(verbosity=2)

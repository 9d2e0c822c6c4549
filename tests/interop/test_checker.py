#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""pst-check passes the two files Outlook wrote and catches deliberate
damage of every rule it checks, in one of them and in files our writer made.

Usage: test_checker.py BUILD_DIR SOURCE_DIR
"""
import os
import subprocess
import sys
import struct
import tempfile
import types
import unittest

HERE = os.path.dirname(os.path.realpath(__file__))
sys.path.insert(0, HERE)
import damage  # noqa: E402

SOURCE = os.path.realpath(os.path.join(HERE, '..', '..'))
BUILD = os.path.join(SOURCE, 'build')
CHECKER = os.path.join(SOURCE, 'tools', 'pst-check', 'pst-check')


def reference_dir():
    return os.path.join(SOURCE, '..', 'shared', 'reference')


def run_checker(path, *opts):
    p = subprocess.run([sys.executable, CHECKER, *opts, path], capture_output=True, text=True)
    return p.returncode, p.stdout


class CheckerOnFile:
    """Mixed into a TestCase; subclasses set `source()` and `EXPECTED`."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        with open(self.source(), 'rb') as f:
            self.data = f.read()

    def tearDown(self):
        self.tmp.cleanup()

    def damaged(self, name):
        path = os.path.join(self.tmp.name, name + '.pst')
        with open(path, 'wb') as f:
            f.write(damage.DAMAGE[name](self.data))
        return path

    def expect(self, name, *words):
        rc, out = run_checker(self.damaged(name))
        self.assertEqual(rc, 1, '%s: checker accepted the damage' % name)
        for w in words:
            self.assertIn(w, out, '%s: expected "%s" in:\n%s' % (name, w, out))

    def test_every_kind_of_damage_is_reported(self):
        for name, words in self.EXPECTED.items():
            with self.subTest(damage=name):
                self.expect(name, *words)


# The damage of damage.py and the words of the report that must name it;
# these apply to any file with messages in folders.
EXPECTED = {
    'data-block-byte': ['fails its CRC'],
    'btree-page-byte': ['NBT page', 'CRC'],
    'amap-page-byte': ['AMap', 'CRC'],
    'header-byte': ['dwCRCPartial', 'dwCRCFull'],
    'header-free-count': ['cbAMapFree'],
    'swapped-btree-entries': ['not strictly ascending'],
    'content-count': ['PidTagContentCount is'],
    'cut-in-half': ['ibFileEof'],
    'used-growth': ['ibFileEof is'],
    'data-past-growth': ['ibFileEof is'],
    'message-size': ['contents row PidTagMessageSize'],
    'unread-count': ['PidTagContentUnreadCount is'],
    'subfolders-flag': ['PidTagSubfolders is 0'],
    'bid-next-b': ['bidNextB'],
    'rgnid-low': ['rgnid[0x04]'],
    'amap-bit-cleared': ['marked free in the AMaps'],
    'block-outside-file': ['outside the file'],
    'pmap-trailer': ['PMap'],
    'node-removed': ['no such node'],
    'heap-page-map': ['ibHnpm'],
    'block-trailer-bid': ['trailer bid'],
    'page-signature': ['wrong wSig'],
    'search-folder-count': ['[2.4.8.6.2]', 'search folder 0x2223: PidTagContentCount is 1'],
}

# Damage that needs what Outlook's dist-list.pst holds: an appointment with
# attachments and embedded messages, search folders, a DList, heap-held
# row matrices.
EXPECTED_REFERENCE = {
    'reserved-header-field': ['[2.2.2.6]', 'rgbReserved3'],
    'bbt-cref': ['[2.2.2.7.7.3.1]', 'cRef'],
    'btpage-padding': ['[2.2.2.7.7.1]', 'dwPadding'],
    'page-bid-reused': ['[2.2.2.7.1]', 'reuses page BID'],
    'slblock-padding': ['[2.2.2.8.3.3.1.2]', 'dwPadding'],
    'slblock-empty': ['[2.2.2.8.3.3.1.2]', 'no entries'],
    'subnode-twice-in-node': ['not strictly ascending (or repeated)'],
    'heap-client-sig': ['[2.3.1.2]', 'not a defined value'],
    'heap-fill-level': ['[2.3.1.2]', 'rgbFillLevel'],
    'object-as-nid': ['[2.3.3.5]', 'is a NID'],
    'tc-hid-index': ['[2.3.4.1]', 'hidIndex'],
    'ceb-spare-bits': ['[2.3.4.4.1]', 'CEB bits beyond'],
    'template-column': ['[2.4.5.3.1]', 'lacks column 0x0C150003'],
    'folder-table-column': ['[2.4.4.9]', 'lacks required columns 0x0E17'],
    'row-status-missing': ['no PidTagMessageStatus'],
    'calculated-property': ['[2.5.2]', 'PidTagAttachNumber'],
    'rowver-above-unique': ['above dwUnique'],
    'rowver-twice': ['handed out 2 times'],
    'subnode-above-rgnid': ['subnode NID 0x80A5 is above rgnid[0x05]'],
    'subnode-not-from-counter': ['not drawn from rgnid'],
    'subnode-twice-in-store': ['used 2 times in the store'],
    'name-bucket': ['[2.4.7.5]', 'not in its hash bucket'],
    'name-string-offset': ['[2.4.7.4]', 'not an entry of the string stream'],
    'search-criteria-missing': ['[2.4.8.6]', 'no search criteria object 0x2227'],
    'queue-head': ['[2.4.8.3]', 'head offset'],
    'search-folder-row': ['[2.4.8.6.2]', 'search folder 0x80023: contents row 0x7FFFFFE4 names no message'],
    'smq-sud-type': ['[2.4.8.1.1]', 'search management queue: SUD at 0 has type 0x0'],
    'dlist-bid': ['[2.2.2.7.1]', 'not a page BID'],
    'dlist-signature': ['[5.5]', 'DList wSig'],
}


class OutlookReference(unittest.TestCase):
    """Outlook's own files hold no violation; what they do that the
    document's letter forbids shows as notes."""

    def test_reference_files_pass(self):
        for name in ('dist-list.pst', 'passworded.pst'):
            with self.subTest(file=name):
                path = os.path.join(reference_dir(), name)
                self.assertEqual(run_checker(path), (0, ''))
                rc, out = run_checker(path, '--verbose')
                self.assertIn('note: header [2.2.2.5]: cbPMapFree is', out)


class OutlookSample(CheckerOnFile, unittest.TestCase):
    EXPECTED = dict(EXPECTED, **EXPECTED_REFERENCE)

    def source(self):
        return os.path.join(reference_dir(), 'dist-list.pst')

    def test_leaked_space_is_a_note_unless_strict(self):
        path = self.damaged('amap-bit-set')
        rc, out = run_checker(path, '--verbose')
        self.assertEqual(rc, 0, out)
        self.assertIn('note: amap', out)
        rc, out = run_checker(path, '--strict-leaks')
        self.assertEqual(rc, 1)
        self.assertIn('marked allocated but nothing reaches them', out)

    def test_interrupted_growth_is_a_note_unless_strict(self):
        for name in ('empty-growth', 'zeroed-growth'):
            with self.subTest(damage=name):
                path = self.damaged(name)
                rc, out = run_checker(path, '--verbose')
                self.assertEqual(rc, 0, out)
                self.assertIn('empty sections past ibFileEof', out)
                rc, out = run_checker(path, '--strict-leaks')
                self.assertEqual(rc, 1, out)

    def test_stored_empty_subject_prefix_is_a_note(self):
        rc, out = run_checker(self.damaged('empty-subject-prefix'), '--verbose')
        self.assertEqual(rc, 0, out)
        self.assertIn('note: calculated [2.5.2.3]', out)

    def test_row_matrix_outside_subnode_0x3f(self):
        with open(os.path.join(reference_dir(), 'passworded.pst'), 'rb') as f:
            self.data = f.read()
        self.expect('row-matrix-not-0x3f', 'not 0x3F')


class WriterMade(CheckerOnFile):
    """A file made by one of our tools (`TOOL`, `ARGS`); the damage is the
    same, or needs what only such a file holds."""

    def source(self):
        return self._path

    def setUp(self):
        tool = os.path.join(BUILD, self.TOOL)
        if not os.access(tool, os.X_OK):
            self.skipTest('%s not built' % self.TOOL)
        self.outer = tempfile.TemporaryDirectory()
        self._path = os.path.join(self.outer.name, 'made.pst')
        subprocess.run([tool, self._path, *self.args()], check=True, capture_output=True)
        super().setUp()

    def tearDown(self):
        super().tearDown()
        self.outer.cleanup()

    def args(self):
        return []


class WriterSample(WriterMade, unittest.TestCase):
    TOOL = 'pst-sample'
    EXPECTED = dict(EXPECTED, **{
        'xblock-total': ['lcbTotal'],
        'xxblock-of-data-blocks': ['[2.2.2.8.3.2.2]', 'lists a data block'],
        'recipient-table-missing': ['[2.4.5.3]', '(IPM.Note) has no recipient table'],
    })

    def test_clean_file_passes(self):
        self.assertEqual(run_checker(self.source()), (0, ''))

    def test_recipient_rowid_column_is_a_note(self):
        _rc, out = run_checker(self.damaged('recipient-rowid-column'), '--verbose')
        self.assertIn('note: recipient [Outlook]:', out)
        self.assertIn('PidTagRowid (0x3000) column', out)
        self.assertNotIn('PidTagRowid', run_checker(self.source(), '--verbose')[1])


class WriterTableOfSeveralBlocks(WriterMade, unittest.TestCase):
    TOOL = 'pst-stress'
    EXPECTED = {'row-block-short': ['[2.3.4.4]', 'row block 0 of 4', 'not 8192 bytes with 64']}

    def args(self):
        return ['--messages', '200']


class WriterLargeHeapValue(WriterMade, unittest.TestCase):
    """A message whose plain body takes 3.4 KB of its heap."""
    TOOL = 'eml2pst'
    EXPECTED = {'heap-value-too-big': ['[2.3.3.3]', 'kept in the heap (at most 3580)']}

    def args(self):
        eml = os.path.join(self.outer.name, 'big.eml')
        with open(eml, 'w') as f:
            f.write('From: Alice <alice@example.org>\r\nTo: Bob <bob@example.org>\r\n'
                    'Subject: A body that fills most of its heap block\r\n'
                    'Date: Tue, 1 Dec 2020 10:00:00 +0000\r\nMIME-Version: 1.0\r\n'
                    'Content-Type: text/plain; charset=us-ascii\r\n\r\n' + 'Lorem ipsum. ' * 130 + '\r\n')
        return [eml]


class RowMatrixBlocks(unittest.TestCase):
    """[MS-PST] 2.3.4.4: every row-matrix block but the last is a full block,
    the space after its rows dead; a short one shifts every later row."""

    def read(self, rows, first_block_bytes):
        sys.path.insert(0, os.path.join(SOURCE, 'tools', 'pst-check'))
        from pstcheck.report import Report
        from pstcheck.table import read_tc
        # Two columns (PidTagLtpRowId, PidTagLtpRowVer): 9-byte rows, 908 to a block.
        info = struct.pack('<BB4HIII', 0x7C, 2, 8, 8, 8, 9, 0x40, 0x3F, 0)
        info += struct.pack('<IHBBIHBB', 0x67F20003, 0, 4, 0, 0x67F30003, 4, 4, 1)
        matrix = b''.join(struct.pack('<IIB', i + 1, 1, 0xC0) for i in range(rows))
        first = min(first_block_bytes // 9, 908) * 9
        blocks = [matrix[:first].ljust(first_block_bytes, b'\0'), matrix[first:]]
        allocs = {0x20: info, 0x40: struct.pack('<BBBBI', 0xB5, 4, 4, 0, 0x60),
                  0x60: b''.join(struct.pack('<II', i + 1, i) for i in range(rows))}
        child = types.SimpleNamespace(blocks=blocks)
        node = types.SimpleNamespace(what='table', child=lambda nid: child if nid == 0x3F else None,
                                     ltp=types.SimpleNamespace(row_versions=[]))
        heap = types.SimpleNamespace(node=node, root=0x20, get=lambda hid, what='': allocs[hid])
        report = Report()
        result = read_tc(heap, report)
        return report.problems, result

    def test_full_blocks_read_every_row(self):
        problems, (_cols, rows) = self.read(910, 8176)
        self.assertEqual(problems, [])
        self.assertEqual([int.from_bytes(r[0x67F20003], 'little') for r in rows], list(range(1, 911)))

    def test_short_block_is_a_problem(self):
        problems, _ = self.read(910, 900 * 9)
        self.assertTrue(any('not 8192 bytes' in p for p in problems), problems)


if __name__ == '__main__':
    if len(sys.argv) >= 3:
        BUILD, SOURCE = sys.argv[1], sys.argv[2]
        CHECKER = os.path.join(SOURCE, 'tools', 'pst-check', 'pst-check')
        del sys.argv[1:3]
    if not os.path.exists(os.path.join(reference_dir(), 'dist-list.pst')):
        print('SKIP: Outlook reference files not found')
        sys.exit(77)
    unittest.main(verbosity=2)

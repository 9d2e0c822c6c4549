#!/usr/bin/env python3
"""pst-check passes Outlook's own sample file and catches deliberate damage
of every layer in it (and in our writer's sample file when it is built).

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
import interop  # noqa: E402

SOURCE = os.path.realpath(os.path.join(HERE, '..', '..'))
BUILD = os.path.join(SOURCE, 'build')
CHECKER = os.path.join(SOURCE, 'tools', 'pst-check', 'pst-check')


def run_checker(path, *opts):
    p = subprocess.run([sys.executable, CHECKER, *opts, path], capture_output=True, text=True)
    return p.returncode, p.stdout


class CheckerOnFile:
    """Mixed into a TestCase; subclasses set `source()`."""

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

    def test_clean_file_passes(self):
        rc, out = run_checker(self.source())
        self.assertEqual((rc, out), (0, ''))

    def expect(self, name, *words):
        rc, out = run_checker(self.damaged(name))
        self.assertEqual(rc, 1, '%s: checker accepted the damage' % name)
        for w in words:
            self.assertIn(w, out, '%s: expected "%s" in:\n%s' % (name, w, out))

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

    def test_every_kind_of_damage_is_reported(self):
        for name, words in EXPECTED.items():
            with self.subTest(damage=name):
                self.expect(name, *words)


# The damage of damage.py and the words of the report that must name it.
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
    'xblock-total': ['lcbTotal'],
    'heap-page-map': ['ibHnpm'],
    'block-trailer-bid': ['trailer bid'],
    'page-signature': ['wrong wSig'],
}


class OutlookSample(CheckerOnFile, unittest.TestCase):
    def source(self):
        return interop.outlook_sample(SOURCE)

    def setUp(self):
        if not os.path.exists(self.source()):
            self.skipTest('Outlook sample file missing')
        super().setUp()


class WriterSample(CheckerOnFile, unittest.TestCase):
    """The same damage, in a file our writer made (tools/pst-sample)."""

    def source(self):
        return self._path

    def setUp(self):
        tool = os.path.join(BUILD, 'pst-sample')
        if not os.access(tool, os.X_OK):
            self.skipTest('pst-sample not built')
        self.outer = tempfile.TemporaryDirectory()
        self._path = os.path.join(self.outer.name, 'sample.pst')
        subprocess.run([tool, self._path], check=True, capture_output=True)
        super().setUp()

    def tearDown(self):
        super().tearDown()
        self.outer.cleanup()


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
        blocks = [matrix[:908 * 9].ljust(first_block_bytes, b'\0'), matrix[908 * 9:]]
        allocs = {0x20: info, 0x40: struct.pack('<BBBBI', 0xB5, 4, 4, 0, 0x60),
                  0x60: b''.join(struct.pack('<II', i + 1, i) for i in range(rows))}
        child = types.SimpleNamespace(blocks=blocks)
        node = types.SimpleNamespace(what='table', child=lambda nid: child if nid == 0x3F else None)
        heap = types.SimpleNamespace(node=node, root=0x20, get=lambda hid, what='': allocs[hid])
        report = Report()
        result = read_tc(heap, report)
        return report.problems, result

    def test_full_blocks_read_every_row(self):
        problems, (_cols, rows) = self.read(910, 8176)
        self.assertEqual(problems, [])
        self.assertEqual([int.from_bytes(r[0x67F20003], 'little') for r in rows], list(range(1, 911)))

    def test_short_block_is_a_problem(self):
        problems, _ = self.read(910, 908 * 9)
        self.assertTrue(any('not a full block' in p for p in problems), problems)


if __name__ == '__main__':
    if len(sys.argv) >= 3:
        BUILD, SOURCE = sys.argv[1], sys.argv[2]
        CHECKER = os.path.join(SOURCE, 'tools', 'pst-check', 'pst-check')
        del sys.argv[1:3]
    if not os.path.exists(interop.outlook_sample(SOURCE)):
        print('SKIP: Outlook sample file not found')
        sys.exit(77)
    unittest.main(verbosity=2)

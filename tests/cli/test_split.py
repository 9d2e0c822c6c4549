#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""build/verdaline-convert --max-size: a run over more mail than one file may
hold goes on in "NAME (2).pst" and on; every file is under the limit, passes
the checker, and the files together hold every message once, in its folder,
as independent readers see them. A message too large for any file is not
stored and the run goes on.

usage: test_split.py BUILD_DIR SOURCE_DIR [unittest arguments]
"""
import base64
import hashlib
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_cli  # noqa: E402  (takes BUILD_DIR and SOURCE_DIR off the command line)
from test_cli import BUILD, SOURCE, interop, pst_check, read_report  # noqa: E402

CONVERT = os.path.join(BUILD, 'verdaline-convert')
MiB = 1024 * 1024
FOLDERS = ('Inbox', 'Projects', 'Archive 2025')


def run(args):
    return subprocess.run([CONVERT] + args, capture_output=True, text=True, timeout=1800)


def write_message(path, subject, attachment):
    """A message with one attachment of these (incompressible) bytes."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    encoded = base64.encodebytes(attachment).replace(b'\n', b'\r\n')
    with open(path, 'wb') as f:
        f.write(('From: Ann <ann@example.org>\r\nTo: Bob <bob@example.org>\r\nSubject: %s\r\n'
                 'Date: Sun, 06 Dec 2026 07:05:03 +0000\r\nMIME-Version: 1.0\r\n'
                 'Content-Type: multipart/mixed; boundary="b"\r\n\r\n--b\r\n'
                 'Content-Type: text/plain\r\n\r\nThe data is attached.\r\n--b\r\n'
                 'Content-Type: application/octet-stream\r\n'
                 'Content-Disposition: attachment; filename="%s.bin"\r\n'
                 'Content-Transfer-Encoding: base64\r\n\r\n' % (subject, subject)).encode())
        f.write(encoded)
        f.write(b'--b--\r\n')


def digest(data):
    return hashlib.sha256(data).hexdigest()


def outputs_of(stdout):
    """The files the summary names: "output: A", then "output 2: B"..."""
    files = []
    for line in stdout.splitlines():
        key, _, value = line.partition(': ')
        if key == 'output' or (key.startswith('output ') and key[7:].isdigit()):
            files.append(value)
    return files


class SplitTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix='verdaline-split-')
        self.addCleanup(shutil.rmtree, self.work, True)

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def make_mail(self, count, sizes):
        """count messages over FOLDERS; {subject: (folder, sha256 of its attachment)}."""
        rng = random.Random(7)
        expected = {}
        for i in range(count):
            folder = FOLDERS[i % len(FOLDERS)]
            subject = 'split-%03d' % i
            data = os.urandom(rng.randint(*sizes))
            write_message(self.path('mail', folder, '%03d.eml' % i), subject, data)
            expected[subject] = (folder, digest(data))
        return expected

    def read_files(self, files, reader):
        """{subject: [(file, folder, attachment sha256 or None)]} over every file."""
        found = {}
        for pst in files:
            work = tempfile.mkdtemp(dir=self.work)
            tree = reader(pst, work)
            for folder, messages in tree.items():
                for m in messages:
                    sha = None
                    if m.attachments:
                        att = m.attachments[0]
                        sha = digest(att.data) if att.data is not None else att.digest and att.digest[1]
                    found.setdefault(m.subject, []).append((pst, folder, sha))
        return found

    def test_a_large_run_is_split_into_files_under_the_limit(self):
        missing = interop.missing_readers()
        if missing:
            self.skipTest('missing readers: %s' % ', '.join(missing))
        # About 200 MB of mail in three folders, and one message larger
        # than a file may be.
        expected = self.make_mail(66, (1 * MiB, 4 * MiB))
        write_message(self.path('mail', 'Inbox', 'huge.eml'), 'split-huge', os.urandom(51 * MiB))
        limit = 50 * MiB
        out = self.path('out', 'run.pst')
        os.mkdir(self.path('out'))
        report = self.path('report.json')
        p = run(['-o', out, '--max-size', '50M', '--report', report, self.path('mail')])
        self.assertEqual(p.returncode, 1, p.stderr)

        files = outputs_of(p.stdout)
        self.assertGreaterEqual(len(files), 4, p.stdout)
        self.assertEqual(files, [out] + [self.path('out', 'run (%d).pst' % n) for n in range(2, len(files) + 1)])
        self.assertEqual(sorted(os.listdir(self.path('out'))), sorted(os.path.basename(f) for f in files))
        sizes = [os.path.getsize(f) for f in files]
        self.assertIn('size: %.1f MB (%d bytes)' % (sum(sizes) / MiB, sum(sizes)), p.stdout)
        for f, size in zip(files, sizes):
            self.assertLessEqual(size, limit, f)
            self.assertEqual(pst_check(f), (0, ''), f)
        # No file is closed long before the limit: the next message would
        # not have fitted in it.
        for size in sizes[:-1]:
            self.assertGreater(size, limit - 8 * MiB, sizes)

        with open(report) as f:
            doc = json.load(f)
        self.assertEqual((doc['output'], doc['outputs']), (out, files))
        records = {os.path.basename(r['path']): r for r in doc['files']}
        huge = records.pop('huge.eml')
        self.assertEqual((huge['result'], huge['file']), ('not-stored', None))
        self.assertTrue(huge['reason'].startswith('it is too large for a .pst file of at most 50.0 MB: it needs about'),
                        huge['reason'])
        self.assertIn('huge.eml', p.stderr)

        readers = {'pffexport': interop.read_pffexport, 'readpst': interop.read_readpst}
        if interop.pstx_reader.available(SOURCE):
            readers['pst-extractor'] = lambda pst, work: interop.read_pstextractor(pst, SOURCE)
        for name, reader in readers.items():
            found = self.read_files(files, reader)
            self.assertEqual(sorted(found), sorted(expected), name)
            for subject, (folder, sha) in expected.items():
                self.assertEqual(len(found[subject]), 1, (name, subject, found[subject]))
                pst, where, att = found[subject][0]
                self.assertEqual(where, folder, (name, subject))
                self.assertEqual(att, sha, (name, subject))
                # The report names the file that holds it.
                record = records['%s.eml' % subject[6:]]
                self.assertEqual((record['result'], record['file'], record['storeFolder']),
                                 ('stored', pst, folder), (name, subject))

    def test_small_limits_names_and_the_tsv_report(self):
        expected = self.make_mail(9, (400 * 1024, 500 * 1024))
        os.mkdir(self.path('out'))
        # A name that is taken is passed over, never replaced.
        with open(self.path('out', 'run (2).pst'), 'w') as f:
            f.write('mine')
        report = self.path('report.tsv')
        p = run(['-o', self.path('out', 'run.pst'), '--max-size', '2M', '--verify', '--report', report,
                 self.path('mail')])
        self.assertEqual(p.returncode, 0, p.stderr)
        files = outputs_of(p.stdout)
        self.assertGreaterEqual(len(files), 3, p.stdout)
        self.assertNotIn(self.path('out', 'run (2).pst'), files)
        self.assertEqual(files[1], self.path('out', 'run (3).pst'))
        with open(self.path('out', 'run (2).pst')) as f:
            self.assertEqual(f.read(), 'mine')
        self.assertIn('verified: no problems', p.stdout)
        for f in files:
            self.assertLessEqual(os.path.getsize(f), 2 * MiB, f)
        # The TSV report keeps its columns and adds the file last.
        _, rows = read_report(report)
        self.assertEqual(len(rows), len(expected))
        with open(report) as f:
            lines = [line.rstrip('\n').split('\t') for line in f]
        self.assertEqual(lines[0][-1], 'file')
        held = {}
        for line in lines[1:]:
            self.assertIn(line[-1], files, line)
            held.setdefault(line[-1], []).append(line[1])
        self.assertEqual(sorted(held), sorted(files))
        counts = {}
        for f in files:
            for folder, n in test_cli.message_counts(f, self.work).items():
                counts[(f, folder)] = n
        self.assertEqual(counts, {(f, folder): folders.count(folder)
                                  for f, folders in held.items() for folder in set(folders)})

    def test_sizes_the_command_line_refuses(self):
        msg = self.path('m.eml')
        write_message(msg, 'one', b'x')
        for value in ('abc', '10X', '1.5G', '-5', '0', '1023K', 'G', '99999999999999999999', '20000000T'):
            p = run(['-o', self.path('x.pst'), '--max-size', value, msg])
            self.assertEqual((value, p.returncode, p.stdout), (value, 2, ''), p.stderr)
            self.assertIn('--max-size', p.stderr)
        self.assertFalse(os.path.exists(self.path('x.pst')))
        for value in ('1M', '1048576', '2g', '1T'):
            out = self.path('ok-%s.pst' % value)
            p = run(['-q', '-o', out, '--max-size', value, msg])
            self.assertEqual((value, p.returncode), (value, 0), p.stderr)
            self.assertTrue(os.path.exists(out))


if __name__ == '__main__':
    unittest.main()

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Kill test: a writer is killed (SIGKILL after varied delays, and inside a
commit through the driver's --crash-after-writes); what is left must pass
pst-check and hold every message (node) committed before the kill.

Usage: test_kill.py BUILD_DIR SOURCE_DIR [--level ndb|writer]
"""
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.realpath(__file__))
sys.path.insert(0, HERE)
import interop  # noqa: E402
import ndb_content  # noqa: E402

BUILD = SOURCE = None
CHECKER = None
DELAYS = [0.05, 0.1, 0.15, 0.2, 0.3, 0.4, 0.5, 0.7, 0.9, 1.2, 1.5, 2.0]


def run_until_killed(cmd, delay=None):
    """Runs cmd; kills it after delay seconds (or lets a crash end it).
    Returns the number of messages it reported committed."""
    p = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if delay is not None:
        time.sleep(delay)
        p.send_signal(signal.SIGKILL)
    try:
        out, _err = p.communicate(timeout=300)
    except subprocess.TimeoutExpired:
        p.kill()
        out, _err = p.communicate()
    counts = [int(x) for x in re.findall(rb'committed (\d+)', out)]
    return (max(counts) if counts else None), p.returncode


def check_file(path, ndb_only):
    opts = ['--ndb-only'] if ndb_only else []
    p = subprocess.run([sys.executable, CHECKER, *opts, path], capture_output=True, text=True)
    return p.returncode, p.stdout


class KillBase:
    level = None

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.n = 0

    def tearDown(self):
        self.tmp.cleanup()

    def command(self, path):
        raise NotImplementedError

    def verify(self, path, committed):
        raise NotImplementedError

    def one(self, delay=None, crash_after=None):
        """One killed run; returns (committed count or None, problems)."""
        self.n += 1
        path = os.path.join(self.tmp.name, 'k%d.pst' % self.n)
        cmd = self.command(path)
        if crash_after is not None:
            cmd += ['--crash-after-writes', str(crash_after)]
        committed, rc = run_until_killed(cmd, delay)
        what = 'delay %s crash-after %s (exit %s, committed %s)' % (delay, crash_after, rc, committed)
        if committed is None:
            # Killed before the new file was first committed: there is no
            # committed state to keep.
            return None, []
        problems = []
        if delay is not None:
            # A kill between two system calls: the file is never shorter
            # than the header's ibFileEof says. Growing takes two calls (the
            # new size, then the header that records it), so a kill between
            # them can leave it longer: the tail lies past every section the
            # header names, and the file must still pass pst-check below.
            with open(path, 'rb') as f:
                eof = int.from_bytes(f.read(192)[184:192], 'little')
            if eof > os.path.getsize(path):
                problems.append('%s: the file has %d bytes, ibFileEof says %d'
                                % (what, os.path.getsize(path), eof))
        rc, out = check_file(path, self.level == 'ndb')
        if rc != 0:
            problems.append('%s: pst-check: %s' % (what, out.strip().replace('\n', '; ')))
        problems += ['%s: %s' % (what, d) for d in self.verify(path, committed)]
        os.remove(path)
        return committed, problems

    def run_all(self, runs):
        results = [self.one(**kw) for kw in runs]
        print('\n  %s committed before each kill: %s' % (self.level, [c for c, _ in results]), file=sys.stderr)
        problems = [p for _c, ps in results for p in ps]
        self.assertEqual(problems, [])
        got = sum(1 for c, _ in results if c is not None)
        self.assertGreaterEqual(got, len(runs) // 2,
                                'too few runs got past the first commit: %r' % [c for c, _ in results])

    def test_sigkill_after_varied_delays(self):
        self.run_all([{'delay': d} for d in DELAYS])

    def test_crash_inside_commit(self):
        # Write counts spread over the first few dozen commits; each lands
        # somewhere inside a commit (blocks, pages, maps or the header).
        self.run_all([{'crash_after': n} for n in self.crash_writes])


class NdbKill(KillBase, unittest.TestCase):
    level = 'ndb'
    crash_writes = [15, 20, 25, 31, 40, 50, 63, 80, 101, 130, 170]

    def setUp(self):
        self.tool = os.path.join(BUILD, 'pst-stress-ndb')
        if not os.access(self.tool, os.X_OK):
            self.skipTest('pst-stress-ndb not built')
        super().setUp()

    def command(self, path):
        return [self.tool, path, '--commit-each', '--forever']

    def verify(self, path, committed):
        return ndb_content.verify(path, committed)


class WriterKill(KillBase, unittest.TestCase):
    level = 'writer'
    crash_writes = [90, 101, 120, 149, 181, 220, 263, 301, 352, 421, 503]

    def setUp(self):
        self.tool = os.path.join(BUILD, 'pst-stress')
        if not os.access(self.tool, os.X_OK):
            self.skipTest('pst-stress not built')
        if interop.missing_readers():
            self.skipTest('readers missing: %s' % interop.missing_readers())
        super().setUp()

    def command(self, path):
        # Attachments make the file grow past its first allocation map.
        return [self.tool, path, '--commit-each', '--forever', '--folders', '3', '--attachment-bytes', '30000']

    def verify(self, path, committed):
        out = []
        work = tempfile.mkdtemp(dir=self.tmp.name)
        for reader, tree in (('pffexport', interop.read_pffexport(path, work)),
                             ('readpst', interop.read_readpst(path, work))):
            subjects = {m.subject for msgs in tree.values() for m in msgs}
            lost = [n for n in range(committed) if 'Message %d' % n not in subjects]
            if lost:
                out.append('%s lost committed messages %s' % (reader, lost[:10]))
        return out


if __name__ == '__main__':
    if len(sys.argv) < 3:
        print(__doc__)
        sys.exit(2)
    BUILD, SOURCE = sys.argv[1], sys.argv[2]
    CHECKER = os.path.join(SOURCE, 'tools', 'pst-check', 'pst-check')
    del sys.argv[1:3]
    if not any(os.access(os.path.join(BUILD, t), os.X_OK) for t in ('pst-stress', 'pst-stress-ndb')):
        print('SKIP: neither pst-stress nor pst-stress-ndb is built in %s' % BUILD)
        sys.exit(77)
    unittest.main(verbosity=2)

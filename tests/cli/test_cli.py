#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end runs of build/verdaline-convert: exit status, the report (JSON
and TSV), refusal to overwrite, interrupt, progress only on a terminal, and
--folders=path against the window's "Add Folder".

usage: test_cli.py BUILD_DIR SOURCE_DIR [unittest arguments]
"""
import csv
import json
import os
import pty
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

BUILD, SOURCE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
del sys.argv[1:3]
sys.path.insert(0, os.path.join(SOURCE, 'tests', 'interop'))
import interop  # noqa: E402

CONVERT = os.path.join(BUILD, 'verdaline-convert')
HEADLESS = os.path.join(BUILD, 'verdaline-headless')
PST_CHECK = os.path.join(SOURCE, 'tools', 'pst-check', 'pst-check')
REGRESSIONS = os.path.join(SOURCE, 'tests', 'corpus', 'regressions')
CLOCK_NAME = re.compile(r'OutlookExpressMessages[\d.]+ [\d.]+( \(\d+\))?\.pst')


def write_eml(path, subject, padding=0):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'w', newline='') as f:
        f.write('From: Ann <ann@example.org>\r\nTo: Bob <bob@example.org>\r\nSubject: %s\r\n'
                'Date: Sun, 06 Dec 2026 07:05:03 +0000\r\nContent-Type: text/plain\r\n\r\n'
                'Hello.\r\n%s' % (subject, ('x' * 76 + '\r\n') * padding))


def read_bytes(path):
    with open(path, 'rb') as f:
        return f.read()


def run(args, cwd=None, **kw):
    return subprocess.run([CONVERT] + args, cwd=cwd, capture_output=True, text=True, timeout=600, **kw)


def read_report(path):
    """The records of a JSON or TSV report as (path, folder, result, reason,
    warnings joined by "; ", index, offset) tuples, index and offset as text
    ("" for none)."""
    if path.endswith('.json'):
        with open(path) as f:
            doc = json.load(f)
        return doc, [(r['path'], r['storeFolder'], r['result'], r['reason'], '; '.join(r['warnings']),
                      '' if r['index'] is None else str(r['index']), '' if r['offset'] is None else str(r['offset']))
                     for r in doc['files']]
    with open(path, newline='') as f:
        rows = list(csv.reader(f, delimiter='\t', quoting=csv.QUOTE_NONE))
    # The columns of old reports come first, as they were; the .pst that
    # holds each message ("file") after them.
    assert rows[0] == ['path', 'store_folder', 'result', 'reason', 'warnings', 'index', 'offset', 'file'], rows[0]
    unescape = {'t': '\t', 'n': '\n', 'r': '\r', '\\': '\\'}
    return None, [tuple(re.sub(r'\\(.)', lambda m: unescape[m.group(1)], x) for x in row[:7]) for row in rows[1:]]


def pst_check(pst):
    p = subprocess.run([sys.executable, PST_CHECK, pst], capture_output=True, text=True)
    return p.returncode, p.stdout + p.stderr


def message_counts(pst, work):
    """{store folder: number of messages} as pffexport reads the file."""
    tree = interop.read_pffexport(pst, tempfile.mkdtemp(dir=work))
    return {k: len(v) for k, v in tree.items() if v}


def walk_order(root):
    """The window's walk as an oracle: breadth first, each folder in readdir
    order (files before sub-folders' files), links to folders not entered,
    names ending in .eml in any case (blanks trimmed)."""
    queue, found = [root], []
    while queue:
        folder = queue.pop(0)
        for name in os.listdir(folder):
            full = os.path.join(folder, name)
            if os.path.isdir(full):
                if not os.path.islink(full):
                    queue.append(full)
            elif name.lower().strip(' ').endswith('.eml'):
                found.append(full)
    return found


class CliTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix='verdaline-cli-')
        self.addCleanup(shutil.rmtree, self.work, True)

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def test_results_reports_and_exit_status(self):
        good = [self.path('src', 'Mail', n + '.eml') for n in ('a', 'B')] + [self.path('src', 'Mail', 'Sub', 'c.EML')]
        for p in good:
            write_eml(p, 'good ' + os.path.basename(p))
        # Mail is told by its content: a message under any name is taken,
        # a text that is no message is not.
        found_by_content = self.path('src', 'Mail', 'notes.txt')
        write_eml(found_by_content, 'a message whatever its name')
        with open(self.path('src', 'Mail', 'list.txt'), 'w') as f:
            f.write('milk\neggs\n')
        with open(os.path.join(SOURCE, 'tests', 'corpus', 'regression_expectations.json')) as f:
            expectations = json.load(f)
        warned = [n for n, e in expectations.items() if 'warnings_contain' in e][0]
        warned_path = self.path('src', 'Mail', warned)
        shutil.copy(os.path.join(REGRESSIONS, warned), warned_path)
        damaged = self.path('damaged.eml')
        with open(damaged, 'wb') as f:
            f.write(bytes(range(256)) * 8)
        missing = self.path('no-such.eml')
        # A folder nested so deep that its path is longer than the system
        # takes cannot be listed, even by root.
        deep = self.path('deep')
        write_eml(os.path.join(deep, 'top.eml'), 'above the unreadable folder')
        fd = os.open(deep, os.O_RDONLY)
        for _ in range(20):
            os.mkdir('d' * 250, dir_fd=fd)
            fd, parent = os.open('d' * 250, os.O_RDONLY, dir_fd=fd), fd
            os.close(parent)
        os.close(fd)
        out = self.path('out.pst')

        # Everything good: exit 0, every message where it belongs: a file in
        # a folder named after its own, a folder's loose files likewise.
        p = run(['-o', out, self.path('src', 'Mail', 'a.eml'), self.path('src', 'Mail', 'Sub')])
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertIn('stored: 2\n', p.stdout)
        self.assertIn('expunged: 0\noutput: %s\n' % out, p.stdout)
        self.assertEqual(pst_check(out)[0], 0, pst_check(out)[1])
        self.assertEqual(message_counts(out, self.work), {'Mail': 1, 'Sub': 1})

        # Never overwrites: exit 2, the file unchanged.
        before = read_bytes(out)
        p = run(['-o', out, good[0]])
        self.assertEqual(p.returncode, 2)
        self.assertRegex(p.stderr, r'^verdaline-convert: %s: ' % re.escape(out))
        self.assertEqual(read_bytes(out), before)

        # Folders, a damaged file and a missing path: exit 1, one record
        # each, in the order of the paths; folders as the window makes them.
        results = {}
        for ext in ('json', 'tsv'):
            report = self.path('report.' + ext)
            p = run(['-d', self.work, '--folders=path', '--report', report, self.path('src'), deep, damaged, missing])
            self.assertEqual(p.returncode, 1, p.stderr)
            for bad in (missing, damaged, os.path.join(deep, 'd' * 250)):
                self.assertIn('verdaline-convert: %s' % bad, p.stderr)
            doc, records = read_report(report)
            results[ext] = records
            results.setdefault('doc', doc)
            by_path = {r[0]: r for r in records}
            in_src = good + [found_by_content, warned_path]
            self.assertEqual(sorted(r[0] for r in records[:len(in_src)]), sorted(in_src))
            self.assertEqual([r[0] for r in records[-2:]], [damaged, missing])
            from_deep = records[len(in_src):-2]
            self.assertEqual(len(from_deep), 2, from_deep)
            self.assertIn((os.path.join(deep, 'top.eml'), 'stored'), [(r[0], r[2]) for r in from_deep])
            unreadable = [r for r in from_deep if r[2] != 'stored'][0]
            self.assertTrue(unreadable[0].startswith(os.path.join(deep, 'd' * 250, 'd' * 250)), unreadable[0][:600])
            self.assertEqual(unreadable[2], 'not-stored')
            self.assertTrue(unreadable[3].startswith('cannot list it: '), unreadable)
            self.assertEqual({r[5:] for r in records}, {('', '')})
            for g in good + [found_by_content]:
                self.assertEqual(by_path[g][1:4], (os.path.dirname(g).strip('/').replace('/', '\\'), 'stored', ''))
            warn = by_path[warned_path]
            self.assertEqual(warn[2], 'stored-with-warnings')
            self.assertIn(expectations[warned]['warnings_contain'], warn[4])
            for bad in (damaged, missing):
                self.assertEqual(by_path[bad][2], 'not-stored')
                self.assertTrue(by_path[bad][3], by_path[bad])
        self.assertEqual(results['json'], results['tsv'])
        doc = results['doc']  # the JSON one
        self.assertEqual((doc['stored'], doc['storedWithWarnings'], doc['notStored'], doc['expunged']), (5, 1, 3, 0))
        self.assertTrue(os.path.exists(doc['output']) and CLOCK_NAME.fullmatch(os.path.basename(doc['output'])))
        self.assertEqual(pst_check(doc['output'])[0], 0)

        # A name that is not UTF-8: the report is valid text that gives the
        # name's bytes back (a real "\xFF" in a name stays apart from the
        # byte), and the summary names the output with its own bytes.
        odd = os.path.join(os.fsencode(self.path('odd')), b'caf\xe9')
        write_eml(os.fsdecode(os.path.join(odd, b'm\xff.eml')), 'odd name')
        write_eml(os.fsdecode(os.path.join(odd, b'm\\xFF.eml')), 'backslash name')
        report = self.path('odd.json')
        p = subprocess.run([CONVERT, '-o', os.path.join(odd, b'out\xe9.pst'), '--report', report, odd],
                           capture_output=True)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertIn(b'output: ' + os.path.join(odd, b'out\xe9.pst') + b'\n', p.stdout)
        with open(report, encoding='utf-8') as f:
            paths = {os.fsencode(r['path']) for r in json.load(f)['files']}
        self.assertEqual(paths, {os.path.join(odd, b'm\xff.eml'), os.path.join(odd, b'm\\xFF.eml')})

        # Nothing could be written, or a wrong command line: exit 2, no file.
        os.makedirs(self.path('empty'))
        # An mbox whose one message was deleted in it: nothing to convert.
        gone = self.path('gone')
        with open(gone, 'w') as f:
            f.write('From ann@example.org Mon Dec  7 09:30:00 2026\nX-Mozilla-Status: 0009\nSubject: gone\n\nbye\n')
        cases = [[gone], [], ['-o', self.path('x.pst'), '-d', self.work, good[0]], ['--report', self.path('r.txt'), good[0]],
                 ['--bogus', good[0]], ['-o'], [self.path('empty')], ['-d', self.path('nowhere'), good[0]], [missing]]
        for args in cases:
            p = run(args, cwd=self.path('empty'))
            self.assertEqual(p.returncode, 2, (args, p.stderr))
            self.assertTrue(p.stderr.startswith('verdaline-convert: '), (args, p.stderr))
        self.assertEqual(os.listdir(self.path('empty')), [])
        self.assertFalse(os.path.exists(self.path('x.pst')) or os.path.exists(self.path('r.txt')))

        # Help and version; the default output is a clock-named file in the current folder.
        p = run(['--help'])
        self.assertEqual((p.returncode, p.stderr), (0, ''))
        self.assertTrue(p.stdout.startswith('Usage: verdaline-convert'))
        with open(os.path.join(SOURCE, 'CMakeLists.txt')) as f:
            version = re.search(r'project\(verdaline VERSION ([\d.]+)', f.read())
        self.assertEqual(run(['--version']).stdout, 'verdaline-convert %s\n' % version.group(1))
        p = run(['-q', good[0]], cwd=self.path('empty'))
        self.assertEqual((p.returncode, p.stdout, p.stderr), (0, '', ''))
        self.assertTrue(CLOCK_NAME.fullmatch(os.listdir(self.path('empty'))[0]), os.listdir(self.path('empty')))

    def test_interrupt_leaves_a_valid_file(self):
        for i in range(400):
            write_eml(self.path('many', 'f%02d' % (i % 7), 'm%03d.eml' % i), 'many %d' % i, padding=400)
        for signo, status in ((signal.SIGINT, 130), (signal.SIGTERM, 143)):
            with self.subTest(signal=signo):
                out, report = self.path('out%d.pst' % signo), self.path('r%d.json' % signo)
                proc = subprocess.Popen([CONVERT, '-o', out, '--report', report, self.path('many')],
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                # Plain progress lines come at every per cent: interrupt a little way in.
                for line in proc.stderr:
                    if re.match(r'verdaline-convert: ([2-9]|\d\d)% ', line):
                        proc.send_signal(signo)
                        break
                _, err = proc.communicate(timeout=300)
                self.assertEqual(proc.returncode, status, err)
                doc, records = read_report(report)
                stored = sum(1 for r in records if r[2] == 'stored')
                self.assertEqual(doc['status'], 'cancelled')
                self.assertEqual(len(records), 400)
                self.assertTrue(0 < stored < 400, stored)
                self.assertEqual({r[3] for r in records if r[2] != 'stored'}, {'not reached'})
                self.assertEqual(pst_check(out)[0], 0, pst_check(out)[1])
                self.assertEqual(sum(message_counts(out, self.work).values()), stored)

    def test_progress_only_on_a_terminal(self):
        for i in range(30):
            write_eml(self.path('src', 'm%02d.eml' % i), 'progress %d' % i)
        # Piped: plain lines, no carriage return, no escape sequence.
        p = run(['-o', self.path('piped.pst'), self.path('src')])
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertNotIn('\r', p.stderr)
        self.assertNotIn('\x1b', p.stderr)
        self.assertIn('verdaline-convert: 100% 30/30 messages', p.stderr)
        # Under a terminal: one line redrawn in place with count, rate and time left.
        master, slave = pty.openpty()
        proc = subprocess.Popen([CONVERT, '-o', self.path('tty.pst'), self.path('src')],
                                stdin=slave, stdout=subprocess.DEVNULL, stderr=slave)
        os.close(slave)
        seen = b''
        while True:
            ready, _, _ = select.select([master], [], [], 60)
            if not ready:
                break
            try:
                chunk = os.read(master, 4096)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
        os.close(master)
        self.assertEqual(proc.wait(timeout=60), 0)
        text = seen.decode()
        self.assertIn('\r[', text)
        self.assertRegex(text, r'30/30 messages  [\d.]+/[\d.]+ KB .*messages/s .*left')
        self.assertNotIn('verdaline-convert: 100%', text)

    def test_folder_paths_match_the_window(self):
        """With --folders=path a tree of .eml files lands as the window's Add
        Folder puts it; files that are no mail are passed over, and a link to
        a folder is not followed but reported."""
        root = self.path('tree')
        for n in ['A.EML', 'b.Eml', '.eml', 'd1/c.eml', 'd1/d2/d3/deep.eml', 'd2/e.eml', 'd1/d2/f.eml']:
            write_eml(os.path.join(root, n), n)
        for n in ('z.txt', 'x.eml.bak'):
            with open(os.path.join(root, n), 'w') as f:
                f.write('plain notes, no message\n')
        link = os.path.join(root, 'link-to-d1')
        os.symlink(os.path.join(root, 'd1'), link)
        expected = walk_order(root)
        self.assertEqual(len(expected), 7)
        p = run(['-o', self.path('w.pst'), '--folders=path', '--report', self.path('w.json'), root])
        self.assertEqual(p.returncode, 1, p.stderr)
        self.assertIn('verdaline-convert: %s: ' % link, p.stderr)
        records = read_report(self.path('w.json'))[1]
        self.assertEqual(sorted(r[0] for r in records if r[2] == 'stored'), sorted(expected))
        self.assertEqual([(r[0], r[2]) for r in records if r[2] != 'stored'], [(link, 'not-stored')])
        if os.access(HEADLESS, os.X_OK):
            out = subprocess.run([HEADLESS, '--add-folder', root, '--convert-to', self.work],
                                 capture_output=True, text=True, timeout=300).stdout
            self.assertIn('list: %d files' % len(expected), out)
            pst = [l[5:] for l in out.splitlines() if l.startswith('pst: ')][0]
            self.assertEqual(message_counts(pst, self.work), message_counts(self.path('w.pst'), self.work))

    def test_memory_does_not_grow_with_the_number_of_messages(self):
        # Peak memory of a run over 10,000 and over 70,000 small messages, a
        # thousand to a folder: what the run holds for each message (path,
        # result, report record, the file's index) must stay small, so
        # that a million messages fit in a few hundred megabytes. The
        # messages parsed ahead (up to 64 MB, more or fewer as the threads
        # run) come on top of either run alike, give or take ten megabytes.
        body = 'From: a@example.org\r\nSubject: s\r\n\r\n' + 'text of the message\r\n' * 60
        def peak(count):
            root = self.path('m%d' % count)
            for i in range(count):
                folder = os.path.join(root, 'folder%03d' % (i // 1000))
                if i % 1000 == 0:
                    os.makedirs(folder)
                with open(os.path.join(folder, 'message%07d.eml' % i), 'w', newline='') as f:
                    f.write(body)
            out = self.path('out%d' % count)
            os.mkdir(out)
            p = subprocess.Popen([CONVERT, '-q', '-d', out, '--report', os.path.join(out, 'r.tsv'), root],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            _, status, usage = os.wait4(p.pid, 0)
            self.assertEqual(os.waitstatus_to_exitcode(status), 0)
            shutil.rmtree(root)
            return usage.ru_maxrss * 1024
        small, large = peak(10000), peak(70000)
        per_message = (large - small) / 60000
        self.assertLess(per_message, 800, "peak %d bytes at 10,000 messages, %d at 70,000" % (small, large))


if __name__ == '__main__':
    missing = [t for t in (CONVERT,) if not os.access(t, os.X_OK)] + interop.missing_readers()
    if missing:
        print('SKIP: missing %s' % ', '.join(missing))
        sys.exit(77)
    unittest.main(verbosity=2)

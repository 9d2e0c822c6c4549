#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""build/verdaline-convert's options beyond a plain conversion: refusals said
before anything is written, reasons that name a path once, --files-from,
--dry-run against a real run, the summary's figures and --verify; and the
window started without a desktop.

usage: test_cli_options.py BUILD_DIR SOURCE_DIR [unittest arguments]
"""
import base64
import binascii
import hashlib
import json
import os
import random
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_cli  # noqa: E402  (takes BUILD_DIR and SOURCE_DIR off the command line)
from test_cli import BUILD, SOURCE, message_counts, read_report, write_eml  # noqa: E402

CONVERT = os.path.join(BUILD, 'verdaline-convert')
WINDOW = os.path.join(BUILD, 'verdaline')
PST_CHECK = os.path.join(SOURCE, 'tools', 'pst-check', 'pst-check')


def pst_check_code(pst):
    return subprocess.run([sys.executable, PST_CHECK, pst], capture_output=True).returncode


def run(args, convert=CONVERT, **kw):
    return subprocess.run([convert] + args, capture_output=True, text=True, timeout=600, **kw)


class OptionsTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix='verdaline-cli-options-')
        self.addCleanup(shutil.rmtree, self.work, True)
        self.msg = self.path('m.eml')
        write_eml(self.msg, 'one')

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def test_refusals_come_before_anything_is_written(self):
        folder = self.path('out')
        os.mkdir(folder)
        p = run(['-o', folder, self.msg])
        self.assertEqual(p.returncode, 2, p.stderr)
        self.assertIn('is a folder', p.stderr)
        self.assertIn('-d %s' % folder, p.stderr)
        self.assertEqual(os.listdir(folder), [])

        notes = self.path('notes.tsv')
        with open(notes, 'w') as f:
            f.write('my own notes\n')
        os.symlink(notes, self.path('link.tsv'))
        os.mkdir(self.path('dir.json'))
        os.symlink(self.work, self.path('alias'))
        pst = self.path('x.pst')
        cases = {'link': ['-o', pst, '--report', self.path('link.tsv')],
                 'not a report': ['-o', pst, '--report', notes],
                 'a folder': ['-o', pst, '--report', self.path('dir.json')],
                 'no folder': ['-o', pst, '--report', self.path('nowhere', 'r.json')],
                 'the output': ['-o', self.path('same.json'), '--report', self.path('alias', 'same.json')]}
        for name, args in cases.items():
            p = run(args + [self.msg])
            self.assertEqual((name, p.returncode, p.stdout), (name, 2, ''), p.stderr)
            self.assertTrue(p.stderr.startswith('verdaline-convert: %s' % self.work), p.stderr)
        self.assertFalse(os.path.exists(pst) or os.path.exists(self.path('same.json')))
        self.assertTrue(os.path.islink(self.path('link.tsv')))
        with open(notes) as f:
            self.assertEqual(f.read(), 'my own notes\n')
        # A report of an earlier run is replaced.
        for n in (1, 2):
            p = run(['-q', '-o', self.path('r%d.pst' % n), '--report', self.path('r.json'), self.msg])
            self.assertEqual(p.returncode, 0, p.stderr)
        with open(self.path('r.json')) as f:
            self.assertEqual(json.load(f)['output'], self.path('r2.pst'))

    def test_reasons_name_the_path_once(self):
        """Files that change between the scan and their import give the
        importer's own reasons, which name the file themselves; an output
        moved meanwhile is named where it is."""
        early = [self.path('big', 'b%03d.eml' % i) for i in range(100)]
        for p in early:
            write_eml(p, 'big', padding=13800)
        emptied, gone, mbox = self.path('emptied.eml'), self.path('gone.eml'), self.path('box')
        odd = os.fsdecode(os.path.join(os.fsencode(self.work), b'caf\xe9.eml'))  # not UTF-8
        for p in (emptied, gone, odd):
            write_eml(p, 'changes')
        with open(mbox, 'w') as f:
            f.write('From ann@example.org Mon Dec  7 09:30:00 2026\nSubject: a\n\nb\n')
        report = self.path('r.json')
        proc = subprocess.Popen([CONVERT, '-o', self.path('o.pst'), '--report', report] + early + [emptied, mbox, gone, odd],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, errors='surrogateescape')
        # Read ahead is bounded (64 MiB): after the first message the last
        # files are not open yet.
        for line in proc.stderr:
            if '%' in line:
                proc.send_signal(signal.SIGSTOP)
                break
        open(emptied, 'w').close()
        for p in (gone, mbox, odd):
            os.remove(p)
        # The output moved during the run too: the summary and the report
        # name where it is now.
        moved = self.path('moved.pst')
        os.rename(self.path('o.pst'), moved)
        proc.send_signal(signal.SIGCONT)
        out, err = proc.communicate(timeout=300)
        self.assertEqual(proc.returncode, 1, err)
        self.assertIn('output: %s\n' % moved, out)
        doc, recs = read_report(report)
        self.assertEqual(doc['output'], moved)
        self.assertEqual(pst_check_code(moved), 0)
        records = {r[0]: r for r in recs}
        for path in (emptied, gone, mbox, odd):
            lines = [l for l in err.splitlines() if path in l]
            self.assertEqual(len(lines), 1, err)
            self.assertEqual(lines[0].count(path), 1, lines[0])
            self.assertEqual(records[path][2], 'not-stored')
            self.assertTrue(records[path][3] and self.work not in records[path][3], records[path])
        self.assertNotIn('at byte', records[mbox][3])

    def test_files_from_in_the_order_given(self):
        a, b, c = (self.path('s', n + '.eml') for n in 'abc')
        odd = self.path('s', 'line\nbreak.eml')
        for p in (a, b, c, odd):
            write_eml(p, os.path.basename(p))
        report = self.path('r.tsv')
        p = run(['-o', self.path('1.pst'), '--report', report, a, '--files-from', '-', c], input='%s\n\n%s\n' % (b, b))
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertEqual([r[0] for r in read_report(report)[1]], [a, b, b, c])
        with open(self.path('list'), 'wb') as f:
            f.write(os.fsencode(odd) + b'\0\0' + os.fsencode(a) + b'\0')
        p = run(['-0', '--files-from', self.path('list'), '-o', self.path('2.pst'), '--report', report])
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertEqual([r[0] for r in read_report(report)[1]], [odd, a])
        for args in (['--files-from', self.path('no-list'), a], ['--files-from', '-'], ['-0', a]):
            p = run(['-o', self.path('3.pst')] + args, input='')
            self.assertEqual(p.returncode, 2, (args, p.stderr))
        self.assertFalse(os.path.exists(self.path('3.pst')))

    def test_dry_run_classifies_as_a_run_does(self):
        maildir = self.path('Maildir')
        for sub in ('cur', 'new', 'tmp'):
            os.makedirs(os.path.join(maildir, sub))
        write_eml(os.path.join(maildir, 'cur', '1.host:2,S'), 'kept')
        write_eml(os.path.join(maildir, 'cur', '2.host:2,ST'), 'deleted')
        write_eml(os.path.join(maildir, '.Sent', 'cur', '3.host:2,S'), 'sent')
        mbox = self.path('Archive')
        with open(mbox, 'w') as f:
            for status in ('0001', '0009', '0001'):
                f.write('From ann@example.org Mon Dec  7 09:30:00 2026\nX-Mozilla-Status: %s\nSubject: s\n\nb\n\n' % status)
        args = [maildir, mbox, self.path('missing')]
        dry = run(['--dry-run', '--report', self.path('dry.json')] + args, cwd=self.work)
        self.assertEqual(dry.returncode, 0, dry.stderr)
        self.assertEqual(sorted(os.listdir(self.work)), sorted(['m.eml', 'Maildir', 'Archive', 'dry.json']))
        listed = dict(re.findall(r'^(.+): (\d+ messages, \d+ expunged)$', dry.stdout, re.M))
        self.assertEqual(listed, {'Inbox': '1 messages, 1 expunged', 'Sent': '1 messages, 0 expunged',
                                  'Archive': '2 messages, 1 expunged'})
        self.assertIn('folders: 3\nmessages: 4\nexpunged: 2\nnot stored: 1\n', dry.stdout)
        real = run(['-o', self.path('real.pst'), '--report', self.path('real.json')] + args)
        self.assertEqual(real.returncode, 1, real.stderr)
        would, did = read_report(self.path('dry.json'))[1], read_report(self.path('real.json'))[1]
        self.assertEqual([r[2] for r in would].count('would-store'), 4)
        self.assertEqual([r[:2] + (r[2].replace('would-store', 'stored'),) + r[3:] for r in would], did)
        p = run(['--dry-run', self.path('missing')])
        self.assertEqual(p.returncode, 2, p.stderr)

    def test_summary_and_verify(self):
        for i in range(3):
            write_eml(self.path('src', 'A' if i else 'B', 'm%d.eml' % i), 'summary %d' % i)
        out = self.path('o.pst')
        p = run(['-o', out, self.path('src')])
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertIn('stored: 3\n', p.stdout)
        figures = dict(re.findall(r'^(messages|folders|size|elapsed|throughput): (.*)$', p.stdout, re.M))
        self.assertEqual((figures['messages'], figures['folders']), ('3', '2'))
        self.assertEqual(figures['size'], '%.1f MB (%d bytes)' % (os.path.getsize(out) / 1048576, os.path.getsize(out)))
        self.assertRegex(figures['elapsed'], r'^\d+\.\d\d s$')
        self.assertRegex(figures['throughput'], r'^\d+\.\d messages/s, \d+\.\d\d MB/s$')

        # The checker is the one beside the program.
        home = self.path('bin')
        os.mkdir(home)
        convert = shutil.copy(CONVERT, home)
        checker = os.path.join(home, 'verdaline-check')
        cases = [('exec %s %s "$1"' % (sys.executable, PST_CHECK), 0, 'finished'),
                 ('echo "$1: page 3: bad"; echo "block 9: bad"; exit 1', 1, 'verify-failed'),
                 (None, 1, 'finished')]
        for n, (script, status, run_status) in enumerate(cases):
            if script:
                with open(checker, 'w') as f:
                    f.write('#!/bin/sh\n%s\n' % script)
                os.chmod(checker, 0o755)
            elif os.path.exists(checker):
                os.remove(checker)
            pst, report = self.path('v%d.pst' % n), self.path('v%d.json' % n)
            p = run(['--verify', '-o', pst, '--report', report, self.msg], convert=convert)
            self.assertEqual(p.returncode, status, p.stderr)
            with open(report) as f:
                self.assertEqual(json.load(f)['status'], run_status)
            if status == 0:
                self.assertIn('verified: no problems\n', p.stdout)
            elif script:
                self.assertIn('verified: 2 problems\n', p.stdout)
                self.assertIn('verdaline-convert: %s: page 3: bad\n' % pst, p.stderr)
                self.assertIn('verdaline-convert: %s: block 9: bad\n' % pst, p.stderr)
            else:
                self.assertIn('%s: the checker is missing' % checker, p.stderr)

    def test_runs_started_in_one_second_each_get_a_file(self):
        """Eight runs into one folder, started in the same second, take the
        clock name and the next free ones: eight valid files, none lost."""
        out = self.path('out')
        os.mkdir(out)
        time.sleep(1.02 - time.time() % 1)  # just after a second starts, so all start within it
        procs = [subprocess.Popen([CONVERT, '-q', '-d', out, self.msg], stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, text=True) for _ in range(8)]
        results = [p.communicate(timeout=120) + (p.returncode,) for p in procs]
        self.assertEqual([r[2] for r in results], [0] * 8, [r[1] for r in results])
        files = sorted(os.listdir(out))
        self.assertEqual(len(files), 8, files)
        self.assertTrue(all(f.endswith('.pst') for f in files), files)
        self.assertGreaterEqual(sum(1 for f in files if re.search(r' \(\d+\)\.pst$', f)), 1, files)
        for f in files:
            p = subprocess.run([sys.executable, PST_CHECK, os.path.join(out, f)], capture_output=True, text=True)
            self.assertEqual(p.returncode, 0, p.stdout + p.stderr)

    def test_memory_and_value_limits_are_reasons(self):
        """Under a 600 MB address-space limit, a 150 MB text body and a
        message of 100,000 parts are refused for want of memory, and a text
        body past 4 GiB (a sparse file) because no .pst value holds it,
        before any of it is decoded: the run ends with a report naming every
        file and a valid file holding the rest."""
        src = self.path('src')
        for i in range(4):
            write_eml(self.path('src', 'm%d.eml' % i), 'small %d' % i)
        lines = ['From: a@example.org', 'Subject: parts', 'MIME-Version: 1.0',
                 'Content-Type: multipart/mixed; boundary="b"', '']
        for k in range(100000):
            lines += ['--b', 'Content-Type: text/plain', '', 'p%d' % k]
        with open(self.path('src', 'parts.eml'), 'w', newline='') as f:
            f.write('\r\n'.join(lines + ['--b--', '']))
        head = b'From: a@example.org\r\nSubject: %s\r\nContent-Type: text/plain\r\n\r\n'
        with open(self.path('src', 'text.eml'), 'wb') as f:
            f.write(head % b'text')
            f.write((b'x' * 998 + b'\r\n') * 150000)
        with open(self.path('src', 'huge.eml'), 'wb') as f:
            f.write(head % b'huge')
            f.truncate(4295000000)
        pst, report = self.path('o.pst'), self.path('r.json')

        def limit():
            resource.setrlimit(resource.RLIMIT_AS, (600 << 20, 600 << 20))
        p = subprocess.run([CONVERT, '-q', '-o', pst, '--report', report, src], preexec_fn=limit,
                           capture_output=True, text=True, timeout=600)
        self.assertEqual(p.returncode, 1, p.stderr)
        records = {os.path.basename(r[0]): r for r in read_report(report)[1]}
        self.assertEqual(sorted(records), ['huge.eml', 'm0.eml', 'm1.eml', 'm2.eml', 'm3.eml', 'parts.eml', 'text.eml'])
        for name in ('parts.eml', 'text.eml'):
            self.assertEqual(records[name][2], 'not-stored')
            self.assertIn('not enough memory', records[name][3])
        self.assertEqual(records['huge.eml'][2], 'not-stored')
        self.assertIn('too large for a .pst', records['huge.eml'][3])
        self.assertEqual(pst_check_code(pst), 0)
        self.assertEqual(sum(message_counts(pst, self.work).values()), 4)
        small = ['small %d' % i for i in range(4)]
        for tree in (test_cli.interop.read_readpst(pst, tempfile.mkdtemp(dir=self.work)),
                     test_cli.interop.read_pstextractor(pst, SOURCE)):
            self.assertEqual(sorted(m.subject for msgs in tree.values() for m in msgs), small)

    def test_large_attachments_are_stored_in_pieces(self):
        """A message with a 160 MB attachment in base64 and a 12 MB one in
        quoted-printable is stored under a 400 MB address-space limit that
        decoding the first whole would not fit in, the run's peak resident
        memory stays below half the first attachment, and the readers give
        both back byte for byte."""
        pattern = random.Random(3).randbytes(57 * 1000)
        line = base64.encodebytes(pattern).replace(b'\n', b'\r\n')
        second = random.Random(4).randbytes(12 << 20)
        first = hashlib.sha256()
        reps = (160 << 20) // len(pattern)
        os.makedirs(self.path('src'))
        with open(self.path('src', 'large.eml'), 'wb') as f:
            f.write(b'From: a@example.org\r\nSubject: large\r\nMIME-Version: 1.0\r\n'
                    b'Content-Type: multipart/mixed; boundary="b"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n'
                    b'see attached\r\n--b\r\nContent-Type: application/octet-stream; name="first.bin"\r\n'
                    b'Content-Transfer-Encoding: base64\r\n\r\n')
            for _ in range(reps):
                f.write(line)
                first.update(pattern)
            f.write(b'--b\r\nContent-Type: application/octet-stream; name="second.bin"\r\n'
                    b'Content-Transfer-Encoding: quoted-printable\r\n\r\n')
            f.write(binascii.b2a_qp(second, istext=False).replace(b'=\n', b'=\r\n'))
            f.write(b'\r\n--b--\r\n')
        pst = self.path('o.pst')

        def limit():
            resource.setrlimit(resource.RLIMIT_AS, (400 << 20, 400 << 20))
        p = subprocess.Popen([CONVERT, '-q', '-o', pst, self.path('src')], preexec_fn=limit,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        with p.stderr:
            err = p.stderr.read()
        # The child's own peak, which Popen.wait does not give.
        _, status, usage = os.wait4(p.pid, 0)
        p.returncode = os.waitstatus_to_exitcode(status)
        self.assertEqual(p.returncode, 0, err)
        self.assertLess(usage.ru_maxrss * 1024, (reps * len(pattern)) // 2)
        self.assertEqual(pst_check_code(pst), 0)
        want = [('first.bin', (reps * len(pattern), first.hexdigest())),
                ('second.bin', (len(second), hashlib.sha256(second).hexdigest()))]
        readers = [test_cli.interop.read_pffexport, test_cli.interop.read_readpst]
        if test_cli.interop.pstx_reader.available(SOURCE):
            readers.append(lambda path, work: test_cli.interop.read_pstextractor(path, SOURCE))
        for reader in readers:
            tree = reader(pst, tempfile.mkdtemp(dir=self.work))
            got = {m.subject: [(a.name, a.digest or (len(a.data), hashlib.sha256(a.data).hexdigest()))
                               for a in m.attachments] for msgs in tree.values() for m in msgs}
            self.assertEqual(sorted(got['large']), want, reader)

    def test_a_killed_run_leaves_the_report_so_far(self):
        """The report is written now and then while the run goes on: a run
        killed in the middle (as an abort would end it) leaves a whole
        report naming every message, those stored so far as stored."""
        src = self.path('many')
        for i in range(300):
            write_eml(self.path('many', 'm%03d.eml' % i), 'm%d' % i, padding=200)
        report = self.path('r.json')
        env = dict(os.environ, VERDALINE_REPORT_SECONDS='0')
        proc = subprocess.Popen([CONVERT, '-o', self.path('o.pst'), '--report', report, src], env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        for line in proc.stderr:
            if '%' in line and os.path.exists(report):
                proc.send_signal(signal.SIGKILL)
                break
        proc.communicate(timeout=120)
        self.assertEqual(proc.returncode, -signal.SIGKILL)
        doc, records = read_report(report)
        self.assertEqual(doc['status'], 'running')
        self.assertEqual(len(records), 300)
        results = [r[2] for r in records]
        self.assertGreater(results.count('stored'), 0)
        self.assertEqual(results.count('stored') + results.count('not-stored'), 300)
        self.assertTrue(all(r[3] == 'not reached' for r in records if r[2] == 'not-stored'))

    def test_help_names_the_options(self):
        text = run(['--help']).stdout
        for option in ('--files-from', '--null', '--dry-run', '--verify'):
            self.assertIn(option, text)

    @unittest.skipUnless(os.access(WINDOW, os.X_OK), 'no window program')
    def test_window_without_a_desktop(self):
        env = {k: v for k, v in os.environ.items() if k not in ('DISPLAY', 'WAYLAND_DISPLAY', 'QT_QPA_PLATFORM')}
        p = subprocess.run([WINDOW], env=env, capture_output=True, text=True, timeout=60)
        self.assertEqual(p.returncode, 1, p.stderr)
        self.assertIn('verdaline-convert', p.stderr)


if __name__ == '__main__':
    if not os.access(CONVERT, os.X_OK):
        print('SKIP: missing %s' % CONVERT)
        sys.exit(77)
    unittest.main(verbosity=2)

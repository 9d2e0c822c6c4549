#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end conversions of mail as people keep it (a Dovecot Maildir++,
mbox files made by formail and mutt, a Thunderbird profile, every mbox form,
a Google Takeout export, Apple Mail's exports and .emlx files) by
build/verdaline-convert, read back by pst-check and the independent readers:
every message once, in its folder, with its state and its body, and a report
that accounts for each one.

usage: test_sources.py BUILD_DIR SOURCE_DIR [unittest arguments]
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

BUILD, SOURCE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
del sys.argv[1:3]
sys.path.insert(0, os.path.join(SOURCE, 'tests', 'interop'))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import interop  # noqa: E402
import mail_layouts  # noqa: E402

CONVERT = os.path.join(BUILD, 'verdaline-convert')
PST_CHECK = os.path.join(SOURCE, 'tools', 'pst-check', 'pst-check')

MSGFLAG_READ, MSGFLAG_UNSENT = 0x01, 0x08
PR_MESSAGE_FLAGS, PR_FLAG_STATUS, PR_LAST_VERB = 0x0E070003, 0x10900003, 0x10810003
FLAG_MARKED, VERB_REPLY, VERB_FORWARD = 2, 102, 104


def int_prop(props, tag):
    raw = props.get(tag)
    return None if raw is None else int.from_bytes(raw[:4], 'little')


def multi_strings(raw):
    """A multi-valued Unicode string as stored: a count, then each string's
    offset, then the UTF-16LE strings."""
    if raw is None or len(raw) < 4:
        return None
    count = int.from_bytes(raw[:4], 'little')
    if 4 + 4 * count > len(raw):
        return None
    starts = [int.from_bytes(raw[4 + 4 * i:8 + 4 * i], 'little') for i in range(count)] + [len(raw)]
    try:
        return [raw[starts[i]:starts[i + 1]].decode('utf-16-le').rstrip('\0') for i in range(count)]
    except (UnicodeDecodeError, IndexError):
        return None


def categories(props):
    """The Keywords named property: the one multi-valued string among the
    named properties (0x8000 and above) that this writer gives a message."""
    found = [multi_strings(v) for t, v in props.items() if t >> 16 >= 0x8000 and t & 0xFFFF == 0x101F]
    found = [f for f in found if f is not None]
    return found[0] if len(found) == 1 else ([] if not found else found)


def body_lines(text):
    return (text or '').replace('\r\n', '\n').split('\n')


class SourcesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix='verdaline-sources-')
        os.chmod(cls.work, 0o755)  # Dovecot runs as nobody under root and must reach its home

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, True)

    def run_convert(self, name, layout, *options, report_ext='json'):
        """Converts the layout; checks the exit status, the file's structure
        and the summary; returns (the .pst, the report: JSON as read, TSV as
        rows of fields)."""
        out, report = os.path.join(self.work, name + '.pst'), os.path.join(self.work, name + '.' + report_ext)
        p = subprocess.run([CONVERT, '-o', out, '--report', report] + list(options) + layout.paths,
                           capture_output=True, text=True, timeout=300)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertIn('expunged: %d\n' % layout.expunged, p.stdout)
        rc, text = self.pst_check(out)
        self.assertEqual(rc, 0, text)
        with open(report, newline='') as f:
            if report_ext == 'json':
                return out, json.load(f)
            return out, [line.split('\t') for line in f.read().split('\n') if line]

    def convert(self, name, layout, *options):
        """One conversion of the layout, checked against what it holds by the
        report and the readers; returns (the report, the store's name as
        readpst names its top folder)."""
        out, doc = self.run_convert(name, layout, *options)
        records = doc['files']
        self.assertEqual((doc['stored'], doc['storedWithWarnings'], doc['notStored'], doc['expunged']),
                         (len(layout.messages), 0, 0, layout.expunged), records)
        self.assertEqual(len(records), len(layout.messages) + layout.expunged)
        self.check_positions(layout, records)
        tree = interop.read_pffexport(out, tempfile.mkdtemp(dir=self.work))
        self.check_messages(layout, tree, 'pffexport')
        self.check_states(layout, tree)
        rp = tempfile.mkdtemp(dir=self.work)
        self.check_messages(layout, interop.read_readpst(out, rp), 'readpst')
        if interop.pstx_reader.available(SOURCE):
            self.check_messages(layout, interop.read_pstextractor(out, SOURCE), 'pst-extractor', bodies=False)
        return doc, os.listdir(os.path.join(rp, 'readpst'))

    @staticmethod
    def pst_check(pst):
        p = subprocess.run([sys.executable, PST_CHECK, pst], capture_output=True, text=True)
        return p.returncode, p.stdout + p.stderr

    def check_positions(self, layout, records):
        """Records of a file of many messages count from 0 in file order and
        point at their "From " line; an .emlx's point past its count line;
        a file that is one message has neither."""
        by_file = {}
        for r in records:
            if r['path'] in layout.mbox_files:
                by_file.setdefault(r['path'], []).append(r)
            elif r['path'].endswith('.emlx'):
                with open(r['path'], 'rb') as f:
                    count = f.readline()
                self.assertEqual((r['index'], r['offset']), (None, len(count)), r)
                self.assertTrue(count.strip().isdigit(), count)
            else:
                self.assertEqual((r['index'], r['offset']), (None, None), r)
        self.assertEqual(sorted(by_file), sorted(layout.mbox_files))
        for path, rs in by_file.items():
            with open(path, 'rb') as f:
                data = f.read()
            self.assertEqual([r['index'] for r in rs], list(range(len(rs))), path)
            offsets = [r['offset'] for r in rs]
            self.assertEqual(offsets, sorted(offsets), path)
            for at in offsets:
                self.assertTrue(data[at:at + 5] == b'From ' and (at == 0 or data[at - 1:at] == b'\n'), (path, at))

    def check_messages(self, layout, tree, reader, bodies=True):
        """Every message once, in its folder; its body line intact."""
        got = {folder: sorted(m.subject for m in msgs) for folder, msgs in tree.items() if msgs}
        want = {}
        for e in layout.messages:
            want.setdefault(e.folder, []).append(e.subject)
        self.assertEqual(got, {k: sorted(v) for k, v in want.items()}, reader)
        if bodies:
            msgs = {m.subject: m for folder in tree.values() for m in folder}
            for e in layout.messages:
                self.assertIn(e.body, body_lines(msgs[e.subject].body_text), (reader, e.subject))

    def check_states(self, layout, tree):
        msgs = {m.subject: m for folder in tree.values() for m in folder}
        for e in layout.messages:
            props = msgs[e.subject].props
            flags = int_prop(props, PR_MESSAGE_FLAGS)
            state = {'read': bool(flags & MSGFLAG_READ), 'draft': bool(flags & MSGFLAG_UNSENT),
                     'flagged': int_prop(props, PR_FLAG_STATUS) == FLAG_MARKED,
                     'answered': int_prop(props, PR_LAST_VERB) == VERB_REPLY,
                     'forwarded': int_prop(props, PR_LAST_VERB) == VERB_FORWARD,
                     'categories': categories(props)}
            wanted = {k: getattr(e, k) for k in state}
            self.assertEqual(state, wanted, e.subject)

    def layout(self, builder, *programs):
        missing = [p for p in programs if not mail_layouts.have(p)]
        if missing:
            self.skipTest('missing ' + ', '.join(missing))
        root = tempfile.mkdtemp(dir=self.work)
        return builder(root)

    def test_dovecot_maildir(self):
        layout = self.layout(mail_layouts.dovecot_maildir, 'doveadm', 'setpriv')
        doc, _ = self.convert('dovecot', layout)
        expunged = [r for r in doc['files'] if r['result'] == 'expunged']
        self.assertEqual(len(expunged), 1)
        self.assertIn(':2,', expunged[0]['path'])
        self.assertEqual(expunged[0]['storeFolder'], 'Inbox')
        # With --folders=path the same messages sit under the path of the
        # folder that holds them: the Maildir itself and its subfolder.
        out, doc = self.run_convert('dovecot-path', layout, '--folders=path')
        top = layout.paths[0].strip('/')
        folders = {}
        for r in doc['files']:
            if r['result'] == 'stored':
                folders[r['storeFolder']] = folders.get(r['storeFolder'], 0) + 1
        top = top.replace('/', '\\')
        self.assertEqual(folders, {top: 5, top + '\\.Projekte.&ANw-bersicht': 1})
        tree = interop.read_pffexport(out, tempfile.mkdtemp(dir=self.work))
        self.assertEqual({k: len(v) for k, v in tree.items() if v},
                         {k.replace('\\', '/'): n for k, n in folders.items()})

    def test_formail_and_mutt_mbox(self):
        self.convert('formail', self.layout(mail_layouts.formail_mutt_mbox, 'formail', 'mutt', 'script'))

    def test_thunderbird_profile(self):
        layout = self.layout(mail_layouts.thunderbird_profile)
        doc, store = self.convert('thunderbird', layout, '--store-name', 'Thunderbird – Ann')
        self.assertEqual(store, ['Thunderbird – Ann'])
        self.assertEqual([r['result'] for r in doc['files'] if r['path'].endswith('/Inbox')],
                         ['stored', 'stored', 'expunged', 'stored', 'stored', 'stored'])

    def test_mbox_forms(self):
        layout = self.layout(mail_layouts.mbox_forms)
        doc, _ = self.convert('forms', layout)
        self.assertIn('in\u2216out', {r['storeFolder'] for r in doc['files']})
        # The TSV report: the same records, index and offset after the
        # warnings (the .pst holding the message follows them).
        _, rows = self.run_convert('forms-tsv', layout, report_ext='tsv')
        self.assertEqual(rows[0][4:], ['warnings', 'index', 'offset', 'file'])
        self.assertEqual([(r[0].replace('\\\\', '\\'), r[2], r[5], r[6]) for r in rows[1:]],
                         [(r['path'], r['result'], str(r['index']), str(r['offset'])) for r in doc['files']])

    def test_takeout(self):
        self.convert('takeout', self.layout(mail_layouts.takeout_mbox))

    def test_damaged_entry_is_named_by_its_place(self):
        """A damaged message in an mbox fails alone: exit 1, its index and
        the byte of its "From " line on standard error and in the report."""
        box = os.path.join(tempfile.mkdtemp(dir=self.work), 'box')
        entries = [mail_layouts._mbox_entry(mail_layouts.message('ok-0', 'Fine.')).encode(),
                   b'From ann@example.org Mon Dec  7 09:30:00 2026\n' + bytes(range(256)) * 4 + b'\n',
                   mail_layouts._mbox_entry(mail_layouts.message('ok-2', 'Fine too.')).encode()]
        with open(box, 'wb') as f:
            f.write(b''.join(entries))
        at = len(entries[0])
        report = box + '.json'
        p = subprocess.run([CONVERT, '-o', box + '.pst', '--report', report, box], capture_output=True, text=True)
        self.assertEqual(p.returncode, 1, p.stderr)
        self.assertIn('verdaline-convert: %s: message 1 at byte %d: ' % (box, at), p.stderr)
        with open(report) as f:
            records = json.load(f)['files']
        self.assertEqual([(r['result'], r['index'], r['offset']) for r in records],
                         [('stored', 0, 0), ('not-stored', 1, at), ('stored', 2, at + len(entries[1]))])
        self.assertTrue(records[1]['reason'] and box not in records[1]['reason'], records[1])

    def test_apple_mail(self):
        self.convert('apple', self.layout(mail_layouts.apple_mail))


if __name__ == '__main__':
    missing = [t for t in (CONVERT,) if not os.access(t, os.X_OK)] + interop.missing_readers()
    if missing:
        print('SKIP: missing %s' % ', '.join(missing))
        sys.exit(77)
    unittest.main(verbosity=2)

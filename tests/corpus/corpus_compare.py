#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Imports every message of the open mail corpus and compares what a mail
client would show with what Python's standard email package finds in the
same file: subject, sender, recipients and their kinds, date, plain and HTML
body, attachment names and bytes, embedded messages.

    corpus_compare.py BINARY_DIR SOURCE_DIR [--mode json|pst|regressions] [--list-new]

--mode json reads the importer's output directly (eml2json); --mode pst
(the default) goes through the .pst writer and back out through pffexport,
and then checks that readpst, reading the same file, finds every message
with the same subject and attachment bytes. --mode regressions imports the
hand-made messages of regressions/ and compares them with the fields
regression_expectations.json gives for each.
Prints the share of messages and of fields that match and the reason for
each difference; exits 1 when a difference is not listed in
known_differences.tsv, 77 when the corpus or a tool is missing.
"""
import base64
import datetime
import email
import email.policy
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass, field

FIELDS = ['subject', 'sender', 'recipients', 'date', 'plain', 'html', 'attachments', 'embedded']


@dataclass
class Seen:
    subject: str = None
    sender: str = None
    recipients: list = field(default_factory=list)   # [(kind, address)]
    date: datetime.datetime = None
    plain: str = None
    html: str = None
    attachments: list = field(default_factory=list)  # [(name, sha1)]
    embedded: list = field(default_factory=list)     # [subject]
    unknown: set = field(default_factory=set)        # fields Python could not read


# ------------------------------------------------------------ expectations

def _sha(data):
    # Line ends differ between readers of text parts; the bytes otherwise not.
    return hashlib.sha1((data or b'').replace(b'\r\n', b'\n')).hexdigest()[:12]


def _content_text(part):
    try:
        return part.get_content()
    except Exception:  # unknown charsets and broken encodings
        payload = part.get_payload(decode=True) or b''
        return payload.decode('utf-8', 'replace')


def _leaves(part, bodies):
    ctype = part.get_content_type()
    if ctype == 'message/rfc822' and part.is_multipart():
        inner = part.get_payload(0)
        yield ('embedded', str(inner.get('subject', '') or ''))
        return
    if part.get_content_maintype() == 'message' and part.is_multipart():
        # message/delivery-status and friends: Python splits them into header
        # blocks and has no bytes to compare with.
        yield ('file', (part.get_filename(), '*'))
        return
    if part.is_multipart():
        for sub in part.iter_parts():
            yield from _leaves(sub, bodies)
        return
    if any(part is b for b in bodies):
        return
    yield ('file', (part.get_filename(), _sha(part.get_payload(decode=True))))


def expected_from(path):
    with open(path, 'rb') as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)
    s = Seen()
    try:
        s.subject = str(msg['subject']) if msg['subject'] is not None else None
    except Exception:
        s.unknown.add('subject')
    try:
        who = msg['sender'] or msg['from']
        if who is not None and who.addresses:
            s.sender = who.addresses[0].addr_spec
    except Exception:
        s.unknown.add('sender')
    try:
        for kind in ('to', 'cc', 'bcc'):
            for h in msg.get_all(kind, []):
                for a in h.addresses:
                    if a.addr_spec:
                        s.recipients.append((kind, a.addr_spec.lower()))
    except Exception:
        s.unknown.add('recipients')
    try:
        if msg['date'] is not None and msg['date'].datetime is not None:
            d = msg['date'].datetime
            if d.tzinfo is None:
                d = d.replace(tzinfo=datetime.timezone.utc)
            s.date = d.astimezone(datetime.timezone.utc)
    except Exception:
        s.unknown.add('date')
    bodies = []
    try:
        plain = msg.get_body(preferencelist=('plain',))
        if plain is not None:
            s.plain = _content_text(plain)
            bodies.append(plain)
        html = msg.get_body(preferencelist=('html',))
        if html is not None:
            s.html = _content_text(html)
            bodies.append(html)
    except Exception:
        s.unknown.update({'plain', 'html'})
    try:
        for kind, value in _leaves(msg, bodies):
            (s.embedded if kind == 'embedded' else s.attachments).append(value)
    except Exception:
        s.unknown.update({'attachments', 'embedded'})
    return s


# ------------------------------------------------------------ our side

_CODECS = {65001: 'utf-8', 20127: 'ascii', 28591: 'latin-1', 1252: 'cp1252', 20866: 'koi8-r',
           21866: 'koi8-u', 50220: 'iso2022_jp', 932: 'cp932', 936: 'gbk', 54936: 'gb18030',
           950: 'cp950', 949: 'cp949', 51949: 'euc_kr', 51932: 'euc_jp', 65000: 'utf-7',
           874: 'cp874', 1200: 'utf-16-le', 1201: 'utf-16-be', 38598: 'iso8859_8'}
for _cp in range(1250, 1259):
    _CODECS[_cp] = 'cp%d' % _cp
for _n, _cp in ((2, 28592), (3, 28593), (4, 28594), (5, 28595), (6, 28596), (7, 28597),
                (8, 28598), (9, 28599), (13, 28603), (15, 28605)):
    _CODECS[_cp] = 'iso8859_%d' % _n


def _html_text(raw, codepage):
    if raw is None:
        return None
    return raw.decode(_CODECS.get(codepage or 65001, 'utf-8'), 'replace')


def _filetime(ticks):
    if ticks is None:
        return None
    t = datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc) + \
        datetime.timedelta(microseconds=ticks // 10)
    return t.replace(microsecond=0)


def seen_from_json(m):
    p = m['props']
    b = lambda tag: base64.b64decode(p[tag]['base64']) if tag in p else None
    s = Seen(subject=p.get('0037001F'), sender=p.get('0C1F001F'))
    s.recipients = [({1: 'to', 2: 'cc', 3: 'bcc'}.get(r.get('0C150003'), '?'),
                     (r.get('3003001F') or '').lower()) for r in m['recipients']]
    s.date = _filetime(p.get('00390040'))
    s.plain = p.get('1000001F')
    s.html = _html_text(b('10130102'), p.get('3FDE0003'))
    for a in m['attachments']:
        if 'embedded' in a:
            s.embedded.append(a['embedded']['props'].get('0037001F', ''))
        else:
            s.attachments.append((a['props'].get('3707001F'),
                                  _sha(base64.b64decode(a.get('data', '')))))
    return s


def seen_from_pff(m):
    """From an interop.Message read back by pffexport."""
    p = m.props
    s = Seen(subject=m.subject, sender=m.sender_email)
    s.recipients = [(k, (a or '').lower()) for k, _n, a in m.recipients]
    s.date = m.submit_time
    s.plain = m.body_text
    cp = int.from_bytes(p[0x3FDE0003], 'little') if 0x3FDE0003 in p else None
    s.html = _html_text(p.get(0x10130102), cp) if 0x10130102 in p else m.body_html
    for a in m.attachments:
        if a.embedded is not None:
            s.embedded.append(a.embedded.subject or '')
        else:
            s.attachments.append((a.name, _sha(a.data)))
    if os.path.basename(m.source).startswith('Meeting'):
        # pffexport leaves a meeting's recipients and attachments out;
        # check_readpst reads the attachments instead.
        s.unknown = {'recipients', 'attachments'}
    return s


# ------------------------------------------------------------ comparing

def _norm(text):
    if text is None:
        return None
    text = text.replace('\r\n', '\n').replace('\r', '\n')
    return '\n'.join(line.rstrip() for line in text.split('\n')).strip('\n \0')


def _squash(text):
    return None if text is None else re.sub(r'\s+', ' ', text).strip()


def compare(exp, got):
    """{field: reason} for the fields that differ; None marks a match."""
    out = {}
    if _squash(exp.subject) != _squash(got.subject) and not (exp.subject is None and got.subject is None):
        out['subject'] = 'subject %r, expected %r' % (got.subject, exp.subject)
    else:
        out['subject'] = None
    if exp.sender is not None and (got.sender or '').lower() != exp.sender.lower():
        out['sender'] = 'sender %r, expected %r' % (got.sender, exp.sender)
    else:
        out['sender'] = None
    out['recipients'] = None if sorted(exp.recipients) == sorted(got.recipients) else \
        'recipients %r, expected %r' % (sorted(got.recipients), sorted(exp.recipients))
    out['date'] = None if exp.date is None or exp.date == got.date else \
        'date %s, expected %s' % (got.date, exp.date)
    out['plain'] = None if (_norm(exp.plain) or '') == (_norm(got.plain) or '') \
        else 'plain body differs (%s vs %s expected)' % (
            'none' if got.plain is None else '%d chars' % len(got.plain),
            'none' if exp.plain is None else '%d chars' % len(exp.plain))
    out['html'] = None if (_squash(exp.html) or '') == (_squash(got.html) or '') else \
        'HTML body differs (%s vs %s expected)' % (
            'none' if got.html is None else '%d chars' % len(got.html),
            'none' if exp.html is None else '%d chars' % len(exp.html))
    want = sorted(exp.attachments, key=lambda x: (x[1] == '*', x[1]))
    have = sorted(got.attachments, key=lambda x: x[1])
    ok = len(want) == len(have) and all(
        (w[1] == h[1] or w[1] == '*') and (w[0] is None or w[0] == h[0]) for w, h in zip(want, have))
    out['attachments'] = None if ok else 'attachments %r, expected %r' % (have, want)
    out['embedded'] = None if sorted(_squash(x) for x in exp.embedded) == \
        sorted(_squash(x) for x in got.embedded) else \
        'embedded %r, expected %r' % (got.embedded, exp.embedded)
    for f in exp.unknown | got.unknown:
        out[f] = None
    return out


def check_readpst(tree, got):
    """Problems where readpst's reading of the file differs from pffexport's
    (got: name -> Seen). readpst shows recipients by name only and copies the
    stored header block, so only the subject and attachment bytes are compared.
    Where pffexport shows no attachments (meetings), readpst's go into `got`."""
    problems = []
    seen = {}
    for folder, msgs in tree.items():
        if msgs and folder.endswith('.eml'):
            seen[folder.split('/')[-1]] = msgs[0]
    for name, pff in sorted(got.items()):
        rp = seen.get(name)
        if rp is None:
            problems.append('%s: not found by readpst' % name)
            continue
        if _squash(rp.subject or '') != _squash(pff.subject or ''):
            problems.append('%s: subject %r, pffexport %r' % (name, rp.subject, pff.subject))
        have = sorted(_sha(a.data) for a in rp.attachments if a.data is not None)
        if 'attachments' in pff.unknown:
            # A meeting's attachments: readpst's reading is the one compared.
            pff.attachments = [(a.name, _sha(a.data)) for a in rp.attachments if a.data is not None]
            pff.unknown.discard('attachments')
        want = sorted(h for _n, h in pff.attachments)
        if want != have:
            problems.append('%s: %d attachment(s) by bytes, pffexport %d' % (name, len(have), len(want)))
    return problems


# ------------------------------------------------------------ regressions

def _regression_fields(d):
    """The fields regression_expectations.json can name, from one eml2json line."""
    m = d['message']
    p = m['props']
    b = lambda tag: base64.b64decode(p[tag]['base64']) if tag in p else None
    kinds = {1: 'to', 2: 'cc', 3: 'bcc'}
    f = {
        'subject': p.get('0037001F'),
        'sender': p.get('0C1F001F'),
        'sender_name': p.get('0C1A001F'),
        'recipients': [[kinds.get(r.get('0C150003'), '?'), r.get('3001001F'), r.get('3003001F')]
                       for r in m['recipients']],
        'plain': _norm(p.get('1000001F')),
        'html': _squash(_html_text(b('10130102'), p.get('3FDE0003'))),
        'attachments': [[a['props'].get('3707001F'), _sha(base64.b64decode(a.get('data', '')))]
                        for a in m['attachments'] if 'embedded' not in a],
        'embedded': [{'subject': a['embedded']['props'].get('0037001F'),
                      'plain': _norm(a['embedded']['props'].get('1000001F'))}
                     for a in m['attachments'] if 'embedded' in a],
        'message_id': p.get('1035001F'),
        'in_reply_to': p.get('1042001F'),
        'importance': p.get('00170003'),
        'sensitivity': p.get('00360003'),
        'conversation_index': b('00710102').hex() if '00710102' in p else None,
        'message_class': p.get('001A001F'),
        'original_subject': p.get('0049001F'),
    }
    # Meeting messages: start and end (PidLidAppointmentStartWhole/EndWhole)
    # in UTC, place, and the global object id, from the named properties.
    n = m.get('named', {})
    appt, meeting = '0220060000000000C000000000000046', '90DAD86E0B451B1098DA00AA003F1305'
    for name, key in (('meeting_start', appt + ':820D'), ('meeting_end', appt + ':820E')):
        if key in n:
            f[name] = (datetime.datetime(1601, 1, 1) +
                       datetime.timedelta(microseconds=n[key] // 10)).strftime('%Y-%m-%dT%H:%M:%SZ')
    f['location'] = n.get(appt + ':8208')
    gid = n.get(meeting + ':0003')
    f['global_object_id'] = base64.b64decode(gid['base64']).hex().upper() if gid else None
    return f


def _regression_match(field, want, got, warnings):
    if field == 'warnings_contain':
        return any(want in w for w in warnings)
    have = got.get(field)
    if field == 'html':
        return have == _squash(want)
    if field == 'plain':
        return have == _norm(want)
    if field == 'embedded':
        return len(want) == len(have) and all(
            all(h.get(k) == (_norm(v) if k == 'plain' else v) for k, v in w.items())
            for w, h in zip(want, have))
    return have == want


def check_regressions_in_readers(binary_dir, source_dir, here, expected):
    """The regression messages whose expectations say "readers": written to
    a .pst and read back by pffexport, readpst and pst-extractor, each of
    which must show the expected attachments (name and bytes; pst-extractor
    gives a digest, matched through pffexport's bytes), and pffexport the
    embedded messages. Returns the problems; None when a tool is missing."""
    names = sorted(n for n, e in expected.items() if e.get('readers'))
    sys.path.insert(0, os.path.join(source_dir, 'tests', 'interop'))
    import interop
    tool = os.path.join(binary_dir, 'eml2pst')
    if not names or not os.path.exists(tool) or interop.missing_readers() or \
            not interop.pstx_reader.available(source_dir):
        return None
    work = tempfile.mkdtemp(prefix='regressions-')
    problems = []
    try:
        pst = os.path.join(work, 'regressions.pst')
        subprocess.run([tool, '--folder-per-file', pst] + [os.path.join(here, 'regressions', n) for n in names],
                       capture_output=True, check=False)
        if not os.path.exists(pst):
            return ['eml2pst wrote no file']
        trees = {'pffexport': interop.read_pffexport(pst, work), 'readpst': interop.read_readpst(pst, work),
                 'pst-extractor': interop.read_pstextractor(pst, source_dir)}
        for name in names:
            want = sorted(tuple(a) for a in expected[name].get('attachments', []))
            by_digest = {}
            for reader, tree in trees.items():
                msgs = tree.get(name) or []
                if not msgs:
                    problems.append('%s: not found by %s' % (name, reader))
                    continue
                # readpst shows an RTF body as a file of its own.
                files = [a for a in msgs[0].attachments if a.embedded is None and a.name != 'rtf-body.rtf']
                if reader == 'pst-extractor':
                    have = sorted((a.name, by_digest.get(a.digest)) for a in files if a.digest)
                else:
                    have = sorted((a.name, _sha(a.data)) for a in files)
                    by_digest.update({(len(a.data), hashlib.sha256(a.data).hexdigest()): _sha(a.data)
                                      for a in files if a.data is not None})
                if have != want:
                    problems.append('%s: %s shows attachments %r, expected %r' % (name, reader, have, want))
            msgs = trees['pffexport'].get(name) or []
            inner = [a.embedded.subject for a in msgs[0].attachments if a.embedded] if msgs else []
            if inner != [e['subject'] for e in expected[name].get('embedded', [])]:
                problems.append('%s: pffexport shows embedded messages %r' % (name, inner))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return problems


def check_regressions(binary_dir, here):
    """Each message of regressions/ named in regression_expectations.json,
    compared field by field with what a careful mail client shows."""
    import json
    tool = os.path.join(binary_dir, 'eml2json')
    if not os.path.exists(tool):
        print('SKIP: %s not built' % tool)
        return 77
    with open(os.path.join(here, 'regression_expectations.json'), encoding='utf-8') as f:
        expected = json.load(f)
    folder = os.path.join(here, 'regressions')
    out = subprocess.run([tool] + [os.path.join(folder, n) for n in sorted(expected)],
                         capture_output=True, check=False).stdout.decode('utf-8')
    results = {os.path.basename(d['file']): d for d in map(json.loads, out.splitlines())}
    failures = 0
    print('%-32s %-7s %s' % ('message', 'fields', 'fault'))
    for name in sorted(expected):
        want = dict(expected[name])
        fault = want.pop('fault', '')
        want.pop('readers', None)
        d = results.get(name, {})
        if 'message' not in d:
            bad = list(want)
        else:
            got = _regression_fields(d)
            bad = [k for k, v in want.items() if not _regression_match(k, v, got, d.get('warnings', []))]
        print('%-32s %d/%-5d %s' % (name, len(want) - len(bad), len(want), fault))
        for k in bad:
            shown = _regression_fields(d).get(k) if 'message' in d else d.get('error')
            print('    %s: got %r, expected %r' % (k, shown, want[k]))
        failures += bool(bad)
    print('%d of %d regression messages read as expected' % (len(expected) - failures, len(expected)))
    problems = check_regressions_in_readers(binary_dir, os.path.dirname(os.path.dirname(here)), here, expected)
    if problems is None:
        print('readers: not checked (eml2pst, pffexport, readpst or pst-extractor missing)')
    elif not problems:
        print('readers: pffexport, readpst and pst-extractor show what was expected')
    for x in problems or []:
        print('  readers: ' + x)
    return 1 if failures or problems else 0


def load_known(path):
    known = {}
    if os.path.exists(path):
        with open(path, encoding='utf-8') as f:
            for line in f:
                if not line.strip() or line.startswith('#'):
                    continue
                name, fld, reason = (line.rstrip('\n').split('\t') + ['', ''])[:3]
                known[(name, fld)] = reason
    return known


def main():
    args = [a for a in sys.argv[1:] if not a.startswith('--')]
    mode = 'pst'
    for a in sys.argv[1:]:
        if a.startswith('--mode='):
            mode = a.split('=', 1)[1]
    list_new = '--list-new' in sys.argv
    binary_dir, source_dir = args[0], args[1]
    if mode == 'regressions':
        return check_regressions(binary_dir, os.path.dirname(os.path.abspath(__file__)))
    corpus = os.path.normpath(os.path.join(source_dir, '..', 'shared', 'corpus', 'open'))
    if not os.path.isdir(corpus):
        print('SKIP: mail corpus %s not found' % corpus)
        return 77
    files = sorted(os.path.join(corpus, f) for f in os.listdir(corpus) if f.endswith('.eml'))
    here = os.path.dirname(os.path.abspath(__file__))
    got = {}
    readpst_problems = None
    work = tempfile.mkdtemp(prefix='corpus-')
    try:
        if mode == 'json':
            tool = os.path.join(binary_dir, 'eml2json')
            if not os.path.exists(tool):
                print('SKIP: %s not built' % tool)
                return 77
            import json
            out = subprocess.run([tool] + files, capture_output=True, check=False).stdout
            for line in out.decode('utf-8').splitlines():
                d = json.loads(line)
                if 'message' in d:
                    got[os.path.basename(d['file'])] = seen_from_json(d['message'])
        else:
            tool = os.path.join(binary_dir, 'eml2pst')
            if not os.path.exists(tool) or shutil.which('pffexport') is None:
                print('SKIP: eml2pst or pffexport missing')
                return 77
            sys.path.insert(0, os.path.join(source_dir, 'tests', 'interop'))
            import interop
            pst = os.path.join(work, 'corpus.pst')
            p = subprocess.run([tool, '--folder-per-file', pst] + files, capture_output=True,
                               text=True, errors='replace')
            if not os.path.exists(pst):
                print('FAIL: eml2pst wrote no file: %s' % p.stderr[-500:])
                return 1
            tree = interop.read_pffexport(pst, work)
            for folder, msgs in tree.items():
                if msgs and folder.endswith('.eml'):
                    got[folder.split('/')[-1]] = seen_from_pff(msgs[0])
            if shutil.which('readpst') is not None:
                readpst_problems = check_readpst(interop.read_readpst(pst, work), got)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    known = load_known(os.path.join(here, 'known_differences.tsv'))
    totals = {f: [0, 0] for f in FIELDS}
    whole = 0
    unexpected, fixed = [], []
    for path in files:
        name = os.path.basename(path)
        exp = expected_from(path)
        if name not in got:
            diffs = {f: 'message not imported' for f in FIELDS}
        else:
            diffs = compare(exp, got[name])
        for f in FIELDS:
            totals[f][1] += 1
            if diffs.get(f) is None:
                totals[f][0] += 1
                if (name, f) in known:
                    fixed.append('%s\t%s' % (name, f))
        if all(diffs.get(f) is None for f in FIELDS):
            whole += 1
        for f in FIELDS:
            if diffs.get(f) is not None:
                tag = 'known' if (name, f) in known else 'NEW'
                print('%-5s %s: %s: %s%s' % (tag, name, f, diffs[f],
                                              ('  [' + known[(name, f)] + ']') if (name, f) in known and known[(name, f)] else ''))
                if (name, f) not in known:
                    unexpected.append('%s\t%s\t%s' % (name, f, diffs[f]))
    print()
    print('mode %s: %d of %d messages match in every field (%.1f%%)' % (
        mode, whole, len(files), 100.0 * whole / max(1, len(files))))
    for f in FIELDS:
        ok, n = totals[f]
        print('  %-12s %3d/%3d  %.1f%%' % (f, ok, n, 100.0 * ok / max(1, n)))
    if fixed:
        print('listed as known but now matching (remove from known_differences.tsv):')
        for x in fixed:
            print('  ' + x)
    failed = False
    if readpst_problems is not None:
        missing = [x for x in readpst_problems if x.endswith('not found by readpst')]
        print('readpst: %d of %d messages agree with pffexport on subject and attachment bytes' % (
            len(got) - len(readpst_problems), len(got)))
        for x in readpst_problems:
            print('  readpst: ' + x)
        failed = bool(missing)
    if unexpected:
        print('%d difference(s) not listed as known' % len(unexpected))
        if list_new:
            for x in unexpected:
                print(x)
        return 1
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())

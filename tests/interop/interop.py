# SPDX-License-Identifier: GPL-3.0-or-later
"""Reading .pst files through independent readers, into comparable Python
structures.

    import interop
    missing = interop.missing_readers()          # [] when pffexport/readpst/pffinfo exist
    tree = interop.read_pffexport(pst, workdir)  # {folder path: [Message, ...]}
    tree = interop.read_readpst(pst, workdir)
    tree = interop.read_pstextractor(pst, source_dir)  # .errors: folders it threw on
    info = interop.pffinfo(pst)                  # pffinfo -a output (text)
    diffs = interop.compare(expected, tree)      # [] when the reader saw what was written

Folder paths are relative to "Top of Personal Folders" (the IPM subtree),
joined with "/"; folders outside it (search root, spam search folder) keep
their own top-level name. Both readers' trees use the same paths, so
expected content can be written once and compared against either.

A Message holds what both readers can show: subject, sender name and
address, recipients as (kind, name, address) with kind "to"/"cc"/"bcc",
submit and delivery times (datetime, UTC, whole seconds), plain and HTML
bodies (str, or None), attachments [(name, bytes)] in order (pst-extractor
gives (length, sha256) instead of bytes), embedded messages, the transport
header block, and (pffexport only) every property as {tag: bytes}.
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.realpath(__file__)))
from interop_model import Attachment, Message, IPM_SUBTREE  # noqa: E402,F401
from pff_reader import read_pffexport, parse_item_values  # noqa: E402,F401
from readpst_reader import read_readpst  # noqa: E402,F401
import pstx_reader  # noqa: E402,F401
from pstx_reader import read_pstextractor  # noqa: E402,F401


def outlook_sample(source_dir):
    """Path of the Outlook-made sample file shipped with pst-extractor."""
    return os.path.join(source_dir, '.deps', 'node_modules', 'pst-extractor', 'example',
                        'testdata', 'enron.pst')


def missing_readers():
    return [t for t in ('pffexport', 'readpst', 'pffinfo') if shutil.which(t) is None]


def pffinfo(pst):
    """pffinfo -a, parsed: {'file_size', 'file_type', 'encryption', 'folders',
    'unallocated_pages': [(offset, size)], 'unallocated_data': [(offset, size)],
    'text'}."""
    p = subprocess.run(['pffinfo', '-a', pst], capture_output=True, text=True, errors='replace')
    text = p.stdout + p.stderr
    info = {'text': text, 'unallocated_pages': [], 'unallocated_data': []}
    section = None
    for line in text.splitlines():
        s = line.strip()
        if s.startswith('File size:'):
            info['file_size'] = int(s.split(':')[1].split()[0])
        elif s.startswith('File type:'):
            info['file_type'] = s.split(':', 1)[1].strip()
        elif s.startswith('Encryption type:'):
            info['encryption'] = s.split(':', 1)[1].strip()
        elif s.startswith('Folders:'):
            info['folders'] = [x.strip() for x in s.split(':', 1)[1].split(',')]
        elif s.startswith('Unallocated page blocks'):
            section = 'unallocated_pages'
        elif s.startswith('Unallocated data blocks'):
            section = 'unallocated_data'
        elif section and re.match(r'^\d+ \(0x[0-9a-f]+\) - \d+', s):
            start = int(s.split()[0])
            size = int(s.rsplit('size:', 1)[1])
            info[section].append((start, size))
    return info



def _norm_text(s):
    if s is None:
        return ''
    return s.replace('\r\n', '\n').rstrip('\n\0 ')


def _unfold(headers):
    return re.sub(r'\r?\n[ \t]+', ' ', (headers or '').replace('\r\n', '\n'))


def _att_key(a):
    if a.digest:
        return a.digest
    return (len(a.data), hashlib.sha256(a.data).hexdigest())


def compare(expected, tree, reader, check_bodies=True):
    """Differences between expected {path: [Message]} and a reader's tree.

    Messages are matched by subject within each folder. Only the fields set
    in the expected Message are compared.
    """
    diffs = []
    for path, msgs in expected.items():
        got = tree.get(path)
        if got is None:
            diffs.append('%s: folder %r missing' % (reader, path))
            continue
        if len(got) != len(msgs):
            diffs.append('%s: folder %r has %d messages, expected %d' % (reader, path, len(got), len(msgs)))
        pool = list(got)
        for exp in msgs:
            match = next((g for g in pool if (g.subject or '') == (exp.subject or '')), None)
            if match is None:
                diffs.append('%s: %r: no message with subject %r' % (reader, path, exp.subject))
                continue
            pool.remove(match)
            diffs += ['%s: %r %r: %s' % (reader, path, exp.subject, d) for d in _compare_msg(exp, match, check_bodies)]
    return diffs


def _compare_msg(exp, got, check_bodies):
    d = []
    if exp.sender_email is not None and (got.sender_email or '').lower() != exp.sender_email.lower():
        d.append('sender %r, expected %r' % (got.sender_email, exp.sender_email))
    if exp.recipients:
        if got.recipients and all(a is None for _k, _n, a in got.recipients):
            want = sorted((k, n or '') for k, n, _a in exp.recipients if k != 'bcc')
            have = sorted((k, n or '') for k, n, _a in got.recipients)
        else:
            want = sorted((k, (a or '').lower()) for k, _n, a in exp.recipients)
            have = sorted((k, (a or '').lower()) for k, _n, a in got.recipients)
        if want != have:
            d.append('recipients %r, expected %r' % (have, want))
    if exp.submit_time is not None and got.submit_time != exp.submit_time:
        d.append('submit time %s, expected %s' % (got.submit_time, exp.submit_time))
    if check_bodies and exp.body_text is not None and _norm_text(got.body_text) != _norm_text(exp.body_text):
        d.append('plain body differs (%d chars vs %d expected)' % (len(got.body_text or ''), len(exp.body_text)))
    if check_bodies and exp.body_html is not None and _norm_text(got.body_html) != _norm_text(exp.body_html):
        d.append('HTML body differs (%d chars vs %d expected)' % (len(got.body_html or ''), len(exp.body_html)))
    if exp.headers is not None and _unfold(exp.headers) not in _unfold(got.headers):
        d.append('header block lacks what was written (%d chars read)' % len(got.headers or ''))
    if exp.attachments:
        have = [(a.name, _att_key(a)) for a in got.attachments if a.data is not None or a.digest]
        want = [(a.name, _att_key(a)) for a in exp.attachments if a.data is not None or a.digest]
        if sorted(x[1] for x in have) != sorted(x[1] for x in want):
            d.append('attachment contents differ (%d vs %d expected)' % (len(have), len(want)))
        if sorted(x[0] for x in have) != sorted(x[0] for x in want):
            d.append('attachment names %r, expected %r' % ([x[0] for x in have], [x[0] for x in want]))
    return d

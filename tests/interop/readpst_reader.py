# SPDX-License-Identifier: GPL-3.0-or-later
"""Reading readpst's one-file-per-message output (libpst)."""
import datetime
import email
import email.header
import email.policy
import email.utils
import os
import re
import shutil
import subprocess

from interop_model import Attachment, Message


def _header(msg, raw, name):
    """A header's text; readpst copies stored header blocks as they are, and
    when the modern parser refuses one (a CR inside an address, say) the raw
    value, decoded as far as it goes, is used instead."""
    try:
        v = msg.get(name)
        return None if v is None else str(v)
    except (ValueError, TypeError, IndexError):
        v = raw.get(name)
        if v is None:
            return None
        try:
            return str(email.header.make_header(email.header.decode_header(str(v))))
        except (ValueError, LookupError, UnicodeError):
            return str(v)


def _rp_message(path, attachments):
    with open(path, 'rb') as f:
        data = f.read()
    msg = email.message_from_bytes(data, policy=email.policy.default)
    raw = email.message_from_bytes(data, policy=email.policy.compat32)
    m = Message(source=path)
    m.headers = re.split(rb'\r?\n\r?\n', data, 1)[0].decode('utf-8', 'replace')
    m.subject = _header(msg, raw, 'subject')
    frm = _header(msg, raw, 'from')
    if frm:
        name, addr = email.utils.parseaddr(str(frm))
        m.sender_name, m.sender_email = name or addr, addr
    # readpst writes To/Cc from PidTagDisplayTo/Cc: names, and an address
    # only where the transport headers it copies give one.
    for kind in ('to', 'cc', 'bcc'):
        values = [_header(msg, raw, kind)] if _header(msg, raw, kind) else []
        for name, addr in email.utils.getaddresses(values):
            if '@' not in addr:
                name, addr = (name + ' ' + addr).strip(), None
            if name or addr:
                m.recipients.append((kind, name, addr))
    date = _header(msg, raw, 'date')
    if date:
        try:
            m.submit_time = email.utils.parsedate_to_datetime(str(date).split(' (')[0]).astimezone(
                datetime.timezone.utc)
        except (TypeError, ValueError):
            pass
    for part in msg.walk():
        if part.is_multipart():
            continue
        ctype = part.get_content_type()
        if part.get_filename():
            continue
        try:
            text = part.get_content()
        except (LookupError, KeyError, ValueError, AttributeError):
            text = (part.get_payload(decode=True) or b'').decode('utf-8', 'replace')
        if ctype == 'text/plain' and m.body_text is None:
            m.body_text = text
        elif ctype == 'text/html' and m.body_html is None:
            m.body_html = text
    for name, data in attachments:
        m.attachments.append(Attachment(name=name, data=data))
    return m


def read_readpst(pst, workdir):
    """Runs readpst -j 0 -S -8 -D and reads one file per message."""
    out = os.path.join(workdir, 'readpst')
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    p = subprocess.run(['readpst', '-j', '0', '-S', '-8', '-D', '-o', out, pst],
                       capture_output=True, text=True, errors='replace')
    if p.returncode != 0:
        raise RuntimeError('readpst failed (exit %d): %s' % (p.returncode, p.stderr[-500:]))
    tree = {}
    for dirpath, dirnames, files in os.walk(out):
        dirnames.sort()
        rel = os.path.relpath(dirpath, out)
        if rel == '.':
            continue
        parts = rel.split(os.sep)[1:]      # the top folder is the store itself
        key = '/'.join(parts)
        msgs = sorted((f for f in files if f.isdigit()), key=int)
        atts = {}
        for f in files:
            m = re.match(r'^(\d+)-(.*)$', f)
            if m:
                with open(os.path.join(dirpath, f), 'rb') as fh:
                    atts.setdefault(m.group(1), []).append((m.group(2), fh.read()))
        tree.setdefault(key, [])
        for f in msgs:
            tree[key].append(_rp_message(os.path.join(dirpath, f), atts.get(f, [])))
    return tree

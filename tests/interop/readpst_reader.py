"""Reading readpst's one-file-per-message output (libpst)."""
import datetime
import email
import email.policy
import email.utils
import os
import re
import shutil
import subprocess

from interop_model import Attachment, Message


def _rp_message(path, attachments):
    with open(path, 'rb') as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)
    m = Message(source=path)
    m.subject = msg.get('subject')
    frm = msg.get('from')
    if frm:
        name, addr = email.utils.parseaddr(str(frm))
        m.sender_name, m.sender_email = name or addr, addr
    # readpst writes To/Cc from PidTagDisplayTo/Cc: names, and an address
    # only where the transport headers it copies give one.
    for kind in ('to', 'cc', 'bcc'):
        for name, addr in email.utils.getaddresses([str(v) for v in msg.get_all(kind, [])]):
            if '@' not in addr:
                name, addr = (name + ' ' + addr).strip(), None
            if name or addr:
                m.recipients.append((kind, name, addr))
    date = msg.get('date')
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
        except (LookupError, KeyError):
            text = part.get_payload(decode=True).decode('utf-8', 'replace')
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

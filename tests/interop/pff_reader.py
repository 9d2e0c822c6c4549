# SPDX-License-Identifier: GPL-3.0-or-later
"""Reading pffexport's export folder (libpff)."""
import datetime
import os
import re
import shutil
import subprocess

from interop_model import Attachment, Message, IPM_SUBTREE


_HEX_LINE = re.compile(r'^0x[0-9a-f]{8}: ((?:[0-9a-f]{2}\s{1,2})+)')


def parse_item_values(path):
    """ItemValues.txt as a list of sets (rows), each {tag: bytes}."""
    sets = []
    cur = None
    entry_type = value_type = None
    in_value = False
    buf = bytearray()

    def flush():
        nonlocal buf, in_value
        if in_value and cur is not None and entry_type is not None:
            cur[(entry_type << 16) | value_type] = bytes(buf)
        buf = bytearray()
        in_value = False

    with open(path, encoding='utf-8', errors='replace') as f:
        for line in f:
            line = line.rstrip('\n')
            if line.startswith('Set:'):
                flush()
                n = int(line.split(':')[1])
                while len(sets) <= n:
                    sets.append({})
                cur = sets[n]
            elif line.startswith('Entry type:'):
                flush()
                entry_type = int(line.split(':')[1].strip(), 16)
            elif line.startswith('Value type:'):
                value_type = int(line.split(':')[1].strip(), 16)
            elif line.startswith('Value:'):
                in_value = True
                rest = line[6:].strip()
                if rest and not rest.startswith('0x'):
                    in_value = False
            elif in_value:
                m = _HEX_LINE.match(line)
                if m:
                    buf += bytes.fromhex(m.group(1).replace(' ', ''))
                elif not line.strip():
                    flush()
        flush()
    return sets


_TIME = re.compile(r'(\w{3} \d{1,2}, \d{4} \d\d:\d\d:\d\d)')


def _pff_time(text):
    m = _TIME.search(text or '')
    if not m:
        return None
    t = datetime.datetime.strptime(m.group(1), '%b %d, %Y %H:%M:%S')
    return t.replace(tzinfo=datetime.timezone.utc)


def _kv_file(path):
    """'Key:<tabs>value' lines; blank lines separate records."""
    records, cur = [], {}
    if not os.path.exists(path):
        return records
    with open(path, encoding='utf-8', errors='replace') as f:
        for line in f:
            line = line.rstrip('\n')
            if not line.strip():
                if cur:
                    records.append(cur)
                    cur = {}
                continue
            if ':' in line:
                k, v = line.split(':', 1)
                cur[k.strip()] = v.strip()
    if cur:
        records.append(cur)
    return records


def _read_text(path):
    if not os.path.exists(path):
        return None
    with open(path, 'rb') as f:
        raw = f.read()
    return raw.decode('utf-8', errors='replace')


def _str_prop(props, tag):
    v = props.get(tag)
    if v is None:
        return None
    text = v.decode('utf-16-le', errors='replace').rstrip('\0')
    # A subject with a prefix starts with U+0001 and the prefix length.
    if text[:1] == '\x01' and len(text) >= 2:
        text = text[2:]
    return text


def _time_prop(props, tag):
    v = props.get(tag)
    if v is None or len(v) != 8:
        return None
    ticks = int.from_bytes(v, 'little')
    t = datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc) + \
        datetime.timedelta(microseconds=ticks // 10)
    return t.replace(microsecond=0)


_KINDS = {1: 'to', 2: 'cc', 3: 'bcc'}


def _pff_message(d):
    # pffexport's text files garble characters outside the BMP, so the
    # fields are taken from the raw property values where it gives them.
    m = Message(source=d)
    hdr = {}
    for rec in _kv_file(os.path.join(d, 'OutlookHeaders.txt')):
        hdr.update(rec)
    m.subject = hdr.get('Subject')
    m.sender_name = hdr.get('Sender name')
    m.sender_email = hdr.get('Sender email address')
    m.submit_time = _pff_time(hdr.get('Client submit time'))
    m.delivery_time = _pff_time(hdr.get('Delivery time'))
    for rec in _kv_file(os.path.join(d, 'Recipients.txt')):
        kind = rec.get('Recipient type', '').lower()
        m.recipients.append((kind, rec.get('Display name'), rec.get('Email address')))
    m.body_text = _read_text(os.path.join(d, 'Message.txt'))
    m.body_html = _read_text(os.path.join(d, 'Message.html'))
    iv = os.path.join(d, 'ItemValues.txt')
    if os.path.exists(iv):
        sets = parse_item_values(iv)
        m.props = sets[0] if sets else {}
    p = m.props
    m.subject = _str_prop(p, 0x0037001F) if 0x0037001F in p else m.subject
    m.sender_name = _str_prop(p, 0x0C1A001F) or m.sender_name
    m.sender_email = _str_prop(p, 0x0C1F001F) or m.sender_email
    m.submit_time = _time_prop(p, 0x00390040) or m.submit_time
    m.delivery_time = _time_prop(p, 0x0E060040) or m.delivery_time
    if 0x1000001F in p:
        m.body_text = _str_prop(p, 0x1000001F)
    m.headers = _str_prop(p, 0x007D001F)
    riv = os.path.join(d, 'RecipientsItemValues.txt')
    if os.path.exists(riv):
        m.recipients = []
        for rp in parse_item_values(riv):
            kind = _KINDS.get(int.from_bytes(rp.get(0x0C150003, b'\0'), 'little') & 0xFF, '?')
            addr = _str_prop(rp, 0x39FE001F) or _str_prop(rp, 0x3003001F)
            m.recipients.append((kind, _str_prop(rp, 0x3001001F), addr))
    adir = os.path.join(d, 'Attachments')
    if os.path.isdir(adir):
        rows = []
        if os.path.exists(os.path.join(adir, 'ItemValues.txt')):
            rows = parse_item_values(os.path.join(adir, 'ItemValues.txt'))

        def number(e):
            k = re.match(r'^(?:Attachment)?0*(\d+)', e)
            return int(k.group(1)) if k else 0

        entries = sorted((e for e in os.listdir(adir) if e != 'ItemValues.txt'), key=number)
        for e in entries:
            p = os.path.join(adir, e)
            row = rows[number(e) - 1] if 0 < number(e) <= len(rows) else {}
            if os.path.isdir(p):
                sub = p
                inner = sorted(x for x in os.listdir(p) if x.startswith('Message'))
                if inner and not os.path.exists(os.path.join(p, 'OutlookHeaders.txt')):
                    sub = os.path.join(p, inner[0])
                name = (_str_prop(row, 0x3001001F) or _str_prop(row, 0x3707001F) or
                        _str_prop(row, 0x3704001F) or e)
                m.attachments.append(Attachment(name=name, embedded=_pff_message(sub)))
            else:
                with open(p, 'rb') as f:
                    m.attachments.append(Attachment(name=re.sub(r'^\d+_', '', e), data=f.read()))
    return m


def _folder_name(d, fallback):
    iv = os.path.join(d, 'ItemValues.txt')
    if os.path.exists(iv):
        sets = parse_item_values(iv)
        if sets and 0x3001001F in sets[0]:
            return _str_prop(sets[0], 0x3001001F)
    return fallback


def _is_item(name):
    # pffexport names a message MessageNNNNN and a meeting message
    # (IPM.Schedule.Meeting.*) MeetingNNNNN; of the latter it exports
    # neither recipients nor attachments.
    return name[:7] in ('Message', 'Meeting') and name[7:].isdigit()


def read_pffexport(pst, workdir, ipm_name=IPM_SUBTREE):
    """Runs pffexport -f all -d -q and reads its export folder."""
    target = os.path.join(workdir, 'pff')
    shutil.rmtree(target + '.export', ignore_errors=True)
    p = subprocess.run(['pffexport', '-f', 'all', '-d', '-q', '-t', target, pst],
                       capture_output=True, text=True, errors='replace')
    root = target + '.export'
    if not os.path.isdir(root):
        raise RuntimeError('pffexport wrote nothing (exit %d): %s' % (p.returncode, p.stderr[-500:]))
    tree = {}
    for dirpath, dirnames, _files in os.walk(root):
        dirnames.sort()
        rel = os.path.relpath(dirpath, root)
        parts = [] if rel == '.' else rel.split(os.sep)
        if any(_is_item(x) for x in parts) or 'Attachments' in parts:
            continue
        msgs = [x for x in dirnames if _is_item(x)]
        parts = [_folder_name(os.path.join(root, *parts[:i + 1]), x) for i, x in enumerate(parts)]
        if parts and parts[0] == ipm_name:
            parts = parts[1:]
        if not parts and rel != '.':
            key = ''
        else:
            key = '/'.join(parts)
        if rel == '.':
            continue
        tree.setdefault(key, [])
        for x in sorted(msgs):
            tree[key].append(_pff_message(os.path.join(dirpath, x)))
    return tree

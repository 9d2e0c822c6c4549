# SPDX-License-Identifier: GPL-3.0-or-later
"""Reading a .pst through pst-extractor (npm), via pstx_reader.js."""
import datetime
import json
import os
import shutil
import subprocess

from interop_model import Attachment, Message, IPM_SUBTREE

_KINDS = {1: 'to', 2: 'cc', 3: 'bcc'}
_SCRIPT = os.path.join(os.path.dirname(os.path.realpath(__file__)), 'pstx_reader.js')


class Tree(dict):
    """{folder path: [Message]}; .errors holds {path: text} for the folders
    pst-extractor threw on (what it read before the error is kept)."""
    errors = None


def node_modules(source_dir):
    return os.path.join(source_dir, '.deps', 'node_modules')


def available(source_dir):
    return shutil.which('node') is not None and \
        os.path.isdir(os.path.join(node_modules(source_dir), 'pst-extractor'))


def _message(d):
    m = Message(source='pst-extractor')
    m.subject = d['subject']
    m.sender_name = d['senderName'] or None
    m.sender_email = d['senderEmail'] or None
    if d['submitTime']:
        m.submit_time = datetime.datetime.fromisoformat(d['submitTime'].replace('Z', '+00:00')).replace(microsecond=0)
    m.body_text = d['body']
    m.body_html = d['bodyHtml']
    m.headers = d['headers']
    m.recipients = [(_KINDS.get(k, '?'), n, a or None) for k, n, a in d['recipients'] or []]
    for a in d['attachments']:
        if 'embedded' in a:
            m.attachments.append(Attachment(name=a['name'], embedded=Message(subject=a['embedded'])))
        else:
            m.attachments.append(Attachment(name=a['name'], digest=(a['length'], a['sha256'])))
    return m


def read_pstextractor(pst, source_dir, recipients=True, ipm_name=IPM_SUBTREE):
    """Runs pstx_reader.js; paths as in the other readers' trees (relative to
    the IPM subtree, other top folders under their own name)."""
    cmd = ['node', _SCRIPT] + ([] if recipients else ['--no-recipients']) + [pst]
    env = dict(os.environ, NODE_PATH=node_modules(source_dir))
    p = subprocess.run(cmd, capture_output=True, env=env)
    if p.returncode != 0:
        raise RuntimeError('pst-extractor failed (exit %d): %s' % (p.returncode, p.stderr[-800:].decode('utf-8', 'replace')))
    tree = Tree()
    tree.errors = {}
    for f in json.loads(p.stdout)['folders']:
        parts = f['path']
        if not parts:
            continue                    # the root folder itself
        if parts[0] == ipm_name:
            parts = parts[1:]
        key = '/'.join(parts)
        tree.setdefault(key, []).extend(_message(x) for x in f['messages'])
        if f['error']:
            tree.errors[key] = f['error']
    return tree

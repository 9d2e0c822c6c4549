# SPDX-License-Identifier: GPL-3.0-or-later
"""The comparable form of what a reader shows of a message."""
import datetime
from dataclasses import dataclass, field

IPM_SUBTREE = 'Top of Personal Folders'


@dataclass
class Attachment:
    name: str
    data: bytes = None
    embedded: 'Message' = None
    digest: tuple = None     # (length, sha256 hex) where a reader gives only that


@dataclass
class Message:
    subject: str = None
    sender_name: str = None
    sender_email: str = None
    recipients: list = field(default_factory=list)    # [(kind, name, address)]
    submit_time: datetime.datetime = None
    delivery_time: datetime.datetime = None
    body_text: str = None
    body_html: str = None
    attachments: list = field(default_factory=list)   # [Attachment]
    headers: str = None                               # transport header block
    props: dict = field(default_factory=dict)         # {tag: bytes}, pffexport only
    source: str = ''                                  # where the reader put it

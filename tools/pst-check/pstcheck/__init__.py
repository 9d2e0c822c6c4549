# SPDX-License-Identifier: GPL-3.0-or-later
"""Structural checker for Unicode .pst files ([MS-PST]).

check_file(path) returns a Report; no problems means the file passed every
rule checked. The rules are those the format document states for the node
database (header, pages, allocation maps, B-trees, blocks), the LTP layer
(heaps, BTHs, property and table contexts) and the messaging layer (store,
name-to-ID map, search objects, folders, messages, attachments), plus the
habits of Outlook's own files that its readers rely on. Where Outlook's own
files depart from the letter of the document, the departure is a note that
says what the file holds, not a problem. README.md lists every rule.
"""

from .report import Report
from .ndb import Ndb
from .ltp import Ltp
from .messaging import check_messaging


def check_file(path, strict_leaks=False, ndb_only=False):
    """Checks one file; returns its Report (problems, notes, stats)."""
    report = Report(strict_leaks=strict_leaks)
    with open(path, 'rb') as f:
        data = f.read()
    ndb = Ndb(data, report, messaging=not ndb_only)
    if ndb.usable and not ndb_only:
        ltp = Ltp(ndb, report)
        check_messaging(ndb, ltp, report)
    elif ndb.usable:
        ltp = Ltp(ndb, report)
        for nid in sorted(ndb.nbt):
            node = ltp.node(nid)
            if node is not None:
                for sn in node.subnodes:
                    node.child(sn)
    return report

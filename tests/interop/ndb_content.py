# SPDX-License-Identifier: GPL-3.0-or-later
"""What pst-stress-ndb writes into node k (mirrors tools/pst-stress/ndb_main.cpp)."""

_SIZES = [100, 8176, 8177, 3000, 20000, 64, 8176 * 1030]


def size_of(k):
    return _SIZES[k % 7]


def stream(k, size):
    return bytes(((k * 31 + i * 7) ^ (i >> 9)) & 0xFF for i in range(size))


def subnode_streams(k):
    """{subnode nid: bytes} of node k (empty when it has none)."""
    if k % 3 != 2:
        return {}
    return {((j + 1) << 5) | 0x05: stream(k + j, 500 + j * 9000) for j in range(3)}


def verify(path, at_least):
    """Checks that the first `at_least` nodes hold what was written; returns
    a list of differences."""
    import damage
    with open(path, 'rb') as f:
        ndb, ltp = damage.parse(f.read())
    nids = sorted(n for n in ndb.nbt if n & 0x1F == 0x04)
    out = []
    if len(nids) < at_least:
        return ['%d nodes in the file, %d were committed' % (len(nids), at_least)]
    for k, nid in enumerate(nids[:at_least]):
        node = ltp.node(nid)
        if node is None:
            out.append('node %d (0x%X) unreadable' % (k, nid))
            continue
        if b''.join(node.blocks) != stream(k, size_of(k)):
            out.append('node %d (0x%X): data differs' % (k, nid))
        for snid, want in subnode_streams(k).items():
            ch = node.child(snid)
            if ch is None or b''.join(ch.blocks) != want:
                out.append('node %d subnode 0x%X differs or is missing' % (k, snid))
    return out

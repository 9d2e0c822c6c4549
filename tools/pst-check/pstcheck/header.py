# SPDX-License-Identifier: GPL-3.0-or-later
"""The file header and its ROOT ([MS-PST] 2.2.2.5, 2.2.2.6)."""
from .codec import crc32, CRYPT_NONE, CRYPT_PERMUTE, CRYPT_CYCLIC, U16, U32, U64

PAGE = 512
AMAP_SPAN = 496 * 8 * 64
PTYPE_AMAP = 0x84


def read(ndb):
    """Checks the header and fills in ndb's fields; False when the rest of
    the file cannot be read through it."""
    d, r = ndb.data, ndb.r
    if ndb.size < 564:
        r.problem('header', 'file of %d bytes is shorter than the header' % ndb.size)
        return False
    if d[0:4] != b'!BDN':
        r.problem('header', 'dwMagic is %r, not "!BDN"' % d[0:4])
        return False
    if U32(d, 4) != crc32(d[8:8 + 471]):
        r.problem('header', 'dwCRCPartial does not match the header bytes')
    if U16(d, 8) != 0x4D53:
        r.problem('header', 'wMagicClient is 0x%04X, not 0x4D53' % U16(d, 8))
    ver = U16(d, 10)
    if ver in (14, 15):
        r.problem('header', 'ANSI file (wVer %d): only Unicode files are checked' % ver)
        return False
    if ver < 23 or ver == 36:
        r.problem('header', 'wVer %d is not a Unicode .pst version' % ver)
        return False
    if ver == 23:
        # The text asks for more than 23 but Outlook's own files carry 23.
        r.note('header', 'wVer is 23 (the document says "greater than 23"; Outlook writes 23)')
    if U32(d, 524) != crc32(d[8:8 + 516]):
        r.problem('header', 'dwCRCFull does not match the header bytes')
    if U16(d, 12) != 19:
        r.problem('header', 'wVerClient is %d, not 19' % U16(d, 12))
    if d[14] != 1 or d[15] != 1:
        r.problem('header', 'bPlatformCreate/bPlatformAccess are %d/%d, not 1/1' % (d[14], d[15]))
    if d[512] != 0x80:
        r.problem('header', 'bSentinel is 0x%02X, not 0x80' % d[512])
    ndb.crypt = d[513]
    if ndb.crypt not in (CRYPT_NONE, CRYPT_PERMUTE, CRYPT_CYCLIC):
        r.problem('header', 'bCryptMethod 0x%02X is not a method this checker can read' % ndb.crypt)
        return False
    _reserved(d, r)
    ndb.bid_next_p = U64(d, 32)
    ndb.unique = U32(d, 40)
    ndb.bid_next_b = U64(d, 516)
    ndb.rgnid = [U32(d, 44 + 4 * i) for i in range(32)]
    ndb.eof = U64(d, 184)
    ndb.amap_last = U64(d, 192)
    ndb.amap_free = U64(d, 200)
    ndb.pmap_free = U64(d, 208)
    ndb.nbt_root = (U64(d, 216), U64(d, 224))
    ndb.bbt_root = (U64(d, 232), U64(d, 240))
    ndb.amap_valid = d[248]
    _eof(ndb)
    if ndb.amap_valid not in (0, 1, 2):
        r.problem('header', 'fAMapValid is %d, not 0, 1 or 2' % ndb.amap_valid, sec='2.2.2.5')
    elif ndb.amap_valid == 1:
        r.note('header', 'fAMapValid is the deprecated VALID_AMAP1', sec='2.2.2.5')
    if ndb.pmap_free != 0:
        # "Creators MUST initialize this value to zero", yet both of
        # Outlook's reference files carry a nonzero count.
        r.note('header', 'cbPMapFree is %d, not 0 (Outlook leaves nonzero values)' % ndb.pmap_free,
               sec='2.2.2.5')
    for name, (bid, ib) in (('NBT', ndb.nbt_root), ('BBT', ndb.bbt_root)):
        if ib % PAGE or ib + PAGE > ndb.size or ib < 0x4400:
            r.problem('header', 'BREF%s points at %d, outside the file or unaligned' % (name, ib),
                      sec='2.2.2.5')
            return False
    return True


def _reserved(d, r):
    """Fields a creator MUST zero (or fill). Those that Outlook's own files
    fill with leftovers are notes; the rest are problems."""
    must_zero = (('dwAlign', 252, 4, '2.2.2.6'), ('rgbReserved', 514, 2, '2.2.2.6'),
                 ('bReserved', 531, 1, '2.2.2.6'), ('rgbReserved3', 532, 32, '2.2.2.6'),
                 ('ROOT dwReserved', 180, 4, '2.2.2.5'), ('ROOT bReserved', 249, 1, '2.2.2.5'),
                 ('ROOT wReserved', 250, 2, '2.2.2.5'))
    for name, off, n, sec in must_zero:
        if d[off:off + n].count(0) != n:
            r.problem('header', '%s is %s, not zero' % (name, d[off:off + n].hex()), sec=sec)
    # Outlook's dist-list.pst: dwReserved1 0x234, dwReserved2 0x51384C,
    # qwUnused 0x100000000, rgbFM with one 0xFF byte, rgbFP with 127,
    # rgbReserved2 03D101.
    outlook_fills = (('dwReserved1', 16, 4), ('dwReserved2', 20, 4), ('qwUnused', 172, 8),
                     ('rgbReserved2', 528, 3))
    for name, off, n in outlook_fills:
        if d[off:off + n].count(0) != n:
            r.note('header', '%s holds %s, not zero (so do Outlook\'s own files)' % (name, d[off:off + n].hex()))
    for name, off in (('rgbFM', 256), ('rgbFP', 384)):
        ff = d[off:off + 128].count(0xFF)
        if ff != 128:
            r.note('header', '%s has %d of 128 bytes 0xFF (Outlook\'s own files leave it partly filled)'
                   % (name, ff))


def _eof(ndb):
    r = ndb.r
    if ndb.eof == ndb.size:
        return
    if ndb.size > ndb.eof and _empty_growth(ndb):
        # What an interrupted growth leaves: whole sections past the
        # committed end whose AMaps are valid and map only their own map
        # pages, or that are still all zero because the stop came before
        # their maps were written. Extending the file and rewriting the
        # header cannot be one atomic step, so a crash-safe writer can leave
        # this; the committed state is intact. A cleanly closed file must
        # not have it (--strict-leaks).
        r.leak('header', 'file has %d bytes of empty sections past ibFileEof %d'
               % (ndb.size - ndb.eof, ndb.eof), sec='2.6.1.1.2')
    else:
        r.problem('header', 'ibFileEof is %d but the file has %d bytes' % (ndb.eof, ndb.size), sec='2.2.2.5')


def _empty_growth(ndb):
    size, eof, data = ndb.size, ndb.eof, ndb.data
    if (size - eof) % AMAP_SPAN or (eof - 0x4400) % AMAP_SPAN:
        return False
    for ib in range(eof, size, AMAP_SPAN):
        pg = data[ib:ib + PAGE]
        if pg.count(0) == PAGE and data[ib:ib + AMAP_SPAN].count(0) == AMAP_SPAN:
            continue
        if pg[496] != PTYPE_AMAP or U32(pg, 500) != crc32(pg[:496]) or U64(pg, 504) != ib:
            return False
        # Its own page, and at most a PMap and an FMap page after it.
        if pg[0] != 0xFF or pg[1] not in (0x00, 0xFF) or pg[2] not in (0x00, 0xFF) \
                or pg[3:496].count(0) != 493:
            return False
    return True

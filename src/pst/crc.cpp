// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/crc.h"

#include <zlib.h>

#include <algorithm>
#include <array>

namespace pst {
namespace {

// Eight tables, as the document's CrcTableOffset32..88: table[0] is the
// classic byte table; table[k][i] advances table[k-1][i] by one zero byte,
// so eight input bytes are folded per step.
using Tables = std::array<std::array<uint32_t, 256>, 8>;

Tables MakeTables() {
  Tables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
    t[0][i] = c;
  }
  for (size_t k = 1; k < 8; ++k)
    for (size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  return t;
}

const Tables kTables = MakeTables();

uint32_t SlicingBy8(const uint8_t* p, size_t n, uint32_t crc) {
  while (n >= 8) {
    const uint32_t lo = crc ^ (uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24);
    const uint32_t hi = uint32_t{p[4]} | uint32_t{p[5]} << 8 | uint32_t{p[6]} << 16 | uint32_t{p[7]} << 24;
    crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
          kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
          kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
    p += 8;
    n -= 8;
  }
  for (; n > 0; --n, ++p) crc = kTables[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
  return crc;
}

}  // namespace

uint32_t ComputePstCrc(std::span<const uint8_t> data, uint32_t crc) {
  // zlib computes the same polynomial, inverting before and after, and is
  // several times faster than the tables above on long runs: every byte
  // stored passes through here. ~zlib(~seed) undoes both inversions.
  // Short runs (page trailers, small blocks) skip the call's set-up.
  const uint8_t* p = data.data();
  size_t n = data.size();
  if (n < 64) return SlicingBy8(p, n, crc);
  uLong z = ~crc & 0xFFFFFFFFu;
  while (n > 0) {
    const uInt chunk = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
    z = crc32(z, p, chunk);
    p += chunk;
    n -= chunk;
  }
  return ~static_cast<uint32_t>(z);
}

}  // namespace pst

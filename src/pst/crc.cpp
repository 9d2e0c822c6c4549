// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/crc.h"

#include <zlib.h>

#include <algorithm>
#include <array>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VERDALINE_CRC_FOLD 1
#endif

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

#ifdef VERDALINE_CRC_FOLD
// Carry-less multiplication folds 64 bytes per step into four 128-bit
// remainders, then those into one, and reduces it to the 32-bit CRC
// (Barrett). The constants are x^k mod P for the distances folded over,
// bit-reflected as the polynomial is: 512 + 32 and 512 - 32 bits (four
// remainders at once), 128 + 32 and 128 - 32 (one), 64 (to 64 bits), and
// P with floor(x^64 / P) for the reduction. n is at least 64 and a multiple of 16.
__attribute__((target("pclmul,sse4.1"))) inline __m128i Load(const uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// x carried forward over the distance k stands for, added to next.
__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

__attribute__((target("pclmul,sse4.1"))) uint32_t Folded(const uint8_t* p, size_t n, uint32_t crc) {
  const __m128i k1k2 = _mm_set_epi64x(0x1C6E41596, 0x154442BD4);
  const __m128i k3k4 = _mm_set_epi64x(0x0CCAA009E, 0x1751997D0);
  const __m128i k5 = _mm_set_epi64x(0, 0x163CD6124);
  const __m128i poly = _mm_set_epi64x(0x1F7011641, 0x1DB710641);
  const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
  p += 64;
  n -= 64;
  for (; n >= 64; p += 64, n -= 64) {
    x1 = Fold(x1, k1k2, Load(p));
    x2 = Fold(x2, k1k2, Load(p + 16));
    x3 = Fold(x3, k1k2, Load(p + 32));
    x4 = Fold(x4, k1k2, Load(p + 48));
  }
  x1 = Fold(Fold(Fold(x1, k3k4, x2), k3k4, x3), k3k4, x4);
  for (; n >= 16; p += 16, n -= 16) x1 = Fold(x1, k3k4, Load(p));
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 4), _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00));
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
  return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, t), 1));
}

bool HasCarrylessMultiply() {
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return has;
}
#endif

}  // namespace

uint32_t ComputePstCrc(std::span<const uint8_t> data, uint32_t crc) {
  // zlib computes the same polynomial, inverting before and after, and is
  // several times faster than the tables above on long runs: every byte
  // stored passes through here. ~zlib(~seed) undoes both inversions.
  // Short runs (page trailers, small blocks) skip the call's set-up.
  const uint8_t* p = data.data();
  size_t n = data.size();
  if (n < 64) return SlicingBy8(p, n, crc);
#ifdef VERDALINE_CRC_FOLD
  if (HasCarrylessMultiply()) {
    const size_t whole = n & ~size_t{15};
    return SlicingBy8(p + whole, n - whole, Folded(p, whole, crc));
  }
#endif
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

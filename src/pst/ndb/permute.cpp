// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/ndb/permute.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <array>
#include <cstddef>

#include "model/invariant.h"

namespace pst {
namespace {

// The first 256 entries of the document's mpbbCrypt table (mpbbR): the
// encoding substitution. Decoding uses its inverse, built below rather than
// copied, so the two can never disagree.
constexpr std::array<uint8_t, 256> kEncode = {
    65,  54,  19,  98,  168, 33,  110, 187, 244, 22,  204, 4,   127, 100, 232, 93,
    30,  242, 203, 42,  116, 197, 94,  53,  210, 149, 71,  158, 150, 45,  154, 136,
    76,  125, 132, 63,  219, 172, 49,  182, 72,  95,  246, 196, 216, 57,  139, 231,
    35,  59,  56,  142, 200, 193, 223, 37,  177, 32,  165, 70,  96,  78,  156, 251,
    170, 211, 86,  81,  69,  124, 85,  0,   7,   201, 43,  157, 133, 155, 9,   160,
    143, 173, 179, 15,  99,  171, 137, 75,  215, 167, 21,  90,  113, 102, 66,  191,
    38,  74,  107, 152, 250, 234, 119, 83,  178, 112, 5,   44,  253, 89,  58,  134,
    126, 206, 6,   235, 130, 120, 87,  199, 141, 67,  175, 180, 28,  212, 91,  205,
    226, 233, 39,  79,  195, 8,   114, 128, 207, 176, 239, 245, 40,  109, 190, 48,
    77,  52,  146, 213, 14,  60,  34,  50,  229, 228, 249, 159, 194, 209, 10,  129,
    18,  225, 238, 145, 131, 118, 227, 151, 230, 97,  138, 23,  121, 164, 183, 220,
    144, 122, 92,  140, 2,   166, 202, 105, 222, 80,  26,  17,  147, 185, 82,  135,
    88,  252, 237, 29,  55,  73,  27,  106, 224, 41,  51,  153, 189, 108, 217, 148,
    243, 64,  84,  111, 240, 198, 115, 184, 214, 62,  101, 24,  68,  31,  221, 103,
    16,  241, 12,  25,  236, 174, 3,   161, 20,  123, 169, 11,  255, 248, 163, 192,
    162, 1,   247, 46,  188, 36,  104, 117, 13,  254, 186, 47,  181, 208, 218, 61,
};

std::array<uint8_t, 256> Invert(const std::array<uint8_t, 256>& t) {
  std::array<uint8_t, 256> inv{};
  for (size_t i = 0; i < 256; ++i) inv[t[i]] = static_cast<uint8_t>(i);
  return inv;
}

const std::array<uint8_t, 256> kDecode = Invert(kEncode);

// Byte by byte through the table; in and out may be the same place.
void Substitute(const std::array<uint8_t, 256>& table, const uint8_t* in, uint8_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = table[in[i]];
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Every stored byte of every data block passes through the table, so where
// the processor can look up 64 bytes at once in a 256-byte table (AVX-512
// VBMI: two 128-byte halves, chosen by each byte's top bit), it does.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void SubstituteWide(
    const std::array<uint8_t, 256>& table, const uint8_t* in, uint8_t* out, size_t n) {
  const __m512i t0 = _mm512_loadu_si512(table.data());
  const __m512i t1 = _mm512_loadu_si512(table.data() + 64);
  const __m512i t2 = _mm512_loadu_si512(table.data() + 128);
  const __m512i t3 = _mm512_loadu_si512(table.data() + 192);
  size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    const __m512i x = _mm512_loadu_si512(in + i);
    const __m512i low = _mm512_permutex2var_epi8(t0, x, t1);   // bytes 0-127, by the low 7 bits
    const __m512i high = _mm512_permutex2var_epi8(t2, x, t3);  // bytes 128-255
    _mm512_storeu_si512(out + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(x), low, high));
  }
  Substitute(table, in + i, out + i, n - i);
}

bool HasWideLookup() {
  static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                          __builtin_cpu_supports("avx512vbmi");
  return has;
}

void Apply(const std::array<uint8_t, 256>& table, const uint8_t* in, uint8_t* out, size_t n) {
  if (n >= 64 && HasWideLookup() && !testing::g_forceByteByByte) {
    SubstituteWide(table, in, out, n);
  } else {
    Substitute(table, in, out, n);
  }
}
#else
void Apply(const std::array<uint8_t, 256>& table, const uint8_t* in, uint8_t* out, size_t n) {
  Substitute(table, in, out, n);
}
#endif

}  // namespace

namespace testing {
bool g_forceByteByByte = false;
}  // namespace testing

void PermuteEncode(std::span<uint8_t> data) { Apply(kEncode, data.data(), data.data(), data.size()); }

void PermuteEncode(std::span<const uint8_t> from, std::span<uint8_t> to) {
  VERDALINE_INVARIANT(from.size() == to.size(), "permute: sizes differ");
  Apply(kEncode, from.data(), to.data(), from.size());
}

void PermuteDecode(std::span<uint8_t> data) { Apply(kDecode, data.data(), data.data(), data.size()); }

}  // namespace pst

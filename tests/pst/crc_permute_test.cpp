// SPDX-License-Identifier: GPL-3.0-or-later
// The CRC and the permutation encoding against the tables printed in
// [MS-PST] 5.1 and 5.3.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "pst/crc.h"
#include "pst/ndb/permute.h"

namespace pst {
namespace {

TEST(PstCrc, OneByteGivesTheDocumentsTableEntry) {
  // With seed 0, the CRC of a single byte b is CrcTableOffset32[b].
  const std::vector<std::pair<uint8_t, uint32_t>> table = {
      {0x01, 0x77073096}, {0x02, 0xEE0E612C}, {0x08, 0x0EDB8832},
      {0x80, 0xEDB88320}, {0x81, 0x9ABFB3B6}, {0xFF, 0x2D02EF8D}};
  for (const auto& [b, want] : table) {
    const std::array<uint8_t, 1> one = {b};
    EXPECT_EQ(ComputePstCrc(one), want) << int{b};
  }
}

// The CRC one bit at a time, straight from the polynomial.
uint32_t BitwiseCrc(std::span<const uint8_t> data, uint32_t crc) {
  for (uint8_t b : data) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
}

TEST(PstCrc, EveryLengthAndSeedAgreesWithTheBitwiseDefinition) {
  // Short and long inputs take different paths; block payloads run up to
  // 8,176 bytes and chained calls pass any seed.
  std::vector<uint8_t> data(8200);
  uint32_t x = 12345;
  for (uint8_t& b : data) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
  for (uint32_t seed : {0u, 1u, 0xFFFFFFFFu, 0x2DFD2D88u}) {
    for (size_t n = 0; n < 200; ++n)
      ASSERT_EQ(ComputePstCrc(std::span<const uint8_t>(data).first(n), seed),
                BitwiseCrc(std::span<const uint8_t>(data).first(n), seed)) << n << " " << seed;
    for (size_t n : {511u, 512u, 4096u, 8176u, 8200u})
      ASSERT_EQ(ComputePstCrc(std::span<const uint8_t>(data).first(n), seed),
                BitwiseCrc(std::span<const uint8_t>(data).first(n), seed)) << n << " " << seed;
  }
}

TEST(PstCrc, SeedZeroNoFinalInversionAndChaining) {
  const std::string s = "123456789";
  std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  // zlib.crc32(data, 0xFFFFFFFF) ^ 0xFFFFFFFF
  EXPECT_EQ(ComputePstCrc(bytes), 0x2DFD2D88u);
  EXPECT_EQ(ComputePstCrc(bytes.subspan(4), ComputePstCrc(bytes.first(4))), 0x2DFD2D88u);
  EXPECT_EQ(ComputePstCrc({}), 0u);
  // Long input (the eight-bytes-at-a-time path) against a byte-wise
  // reference built from the single-byte results.
  std::vector<uint8_t> longer(1000);
  for (size_t i = 0; i < longer.size(); ++i) longer[i] = static_cast<uint8_t>(i * 31 + 7);
  uint32_t ref = 0;
  for (uint8_t b : longer) {
    const std::array<uint8_t, 1> one = {static_cast<uint8_t>(b ^ (ref & 0xFF))};
    ref = ComputePstCrc(one) ^ (ref >> 8);
  }
  EXPECT_EQ(ComputePstCrc(longer), ref);
  for (size_t cut : {1u, 7u, 8u, 9u, 500u})
    EXPECT_EQ(ComputePstCrc(std::span<const uint8_t>(longer).subspan(cut),
                            ComputePstCrc(std::span<const uint8_t>(longer).first(cut))), ref);
  const std::vector<uint8_t> zeros(496, 0);
  EXPECT_EQ(ComputePstCrc(zeros), 0u);  // why an all-zero density list has CRC 0
}

TEST(Permute, DecodeTableMatchesDocumentsThirdTable) {
  // mpbbI, the decoding table (mpbbCrypt + 512), first rows.
  const std::vector<uint8_t> mpbbI = {71,  241, 180, 230, 11,  106, 114, 72,
                                      133, 78,  158, 235, 226, 248, 148, 83};
  std::vector<uint8_t> bytes(mpbbI.size());
  std::iota(bytes.begin(), bytes.end(), 0);
  PermuteDecode(bytes);
  EXPECT_EQ(bytes, mpbbI);
  // mpbbR (encoding): 65, 54, 19, 98 for 0..3, and the last entry 61.
  std::vector<uint8_t> enc = {0, 1, 2, 3, 255};
  PermuteEncode(enc);
  EXPECT_EQ(enc, (std::vector<uint8_t>{65, 54, 19, 98, 61}));
}

TEST(Permute, WideLookupAgreesWithTheTableAtEveryLengthAndOffset) {
  // Long runs go 64 bytes at a time where the processor can; the tail and
  // short runs byte by byte. Both must give the table's bytes.
  std::vector<uint8_t> data(8176 + 200);
  uint32_t x = 99;
  for (uint8_t& b : data) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
  for (size_t i = 0; i < 256; ++i) data[i] = static_cast<uint8_t>(i);  // every value
  for (size_t offset : {0u, 1u, 63u}) {
    for (size_t n : {0u, 1u, 63u, 64u, 65u, 127u, 128u, 200u, 4096u, 8176u}) {
      const std::span<const uint8_t> in = std::span<const uint8_t>(data).subspan(offset, n);
      std::vector<uint8_t> wide(n), plain(n), inPlace(in.begin(), in.end());
      PermuteEncode(in, wide);
      PermuteEncode(inPlace);
      testing::g_forceByteByByte = true;
      PermuteEncode(in, plain);
      testing::g_forceByteByByte = false;
      ASSERT_EQ(wide, plain) << offset << " " << n;
      ASSERT_EQ(inPlace, plain) << offset << " " << n;
      PermuteDecode(inPlace);
      ASSERT_TRUE(std::equal(inPlace.begin(), inPlace.end(), in.begin())) << offset << " " << n;
    }
  }
}

TEST(Permute, RoundTripsEveryByte) {
  std::vector<uint8_t> all(256);
  std::iota(all.begin(), all.end(), 0);
  std::vector<uint8_t> v = all;
  PermuteEncode(v);
  EXPECT_NE(v, all);
  std::vector<bool> seen(256, false);
  for (uint8_t b : v) seen[b] = true;
  EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 256);  // a permutation
  PermuteDecode(v);
  EXPECT_EQ(v, all);
  // Encoding into another buffer gives the same bytes as in place.
  std::vector<uint8_t> copy(256), inPlace = all;
  PermuteEncode(all, copy);
  PermuteEncode(inPlace);
  EXPECT_EQ(copy, inPlace);
}

}  // namespace
}  // namespace pst

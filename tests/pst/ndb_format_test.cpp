// SPDX-License-Identifier: GPL-3.0-or-later
// On-disk records against the sample figures of [MS-PST] section 3 and the
// Outlook-made sample file.
#include <gtest/gtest.h>

#include <vector>

#include "pst/coding.h"
#include "pst/crc.h"
#include "pst/ndb/format.h"

namespace pst::ndb {
namespace {

std::vector<uint8_t> Hex(const char* s) {
  std::vector<uint8_t> out;
  auto nib = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  for (; *s; ++s) {
    if (*s == ' ' || *s == '-' || *s == '\n') continue;
    out.push_back(static_cast<uint8_t>(nib(s[0]) * 16 + nib(s[1])));
    ++s;
  }
  return out;
}

// [MS-PST] 3.2: the first 0x210 bytes of the sample header.
const char* kSampleHeader =
    "21 42 44 4E 0E A9 9A 37 53 4D 17 00 13 00 01 01"
    "5C 07 00 00 D0 7B 99 0B 04 00 00 00 01 00 00 00"
    "54 02 00 00 00 00 00 00 45 00 00 00 00 04 00 00"
    "00 04 00 00 04 04 00 00 00 40 00 00 02 00 01 00"
    "04 04 00 00 00 04 00 00 00 04 00 00 00 80 00 00"
    "00 04 00 00 00 04 00 00 00 04 00 00 00 04 00 00"
    "04 04 00 00 04 04 00 00 04 04 00 00 00 04 00 00"
    "00 04 00 00 00 04 00 00 00 04 00 00 00 04 00 00"
    "00 04 00 00 00 04 00 00 00 04 00 00 00 04 00 00"
    "00 04 00 00 00 04 00 00 00 04 00 00 00 04 00 00"
    "00 04 00 00 00 04 00 00 0F 04 00 00 00 00 00 00"
    "00 00 00 00 00 00 00 00 00 24 9F 00 00 00 00 00"
    "00 44 9B 00 00 00 00 00 40 F2 12 00 00 00 00 00"
    "00 00 00 00 00 00 00 00 4B 02 00 00 00 00 00 00"
    "00 52 90 00 00 00 00 00 53 02 00 00 00 00 00 00"
    "00 0A 90 00 00 00 00 00 02 00 00 00 00 00 00 00";

Header SampleHeaderFields() {
  Header h;
  h.dwReserved1 = 0x075C;
  h.dwReserved2 = 0x0B997BD0;
  h.bidUnused = 0x0000000100000004;
  h.bidNextP = 0x254;
  h.dwUnique = 0x45;
  h.rgnid.fill(0x400);
  h.rgnid[2] = 0x404;
  h.rgnid[3] = 0x4000;
  h.rgnid[4] = 0x10002;
  h.rgnid[5] = 0x404;
  h.rgnid[8] = 0x8000;
  h.rgnid[13] = h.rgnid[14] = h.rgnid[15] = 0x404;
  h.rgnid[31] = 0x40F;
  h.ibFileEof = 0x9F2400;
  h.ibAMapLast = 0x9B4400;
  h.cbAMapFree = 0x12F240;
  h.nbt = {0x24B, 0x905200};
  h.bbt = {0x253, 0x900A00};
  h.fAMapValid = 2;
  h.bidNextB = 0x1434;
  return h;
}

TEST(NdbHeader, EncodesTheDocumentsSampleHeader) {
  const auto bytes = SampleHeaderFields().Encode();
  const std::vector<uint8_t> want = Hex(kSampleHeader);
  ASSERT_EQ(want.size(), 0x100u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 0x100), want);
  for (size_t i = 0x100; i < 0x200; ++i) ASSERT_EQ(bytes[i], 0xFF) << i;  // rgbFM, rgbFP
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 0x200, bytes.begin() + 0x210),
            Hex("80 01 00 00 34 14 00 00 00 00 00 00 D6 83 D2 1F"));
  EXPECT_EQ(GetU32(bytes, 4), 0x379AA90Eu);   // dwCRCPartial
  EXPECT_EQ(GetU32(bytes, 0x20C), 0x1FD283D6u);  // dwCRCFull
  for (size_t i = 0x210; i < kHeaderSize; ++i) ASSERT_EQ(bytes[i], 0) << i;
}

TEST(NdbHeader, DecodeRoundTripsAndRejectsDamage) {
  auto bytes = SampleHeaderFields().Encode();
  const Header back = Header::Decode(bytes);
  EXPECT_EQ(back.bbt, (Bref{0x253, 0x900A00}));
  EXPECT_EQ(back.rgnid[4], 0x10002u);
  EXPECT_EQ(back.bidNextB, 0x1434u);
  EXPECT_EQ(back.fAMapValid, 2);
  bytes[0x100] = 0;  // inside the partial CRC's range
  EXPECT_THROW(Header::Decode(bytes), PstError);
  bytes = SampleHeaderFields().Encode();
  bytes[0x204] ^= 1;  // bidNextB: only the full CRC covers it
  EXPECT_THROW(Header::Decode(bytes), PstError);
}

TEST(NdbPage, IntermediatePageMatchesDocumentsSample) {
  // [MS-PST] 3.3: an intermediate NBT page at 0x8200 with BID 0x206.
  const std::vector<BtEntry> entries = {
      {0x21, {0x205, 0x7E00}}, {0x60F, {0x141, 0x7000}}, {0x8022, {0xFD, 0x8400}}};
  const auto page = EncodeIntermediate(PageType::kNbt, 1, entries, 0x206, 0x8200);
  EXPECT_EQ(std::vector<uint8_t>(page.begin(), page.begin() + 0x48),
            Hex("21 00 00 00 00 00 00 00 05 02 00 00 00 00 00 00"
                "00 7E 00 00 00 00 00 00 0F 06 00 00 00 00 00 00"
                "41 01 00 00 00 00 00 00 00 70 00 00 00 00 00 00"
                "22 80 00 00 00 00 00 00 FD 00 00 00 00 00 00 00"
                "00 84 00 00 00 00 00 00"));
  EXPECT_EQ(std::vector<uint8_t>(page.begin() + 0x1E8, page.end()),
            Hex("03 14 18 01 00 00 00 00"
                "81 81 06 80 64 B1 E8 02 06 02 00 00 00 00 00 00"));
}

TEST(NdbPage, LeafLayoutsAndLimits) {
  const std::vector<NbtEntry> nodes = {{0x21, 0x4, 0, 0}, {0x122, 0x8, 0x12, 0x122}};
  const auto nbt = EncodeNbtLeaf(nodes, 7, 0x5000);
  EXPECT_EQ(GetU64(nbt, 32), 0x122u);
  EXPECT_EQ(GetU64(nbt, 40), 0x8u);
  EXPECT_EQ(GetU64(nbt, 48), 0x12u);
  EXPECT_EQ(GetU32(nbt, 56), 0x122u);
  EXPECT_EQ(std::vector<uint8_t>(nbt.begin() + 488, nbt.begin() + 500),
            Hex("02 0F 20 00 00 00 00 00 81 81 07 50"));  // wSig = 0x5000 ^ 7
  EXPECT_EQ(GetU32(nbt, 500), ComputePstCrc(std::span<const uint8_t>(nbt).first(496)));

  const std::vector<BbtEntry> blocks = {{{0x4, 0x5000}, 156, 2}};
  const auto bbt = EncodeBbtLeaf(blocks, 9, 0x5200);
  EXPECT_EQ(GetU64(bbt, 8), 0x5000u);
  EXPECT_EQ(GetU16(bbt, 16), 156);
  EXPECT_EQ(GetU16(bbt, 18), 2);
  EXPECT_EQ(bbt[489], 20);
  EXPECT_EQ(bbt[490], 24);
  EXPECT_EQ(bbt[496], 0x80);
}

TEST(NdbBlock, TrailerAndPaddingAsOutlookWritesThem) {
  // The sample file's block BID 4 at 0x5000 holds 156 bytes: 192 in the
  // file with a trailer of cb 156, wSig 0x5004.
  std::vector<uint8_t> payload(156, 0xAB);
  const auto image = EncodeBlock(payload, 4, 0x5000);
  ASSERT_EQ(image.size(), 192u);
  EXPECT_EQ(GetU16(image, 176), 156);
  EXPECT_EQ(GetU16(image, 178), 0x5004);
  EXPECT_EQ(GetU32(image, 180), ComputePstCrc(payload));
  EXPECT_EQ(GetU64(image, 184), 4u);
  for (size_t i = 156; i < 176; ++i) ASSERT_EQ(image[i], 0);
  EXPECT_EQ(BlockAllocSize(0), 64u);
  EXPECT_EQ(BlockAllocSize(48), 64u);
  EXPECT_EQ(BlockAllocSize(49), 128u);
  EXPECT_EQ(BlockAllocSize(8176), 8192u);
  EXPECT_EQ(EncodeBlock(std::vector<uint8_t>(8176), 8, 0x6000).size(), 8192u);
}

TEST(NdbBlock, InternalBlocksRoundTrip) {
  const std::vector<Bid> kids = {0x4, 0x8, 0xC};
  const auto x = EncodeXBlock(1, kids, 8176 * 2 + 5);
  EXPECT_EQ(std::vector<uint8_t>(x.begin(), x.begin() + 8), Hex("01 01 03 00 E5 3F 00 00"));
  EXPECT_EQ(x.size(), 8u + 24u);
  InternalBlock b = DecodeInternalBlock(x);
  EXPECT_EQ(b.bids, kids);
  EXPECT_EQ(b.totalSize, 8176u * 2 + 5);

  const auto xx = EncodeXBlock(2, kids, 1);
  EXPECT_EQ(xx[1], 2);

  const std::vector<SubnodeEntry> subs = {{0x671, 0x10, 0}, {0x692, 0x14, 0x16}};
  const auto sl = EncodeSLBlock(subs);
  EXPECT_EQ(std::vector<uint8_t>(sl.begin(), sl.begin() + 8), Hex("02 00 02 00 00 00 00 00"));
  EXPECT_EQ(sl.size(), 8u + 48u);
  b = DecodeInternalBlock(sl);
  ASSERT_EQ(b.subnodes.size(), 2u);
  EXPECT_EQ(b.subnodes[1].nid, 0x692u);
  EXPECT_EQ(b.subnodes[1].subnodes, 0x16u);

  const std::vector<SIEntry> index = {{0x671, 0x1A}, {0x9000, 0x1E}};
  const auto si = EncodeSIBlock(index);
  EXPECT_EQ(std::vector<uint8_t>(si.begin(), si.begin() + 8), Hex("02 01 02 00 00 00 00 00"));
  b = DecodeInternalBlock(si);
  EXPECT_EQ(b.nids, (std::vector<Nid>{0x671, 0x9000}));
  EXPECT_EQ(b.bids, (std::vector<Bid>{0x1A, 0x1E}));

  EXPECT_EQ(kXBlockMaxEntries, 1021u);
  EXPECT_EQ(kSLBlockMaxEntries, 340u);
  EXPECT_EQ(kSIBlockMaxEntries, 510u);
  EXPECT_THROW(DecodeInternalBlock(Hex("03 00 00 00 00 00 00 00")), PstError);
  EXPECT_THROW(DecodeInternalBlock(Hex("01 01 05 00 00 00 00 00")), PstError);  // entries missing
}

TEST(NdbBlock, SampleDataTreeAndSLBlockOfTheDocument) {
  // [MS-PST] 3.6: an XBLOCK at 0x5A6600, BID 0x162, over 0x35 blocks
  // (0x15C, then 0x164 to 0x230), lcbTotal 0x69C49; internal blocks are
  // stored as they are (no permutation).
  std::vector<Bid> kids = {0x15C};
  for (Bid b = 0x164; b <= 0x230; b += 4) kids.push_back(b);
  ASSERT_EQ(kids.size(), 0x35u);
  const auto x = EncodeBlock(EncodeXBlock(1, kids, 0x69C49), 0x162, 0x5A6600);
  ASSERT_EQ(x.size(), 448u);
  EXPECT_EQ(std::vector<uint8_t>(x.begin(), x.begin() + 16),
            Hex("01 01 35 00 49 9C 06 00 5C 01 00 00 00 00 00 00"));
  EXPECT_EQ(std::vector<uint8_t>(x.begin() + 0x1A0, x.begin() + 0x1B0),
            Hex("2C 02 00 00 00 00 00 00 30 02 00 00 00 00 00 00"));
  EXPECT_EQ(std::vector<uint8_t>(x.end() - 16, x.end()),
            Hex("B0 01 38 67 51 CD EE 3F 62 01 00 00 00 00 00 00"));

  // [MS-PST] 3.7: the smallest SLBLOCK, at 0x594D80 with BID 0x1386.
  const std::vector<SubnodeEntry> one = {{0x817F, 0x1380, 0}};
  const auto sl = EncodeBlock(EncodeSLBlock(one), 0x1386, 0x594D80);
  EXPECT_EQ(sl, Hex("02 00 01 00 00 00 00 00 7F 81 00 00 00 00 00 00"
                    "80 13 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                    "20 00 5F 5E 50 5E D4 D9 86 13 00 00 00 00 00 00"));
}

TEST(NdbPage, SignatureFollowsTheDocumentsFormula) {
  EXPECT_EQ(ComputeSig(0x8200, 0x206), 0x8006);
  EXPECT_EQ(ComputeSig(0x4200, 0x4200), 0);
  EXPECT_EQ(ComputeSig(0x123456789ABCull, 0x4), static_cast<uint16_t>(0x9ABC ^ 0x5678 ^ 0x4));
}

}  // namespace
}  // namespace pst::ndb

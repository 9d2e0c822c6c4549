// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/ndb/format.h"

#include <algorithm>
#include <string>

#include "model/invariant.h"
#include "pst/coding.h"
#include "pst/crc.h"

namespace pst::ndb {

uint16_t ComputeSig(uint64_t ib, Bid bid) {
  uint64_t x = ib ^ bid;
  return static_cast<uint16_t>((x >> 16) ^ x);
}

void SealPage(std::span<uint8_t, kPageSize> page, PageType type, Bid bid, uint64_t ib) {
  const size_t t = kPageSize - kPageTrailerSize;
  const auto ptype = static_cast<uint8_t>(type);
  const bool signed_page = type == PageType::kBbt || type == PageType::kNbt || type == PageType::kDList;
  page[t] = ptype;
  page[t + 1] = ptype;
  StoreU16(page, t + 2, signed_page ? ComputeSig(ib, bid) : 0);
  StoreU32(page, t + 4, ComputePstCrc(page.first(t)));
  StoreU64(page, t + 8, bid);
}

std::vector<uint8_t> EncodeBlock(std::span<const uint8_t> payload, Bid bid, uint64_t ib) {
  VERDALINE_INVARIANT(payload.size() <= kMaxBlockPayload, "block payload too large");
  std::vector<uint8_t> out(BlockAllocSize(payload.size()));
  std::copy(payload.begin(), payload.end(), out.begin());
  SealBlock(out, payload.size(), bid, ib);
  return out;
}

void SealBlock(std::span<uint8_t> image, size_t cb, Bid bid, uint64_t ib) {
  VERDALINE_INVARIANT(cb <= kMaxBlockPayload, "block payload too large");
  VERDALINE_INVARIANT(image.size() == BlockAllocSize(cb), "block image of the wrong size");
  const size_t t = image.size() - kBlockTrailerSize;
  std::fill(image.begin() + static_cast<std::ptrdiff_t>(cb), image.end(), uint8_t{0});
  StoreU16(image, t, static_cast<uint16_t>(cb));
  StoreU16(image, t + 2, ComputeSig(ib, bid));
  StoreU32(image, t + 4, ComputePstCrc(image.first(cb)));
  StoreU64(image, t + 8, bid);
}

namespace {

std::array<uint8_t, kPageSize> FinishBtPage(std::array<uint8_t, kPageSize>& page, PageType type,
                                            size_t count, uint8_t max, uint8_t cbEnt,
                                            uint8_t level, Bid bid, uint64_t ib) {
  page[kBtEntriesSize] = static_cast<uint8_t>(count);
  page[kBtEntriesSize + 1] = max;
  page[kBtEntriesSize + 2] = cbEnt;
  page[kBtEntriesSize + 3] = level;
  SealPage(page, type, bid, ib);
  return page;
}

}  // namespace

std::array<uint8_t, kPageSize> EncodeNbtLeaf(std::span<const NbtEntry> entries, Bid bid, uint64_t ib) {
  VERDALINE_INVARIANT(entries.size() <= kNbtLeafMax, "NBT leaf overflow");
  std::array<uint8_t, kPageSize> page{};
  for (size_t i = 0; i < entries.size(); ++i) {
    const size_t at = i * kNbtEntrySize;
    StoreU64(page, at, entries[i].nid);  // NID zero-extended to 64 bits
    StoreU64(page, at + 8, entries[i].data);
    StoreU64(page, at + 16, entries[i].subnodes);
    StoreU32(page, at + 24, entries[i].parent);
  }
  return FinishBtPage(page, PageType::kNbt, entries.size(), kNbtLeafMax, kNbtEntrySize, 0, bid, ib);
}

std::array<uint8_t, kPageSize> EncodeBbtLeaf(std::span<const BbtEntry> entries, Bid bid, uint64_t ib) {
  VERDALINE_INVARIANT(entries.size() <= kBbtLeafMax, "BBT leaf overflow");
  std::array<uint8_t, kPageSize> page{};
  for (size_t i = 0; i < entries.size(); ++i) {
    const size_t at = i * kBbtEntrySize;
    StoreU64(page, at, entries[i].bref.bid);
    StoreU64(page, at + 8, entries[i].bref.ib);
    StoreU16(page, at + 16, entries[i].cb);
    StoreU16(page, at + 18, entries[i].cRef);
  }
  return FinishBtPage(page, PageType::kBbt, entries.size(), kBbtLeafMax, kBbtEntrySize, 0, bid, ib);
}

namespace {

// The number of entries of a leaf page, its trailer checked.
size_t CheckedLeafCount(std::span<const uint8_t> page, PageType type, uint8_t max, uint8_t cbEnt, Bid bid) {
  const size_t t = kPageSize - kPageTrailerSize;
  if (page.size() != kPageSize || page[t] != static_cast<uint8_t>(type) || GetU64(page, t + 8) != bid ||
      GetU32(page, t + 4) != ComputePstCrc(page.first(t)) || page[kBtEntriesSize + 3] != 0 ||
      page[kBtEntriesSize + 2] != cbEnt || page[kBtEntriesSize] > max)
    throw PstError("B-tree page " + std::to_string(bid) + " does not read back as written");
  return page[kBtEntriesSize];
}

}  // namespace

std::vector<NbtEntry> DecodeNbtLeaf(std::span<const uint8_t> page, Bid bid) {
  std::vector<NbtEntry> out(CheckedLeafCount(page, PageType::kNbt, kNbtLeafMax, kNbtEntrySize, bid));
  for (size_t i = 0; i < out.size(); ++i) {
    const size_t at = i * kNbtEntrySize;
    const uint64_t nid = GetU64(page, at);
    if (nid > UINT32_MAX) throw PstError("B-tree page " + std::to_string(bid) + " holds a NID of more than 32 bits");
    out[i] = {static_cast<Nid>(nid), GetU64(page, at + 8), GetU64(page, at + 16), GetU32(page, at + 24)};
  }
  return out;
}

std::vector<BbtEntry> DecodeBbtLeaf(std::span<const uint8_t> page, Bid bid) {
  std::vector<BbtEntry> out(CheckedLeafCount(page, PageType::kBbt, kBbtLeafMax, kBbtEntrySize, bid));
  for (size_t i = 0; i < out.size(); ++i) {
    const size_t at = i * kBbtEntrySize;
    out[i] = {{GetU64(page, at), GetU64(page, at + 8)}, GetU16(page, at + 16), GetU16(page, at + 18)};
  }
  return out;
}

std::array<uint8_t, kPageSize> EncodeIntermediate(PageType type, uint8_t level,
                                                  std::span<const BtEntry> entries, Bid bid,
                                                  uint64_t ib) {
  VERDALINE_INVARIANT(entries.size() <= kBtIntermediateMax, "B-tree page overflow");
  std::array<uint8_t, kPageSize> page{};
  for (size_t i = 0; i < entries.size(); ++i) {
    const size_t at = i * kBtEntrySize;
    StoreU64(page, at, entries[i].key);
    StoreU64(page, at + 8, entries[i].bref.bid);
    StoreU64(page, at + 16, entries[i].bref.ib);
  }
  return FinishBtPage(page, type, entries.size(), kBtIntermediateMax, kBtEntrySize, level, bid, ib);
}

std::vector<uint8_t> EncodeXBlock(uint8_t level, std::span<const Bid> bids, uint32_t totalSize) {
  VERDALINE_INVARIANT(bids.size() <= kXBlockMaxEntries, "XBLOCK overflow");
  std::vector<uint8_t> out;
  out.reserve(kInternalHeaderSize + 8 * bids.size());
  PutU8(out, kBlockTypeData);
  PutU8(out, level);
  PutU16(out, static_cast<uint16_t>(bids.size()));
  PutU32(out, totalSize);
  for (Bid b : bids) PutU64(out, b);
  return out;
}

std::vector<uint8_t> EncodeSLBlock(std::span<const SubnodeEntry> entries) {
  VERDALINE_INVARIANT(entries.size() <= kSLBlockMaxEntries, "SLBLOCK overflow");
  std::vector<uint8_t> out;
  out.reserve(kInternalHeaderSize + 24 * entries.size());
  PutU8(out, kBlockTypeSubnode);
  PutU8(out, 0);
  PutU16(out, static_cast<uint16_t>(entries.size()));
  PutU32(out, 0);
  for (const SubnodeEntry& e : entries) {
    PutU64(out, e.nid);
    PutU64(out, e.data);
    PutU64(out, e.subnodes);
  }
  return out;
}

std::vector<uint8_t> EncodeSIBlock(std::span<const SIEntry> entries) {
  VERDALINE_INVARIANT(entries.size() <= kSIBlockMaxEntries, "SIBLOCK overflow");
  std::vector<uint8_t> out;
  out.reserve(kInternalHeaderSize + 16 * entries.size());
  PutU8(out, kBlockTypeSubnode);
  PutU8(out, 1);
  PutU16(out, static_cast<uint16_t>(entries.size()));
  PutU32(out, 0);
  for (const SIEntry& e : entries) {
    PutU64(out, e.nid);
    PutU64(out, e.bid);
  }
  return out;
}

InternalBlock DecodeInternalBlock(std::span<const uint8_t> p) {
  if (p.size() < kInternalHeaderSize) throw PstError("internal block too short");
  InternalBlock b;
  b.type = p[0];
  b.level = p[1];
  const size_t n = GetU16(p, 2);
  if (b.type == kBlockTypeData && (b.level == 1 || b.level == 2)) {
    b.totalSize = GetU32(p, 4);
    if (kInternalHeaderSize + 8 * n > p.size()) throw PstError("XBLOCK entries past its end");
    for (size_t i = 0; i < n; ++i) b.bids.push_back(GetU64(p, kInternalHeaderSize + 8 * i));
  } else if (b.type == kBlockTypeSubnode && b.level == 0) {
    if (kInternalHeaderSize + 24 * n > p.size()) throw PstError("SLBLOCK entries past its end");
    for (size_t i = 0; i < n; ++i) {
      const size_t at = kInternalHeaderSize + 24 * i;
      b.subnodes.push_back({static_cast<Nid>(GetU64(p, at)), GetU64(p, at + 8), GetU64(p, at + 16)});
    }
  } else if (b.type == kBlockTypeSubnode && b.level == 1) {
    if (kInternalHeaderSize + 16 * n > p.size()) throw PstError("SIBLOCK entries past its end");
    for (size_t i = 0; i < n; ++i) {
      const size_t at = kInternalHeaderSize + 16 * i;
      b.nids.push_back(static_cast<Nid>(GetU64(p, at)));
      b.bids.push_back(GetU64(p, at + 8));
    }
  } else {
    throw PstError("unknown internal block type " + std::to_string(b.type) + "/" +
                   std::to_string(b.level));
  }
  return b;
}

// Unicode HEADER layout, offsets from the start of the file.
namespace {
constexpr size_t kOffCrcPartial = 0x04, kOffMagicClient = 0x08, kOffVer = 0x0A,
                 kOffVerClient = 0x0C, kOffPlatform = 0x0E, kOffReserved1 = 0x10,
                 kOffReserved2 = 0x14, kOffBidUnused = 0x18, kOffBidNextP = 0x20,
                 kOffUnique = 0x28, kOffRgnid = 0x2C, kOffRoot = 0xB4, kOffFM = 0x100,
                 kOffFP = 0x180, kOffSentinel = 0x200, kOffCrypt = 0x201, kOffBidNextB = 0x204,
                 kOffCrcFull = 0x20C;
constexpr size_t kCrcPartialLen = 471, kCrcFullLen = 516;
}  // namespace

std::array<uint8_t, kHeaderSize> Header::Encode() const {
  std::array<uint8_t, kHeaderSize> h{};
  std::span<uint8_t> s(h);
  h[0] = '!'; h[1] = 'B'; h[2] = 'D'; h[3] = 'N';
  StoreU16(s, kOffMagicClient, 0x4D53);
  StoreU16(s, kOffVer, wVer);
  StoreU16(s, kOffVerClient, wVerClient);
  h[kOffPlatform] = 0x01;
  h[kOffPlatform + 1] = 0x01;
  StoreU32(s, kOffReserved1, dwReserved1);
  StoreU32(s, kOffReserved2, dwReserved2);
  StoreU64(s, kOffBidUnused, bidUnused);
  StoreU64(s, kOffBidNextP, bidNextP);
  StoreU32(s, kOffUnique, dwUnique);
  for (size_t i = 0; i < 32; ++i) StoreU32(s, kOffRgnid + 4 * i, rgnid[i]);
  // qwUnused (8 bytes) stays zero, then ROOT.
  StoreU32(s, kOffRoot, 0);
  StoreU64(s, kOffRoot + 4, ibFileEof);
  StoreU64(s, kOffRoot + 12, ibAMapLast);
  StoreU64(s, kOffRoot + 20, cbAMapFree);
  StoreU64(s, kOffRoot + 28, cbPMapFree);
  StoreU64(s, kOffRoot + 36, nbt.bid);
  StoreU64(s, kOffRoot + 44, nbt.ib);
  StoreU64(s, kOffRoot + 52, bbt.bid);
  StoreU64(s, kOffRoot + 60, bbt.ib);
  h[kOffRoot + 68] = fAMapValid;
  // dwAlign zero; rgbFM and rgbFP are deprecated and filled with 0xFF.
  std::fill(h.begin() + kOffFM, h.begin() + kOffFP + 128, 0xFF);
  h[kOffSentinel] = 0x80;
  h[kOffCrypt] = bCryptMethod;
  StoreU64(s, kOffBidNextB, bidNextB);
  StoreU32(s, kOffCrcPartial, ComputePstCrc(s.subspan(kOffMagicClient, kCrcPartialLen)));
  StoreU32(s, kOffCrcFull, ComputePstCrc(s.subspan(kOffMagicClient, kCrcFullLen)));
  return h;
}

Header Header::Decode(std::span<const uint8_t> s) {
  if (s.size() < kHeaderSize) throw PstError("header too short");
  if (s[0] != '!' || s[1] != 'B' || s[2] != 'D' || s[3] != 'N') throw PstError("not a .pst file");
  if (GetU16(s, kOffMagicClient) != 0x4D53) throw PstError("bad wMagicClient");
  if (GetU32(s, kOffCrcPartial) != ComputePstCrc(s.subspan(kOffMagicClient, kCrcPartialLen)))
    throw PstError("header dwCRCPartial mismatch");
  if (GetU32(s, kOffCrcFull) != ComputePstCrc(s.subspan(kOffMagicClient, kCrcFullLen)))
    throw PstError("header dwCRCFull mismatch");
  Header h;
  h.wVer = GetU16(s, kOffVer);
  h.wVerClient = GetU16(s, kOffVerClient);
  h.dwReserved1 = GetU32(s, kOffReserved1);
  h.dwReserved2 = GetU32(s, kOffReserved2);
  h.bidUnused = GetU64(s, kOffBidUnused);
  h.bidNextP = GetU64(s, kOffBidNextP);
  h.dwUnique = GetU32(s, kOffUnique);
  for (size_t i = 0; i < 32; ++i) h.rgnid[i] = GetU32(s, kOffRgnid + 4 * i);
  h.ibFileEof = GetU64(s, kOffRoot + 4);
  h.ibAMapLast = GetU64(s, kOffRoot + 12);
  h.cbAMapFree = GetU64(s, kOffRoot + 20);
  h.cbPMapFree = GetU64(s, kOffRoot + 28);
  h.nbt = {GetU64(s, kOffRoot + 36), GetU64(s, kOffRoot + 44)};
  h.bbt = {GetU64(s, kOffRoot + 52), GetU64(s, kOffRoot + 60)};
  h.fAMapValid = s[kOffRoot + 68];
  h.bCryptMethod = s[kOffCrypt];
  h.bidNextB = GetU64(s, kOffBidNextB);
  return h;
}

}  // namespace pst::ndb

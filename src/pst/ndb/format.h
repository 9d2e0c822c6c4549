// SPDX-License-Identifier: GPL-3.0-or-later
// On-disk records of the node database of a Unicode .pst file ([MS-PST]
// 2.2.2): identifiers, page and block trailers, B-tree pages, internal blocks
// and the file header. Each record has an Encode and, where the tests or the
// writer read it back, a Decode; all byte work goes through pst/coding.h.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "pst/ndb/node_store.h"

namespace pst::ndb {

inline constexpr size_t kPageSize = 512;
inline constexpr size_t kPageTrailerSize = 16;
inline constexpr size_t kBlockTrailerSize = 16;
inline constexpr size_t kMaxBlockSize = 8192;
inline constexpr uint64_t kSlotSize = 64;

// Fixed places ([MS-PST] 2.2.2.7).
inline constexpr uint64_t kDListOffset = 0x4200;
inline constexpr uint64_t kFirstAMapOffset = 0x4400;
inline constexpr uint64_t kAMapCoverage = 496 * 8 * 64;  // 253,952 bytes
inline constexpr size_t kMapBitsSize = 496;
inline constexpr size_t kHeaderSize = 0x234;

// Page types ([MS-PST] 2.2.2.7.1).
enum class PageType : uint8_t {
  kBbt = 0x80, kNbt = 0x81, kFMap = 0x82, kPMap = 0x83, kAMap = 0x84, kFPMap = 0x85, kDList = 0x86,
};

// Internal blocks ([MS-PST] 2.2.2.8.3.2, 2.2.2.8.3.3).
inline constexpr uint8_t kBlockTypeData = 0x01;     // XBLOCK / XXBLOCK
inline constexpr uint8_t kBlockTypeSubnode = 0x02;  // SLBLOCK / SIBLOCK
inline constexpr size_t kInternalHeaderSize = 8;
inline constexpr size_t kXBlockMaxEntries = (kMaxBlockPayload - kInternalHeaderSize) / 8;    // 1021
inline constexpr size_t kSLBlockMaxEntries = (kMaxBlockPayload - kInternalHeaderSize) / 24;  // 340
inline constexpr size_t kSIBlockMaxEntries = (kMaxBlockPayload - kInternalHeaderSize) / 16;  // 510

// B-tree pages ([MS-PST] 2.2.2.7.7).
inline constexpr size_t kBtEntriesSize = 488;
inline constexpr uint8_t kNbtEntrySize = 32;
inline constexpr uint8_t kBbtEntrySize = 24;
inline constexpr uint8_t kBtEntrySize = 24;
inline constexpr uint8_t kNbtLeafMax = kBtEntriesSize / kNbtEntrySize;  // 15
inline constexpr uint8_t kBbtLeafMax = kBtEntriesSize / kBbtEntrySize;  // 20
inline constexpr uint8_t kBtIntermediateMax = kBtEntriesSize / kBtEntrySize;  // 20

inline constexpr bool IsInternalBid(Bid bid) { return (bid & 2) != 0; }

// The signature of a block or page ([MS-PST] 5.5) from its offset and BID.
uint16_t ComputeSig(uint64_t ib, Bid bid);

// Bytes a block of cb payload bytes takes in the file: payload, padding and
// trailer rounded up to 64.
inline constexpr uint64_t BlockAllocSize(size_t cb) {
  return (cb + kBlockTrailerSize + kSlotSize - 1) / kSlotSize * kSlotSize;
}

struct Bref {
  Bid bid = 0;
  uint64_t ib = 0;
  friend bool operator==(const Bref&, const Bref&) = default;
};

// Completes a 512-byte page: writes the trailer after its 496 bytes of data.
// wSig is computed for B-tree and density-list pages and zero for the maps.
void SealPage(std::span<uint8_t, kPageSize> page, PageType type, Bid bid, uint64_t ib);

// A whole block image: payload (already encoded when it is a data block),
// zero padding and the trailer.
std::vector<uint8_t> EncodeBlock(std::span<const uint8_t> payload, Bid bid, uint64_t ib);
// The same in place: image is BlockAllocSize(cb) bytes whose first cb are
// the payload as stored; the padding is zeroed and the trailer written.
void SealBlock(std::span<uint8_t> image, size_t cb, Bid bid, uint64_t ib);

// Leaf and intermediate B-tree entries.
struct NbtEntry {
  Nid nid = 0;
  Bid data = 0;
  Bid subnodes = 0;
  Nid parent = 0;
};
struct BbtEntry {
  Bref bref;
  uint16_t cb = 0;
  uint16_t cRef = 0;
};
struct BtEntry {
  uint64_t key = 0;
  Bref bref;
};

// A B-tree page from its entries; exactly one of the entry lists is used:
// leaves for cLevel 0 (NBT or BBT by type), children above.
std::array<uint8_t, kPageSize> EncodeNbtLeaf(std::span<const NbtEntry> entries, Bid bid, uint64_t ib);
std::array<uint8_t, kPageSize> EncodeBbtLeaf(std::span<const BbtEntry> entries, Bid bid, uint64_t ib);
// A leaf page's entries as the encoders above wrote it. Throws PstError
// when the page is not an NBT (BBT) leaf with that BID: the writer reads
// back only pages of its own.
std::vector<NbtEntry> DecodeNbtLeaf(std::span<const uint8_t> page, Bid bid);
std::vector<BbtEntry> DecodeBbtLeaf(std::span<const uint8_t> page, Bid bid);
std::array<uint8_t, kPageSize> EncodeIntermediate(PageType type, uint8_t level,
                                                  std::span<const BtEntry> entries, Bid bid,
                                                  uint64_t ib);

// Internal blocks: the payload bytes (before the trailer).
std::vector<uint8_t> EncodeXBlock(uint8_t level, std::span<const Bid> bids, uint32_t totalSize);
std::vector<uint8_t> EncodeSLBlock(std::span<const SubnodeEntry> entries);
struct SIEntry {
  Nid nid = 0;
  Bid bid = 0;
};
std::vector<uint8_t> EncodeSIBlock(std::span<const SIEntry> entries);

// Parsed internal block. Throws PstError when the bytes are not one.
struct InternalBlock {
  uint8_t type = 0;
  uint8_t level = 0;
  uint32_t totalSize = 0;              // XBLOCK / XXBLOCK only
  std::vector<Bid> bids;               // XBLOCK / XXBLOCK children, SIBLOCK's SLBLOCKs
  std::vector<Nid> nids;               // SIBLOCK keys
  std::vector<SubnodeEntry> subnodes;  // SLBLOCK entries
};
InternalBlock DecodeInternalBlock(std::span<const uint8_t> payload);

// The file header ([MS-PST] 2.2.2.6), Unicode layout.
struct Header {
  uint32_t dwReserved1 = 0;
  uint32_t dwReserved2 = 0;
  uint64_t bidUnused = 0;
  uint64_t bidNextP = 0;
  uint64_t bidNextB = 0;
  uint32_t dwUnique = 0;
  std::array<uint32_t, 32> rgnid{};
  uint64_t ibFileEof = 0;
  uint64_t ibAMapLast = 0;
  uint64_t cbAMapFree = 0;
  uint64_t cbPMapFree = 0;
  Bref nbt;
  Bref bbt;
  uint8_t fAMapValid = 0;
  uint8_t bCryptMethod = 1;
  uint16_t wVer = 23;
  uint16_t wVerClient = 19;

  std::array<uint8_t, kHeaderSize> Encode() const;
  // Throws PstError on a wrong magic or CRC.
  static Header Decode(std::span<const uint8_t> bytes);
};

inline constexpr uint8_t kAMapInvalid = 0x00;
inline constexpr uint8_t kAMapValid2 = 0x02;

}  // namespace pst::ndb

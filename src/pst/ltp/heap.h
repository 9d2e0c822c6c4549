// SPDX-License-Identifier: GPL-3.0-or-later
// The heap-on-node ([MS-PST] 2.3.1): variable-size allocations of at most
// 3580 bytes packed into the data blocks of one node, addressed by HIDs.
//
// Page 0 starts with HNHDR, pages 8, 136, 264, ... with HNBITMAPHDR, every
// other page with HNPAGEHDR; each page ends with its HNPAGEMAP. A page keeps
// its allocations in index order, so an allocation may move inside its page
// while its HID stays the same.
//
// The heap lives in memory between flushes. Flush writes only the pages that
// changed since the last flush as new blocks and reuses the blocks of the
// others by BID, so growing a large heap costs what changed, not its size.
// Pages that are clean after a flush may be dropped from memory and are read
// back from the store when touched again. Indexes freed on the last page are
// given out again, so a table that keeps reallocating its newest parts does
// not grow its page maps.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pst/ndb/node_store.h"

namespace pst::ltp {

using Hid = uint32_t;

// Largest single heap allocation ([MS-PST] 2.3.1.5).
inline constexpr size_t kMaxHeapAlloc = 3580;

// bClientSig values ([MS-PST] 2.3.1.2).
inline constexpr uint8_t kClientSigTC = 0x7C;
inline constexpr uint8_t kClientSigBTH = 0xB5;
inline constexpr uint8_t kClientSigPC = 0xBC;

inline constexpr Hid MakeHid(uint32_t page, uint32_t index) { return (page << 16) | (index << 5); }
inline constexpr uint32_t HidPage(Hid h) { return h >> 16; }
inline constexpr uint32_t HidIndex(Hid h) { return (h >> 5) & 0x7FF; }
// An HNID names a heap allocation when its low five bits are zero, a subnode otherwise.
inline constexpr bool IsHid(uint32_t hnid) { return (hnid & 0x1F) == 0; }

class Heap {
 public:
  Heap(NodeStore& store, uint8_t clientSig);
  Heap(const Heap&) = delete;
  Heap& operator=(const Heap&) = delete;

  // REQUIRES: 0 < bytes.size() <= kMaxHeapAlloc.
  Hid Allocate(std::span<const uint8_t> bytes);
  // Replaces the bytes of an allocation; the HID stays the same.
  // REQUIRES: 0 < bytes.size() <= kMaxHeapAlloc.
  void Rewrite(Hid hid, std::span<const uint8_t> bytes);
  void Free(Hid hid);
  std::vector<uint8_t> Read(Hid hid);

  void SetUserRoot(Hid hid);
  Hid userRoot() const { return userRoot_; }

  // Writes the changed pages and returns the data tree of the heap.
  // dropClean: forget the contents of clean pages except the last one.
  Bid Flush(bool dropClean = true);
  size_t pageCount() const { return pages_.size(); }

 private:
  struct Page {
    Bid bid = 0;
    bool dirty = true;
    bool loaded = true;
    std::vector<std::vector<uint8_t>> slots;  // by index - 1; freed slots are empty
    size_t slotCount = 0;
    size_t dataBytes = 0;
    size_t freed = 0;
    uint8_t fillLevel = 0;
  };
  static size_t HeaderSize(size_t page);
  static size_t EncodedSize(size_t page, size_t slotCount, size_t dataBytes);
  Page& Touch(uint32_t page);
  Page& Load(uint32_t page);
  std::vector<uint8_t> Encode(size_t index);

  NodeStore& store_;
  uint8_t clientSig_;
  Hid userRoot_ = 0;
  bool rootDirty_ = true;
  std::vector<Page> pages_;
};

}  // namespace pst::ltp

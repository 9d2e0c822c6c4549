// SPDX-License-Identifier: GPL-3.0-or-later
// Space management of a .pst file ([MS-PST] 2.2.2.7.2-2.2.2.7.6, 2.6.1.1):
// the file is a run of sections of 253,952 bytes, each starting with its AMap
// page, whose bits mark 64-byte slots in use. Every eighth section also holds
// a PMap page, and FMap and FPMap pages appear once the file outgrows what
// the header's own rgbFM and rgbFP describe.
//
// Space released while a transaction is open is only marked free when the
// transaction commits (ApplyReleases), so the last committed state is never
// overwritten by new data.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "pst/ndb/format.h"

namespace pst::ndb {

class AllocationMap {
 public:
  // A new file: one section with its AMap and PMap.
  AllocationMap();

  // Offset of a run of bytes (rounded up to 64) inside one section; pages
  // (512 bytes) are 512-byte aligned. Returns 0 when nothing fits: the
  // caller grows the file first (AddSections) and asks again.
  // REQUIRES: bytes <= 8192.
  uint64_t Allocate(uint64_t bytes, bool page);
  // Appends count empty sections; returns the first new one.
  size_t AddSections(size_t count);
  size_t SectionCount() const { return sections_.size(); }
  // The map pages of one section as written when it is new, whatever has
  // been allocated in it since. FMaps report no free space for sections
  // they did not know when written; the next full write corrects them.
  std::vector<std::pair<uint64_t, std::array<uint8_t, kPageSize>>> FreshPages(size_t section) const;
  // Drops trailing sections that hold nothing but their own map pages
  // (never the first); returns how many were dropped.
  size_t TrimEmptyTail();
  // Where the file would end after TrimEmptyTail: what a closed file's size
  // is when nothing more is allocated.
  uint64_t UsedEnd() const;
  // Marks [ib, ib+bytes) for release at the next ApplyReleases.
  void Release(uint64_t ib, uint64_t bytes);
  // Frees everything released since the last call.
  void ApplyReleases();

  uint64_t EndOfFile() const { return kFirstAMapOffset + sections_.size() * kAMapCoverage; }
  uint64_t LastAMapOffset() const { return SectionOffset(sections_.size() - 1); }
  // Free bytes as the bitmaps say (cbAMapFree): kept up to date as slots
  // change, and counted afresh from the bitmaps.
  uint64_t FreeBytes() const { return freeSlots_ * kSlotSize; }
  uint64_t CountFreeBytes() const;
  bool IsAllocated(uint64_t ib, uint64_t bytes) const;

  // The map pages (AMap, PMap, FMap, FPMap) changed since the last call,
  // ready to write; all of them when everything is true.
  std::vector<std::pair<uint64_t, std::array<uint8_t, kPageSize>>> TakeDirtyPages(bool everything);
  // The same, handed over one page at a time: all the maps of a large file
  // together are megabytes.
  using PageSink = std::function<void(uint64_t ib, const std::array<uint8_t, kPageSize>& page)>;
  void TakeDirtyPages(bool everything, const PageSink& sink);

  static uint64_t SectionOffset(size_t i) { return kFirstAMapOffset + i * kAMapCoverage; }
  static bool HasPMap(size_t i) { return i % 8 == 0; }
  static bool HasFMap(size_t i) { return i >= 128 && (i - 128) % 496 == 0; }
  static bool HasFPMap(size_t i) { return i >= 8 * 1024 && (i - 8 * 1024) % (496 * 8 * 8) == 0; }
  // Number of map pages at the start of section i.
  static size_t MapPagesIn(size_t i) {
    return 1 + (HasPMap(i) ? 1 : 0) + (HasFMap(i) ? 1 : 0) + (HasFPMap(i) ? 1 : 0);
  }

 private:
  static constexpr size_t kSlots = kMapBitsSize * 8;  // 3968
  struct Section {
    std::array<uint8_t, kMapBitsSize> bits{};
    uint16_t maxRun = 0;     // longest run of free slots
    uint16_t freeBytes = 0;  // whole zero bytes (free aligned pages)
    bool dirty = true;
  };

  void AddSection();
  bool HoldsOnlyMaps(size_t i) const;
  void Refresh(size_t i);
  void SetSlots(size_t section, size_t first, size_t count, bool used);
  int FindRun(const Section& s, size_t slots, bool page) const;
  size_t FindSection(size_t slots, bool page) const;
  void UpdateTree(size_t i);

  std::vector<Section> sections_;
  std::vector<std::pair<uint64_t, uint64_t>> released_;
  uint64_t freeSlots_ = 0;
  // Max-trees over sections of maxRun and freeBytes for first-fit search.
  size_t treeSize_ = 0;
  std::vector<uint16_t> runTree_;
  std::vector<uint16_t> byteTree_;
};

}  // namespace pst::ndb

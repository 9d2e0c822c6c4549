// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/ndb/allocation_map.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "pst/coding.h"

namespace pst::ndb {

namespace {

// Eight map bytes in any order: only all-zero and all-one words are told apart.
uint64_t Word(const uint8_t* bytes) {
  uint64_t w;
  std::memcpy(&w, bytes, sizeof w);
  return w;
}

}  // namespace

AllocationMap::AllocationMap() { AddSection(); }

void AllocationMap::AddSection() {
  const size_t i = sections_.size();
  sections_.emplace_back();
  freeSlots_ += kSlots;
  // The section's own map pages come first and are always in use.
  SetSlots(i, 0, MapPagesIn(i) * (kPageSize / kSlotSize), true);
  if (treeSize_ < sections_.size()) {
    size_t n = 1;
    while (n < sections_.size() * 2) n *= 2;
    treeSize_ = n;
    runTree_.assign(2 * n, 0);
    byteTree_.assign(2 * n, 0);
    for (size_t k = 0; k < sections_.size(); ++k) {
      runTree_[n + k] = sections_[k].maxRun;
      byteTree_[n + k] = sections_[k].freeBytes;
    }
    for (size_t k = n - 1; k >= 1; --k) {
      runTree_[k] = std::max(runTree_[2 * k], runTree_[2 * k + 1]);
      byteTree_[k] = std::max(byteTree_[2 * k], byteTree_[2 * k + 1]);
    }
  }
  Refresh(i);
  // A new FMap covers sections after it; an older one covers this section.
  for (size_t k = i + 1; k-- > 0;) {
    if (HasFMap(k)) {
      if (i - k < 496) sections_[k].dirty = true;
      break;
    }
  }
}

void AllocationMap::SetSlots(size_t section, size_t first, size_t count, bool used) {
  Section& s = sections_[section];
  for (size_t b = first; b < first + count; ++b) {
    const auto mask = static_cast<uint8_t>(0x80u >> (b % 8));  // first slot is the high bit
    const bool was = (s.bits[b / 8] & mask) != 0;
    if (used && !was) {
      s.bits[b / 8] |= mask;
      --freeSlots_;
    } else if (!used && was) {
      s.bits[b / 8] &= static_cast<uint8_t>(~mask);
      ++freeSlots_;
    }
  }
  s.dirty = true;
  if (section >= 128) {  // the FMap covering this section changes too
    size_t k = section;
    while (!HasFMap(k)) --k;
    if (section - k < 496) sections_[k].dirty = true;
  }
}

void AllocationMap::Refresh(size_t i) {
  Section& s = sections_[i];
  uint16_t run = 0, best = 0, zeroBytes = 0;
  for (size_t byte = 0; byte < kMapBitsSize; ++byte) {
    // Eight bytes all free or all in use, as most of a map is, at once.
    if (byte % 8 == 0) {
      const uint64_t word = Word(s.bits.data() + byte);
      if (word == 0) {
        zeroBytes = static_cast<uint16_t>(zeroBytes + 8);
        run = static_cast<uint16_t>(run + 64);
        best = std::max(best, run);
        byte += 7;
        continue;
      }
      if (word == ~uint64_t{0}) {
        run = 0;
        byte += 7;
        continue;
      }
    }
    const uint8_t v = s.bits[byte];
    if (v == 0) {
      ++zeroBytes;
      run = static_cast<uint16_t>(run + 8);
      best = std::max(best, run);
      continue;
    }
    if (v == 0xFF) {
      run = 0;
      continue;
    }
    for (int bit = 7; bit >= 0; --bit) {
      if (v & (1u << bit)) {
        run = 0;
      } else {
        ++run;
        best = std::max(best, run);
      }
    }
  }
  s.maxRun = best;
  s.freeBytes = zeroBytes;
  UpdateTree(i);
}

void AllocationMap::UpdateTree(size_t i) {
  size_t k = treeSize_ + i;
  runTree_[k] = sections_[i].maxRun;
  byteTree_[k] = sections_[i].freeBytes;
  for (k /= 2; k >= 1; k /= 2) {
    runTree_[k] = std::max(runTree_[2 * k], runTree_[2 * k + 1]);
    byteTree_[k] = std::max(byteTree_[2 * k], byteTree_[2 * k + 1]);
  }
}

size_t AllocationMap::FindSection(size_t slots, bool page) const {
  const std::vector<uint16_t>& tree = page ? byteTree_ : runTree_;
  const size_t need = page ? 1 : slots;
  if (tree[1] < need) return sections_.size();
  size_t k = 1;
  while (k < treeSize_) k = tree[2 * k] >= need ? 2 * k : 2 * k + 1;
  return k - treeSize_;
}

int AllocationMap::FindRun(const Section& s, size_t slots, bool page) const {
  if (page) {
    for (size_t byte = 0; byte < kMapBitsSize; ++byte)
      if (s.bits[byte] == 0) return static_cast<int>(byte * 8);
    return -1;
  }
  size_t run = 0;
  size_t b = 0;
  while (b < kSlots) {
    // Eight bytes all in use are passed over at once, and eight all free
    // either end the run or add to it.
    if (b % 64 == 0) {
      const uint64_t word = Word(s.bits.data() + b / 8);
      if (word == ~uint64_t{0}) {
        run = 0;
        b += 64;
        continue;
      }
      if (word == 0) {
        if (run + 64 >= slots) return static_cast<int>(b - run);
        run += 64;
        b += 64;
        continue;
      }
    }
    const uint8_t v = s.bits[b / 8];
    if (b % 8 == 0 && v == 0xFF) {
      run = 0;
      b += 8;
      continue;
    }
    if (v & (0x80u >> (b % 8))) {
      run = 0;
    } else if (++run == slots) {
      return static_cast<int>(b + 1 - slots);
    }
    ++b;
  }
  return -1;
}

uint64_t AllocationMap::Allocate(uint64_t bytes, bool page) {
  const size_t slots = static_cast<size_t>((bytes + kSlotSize - 1) / kSlotSize);
  for (;;) {
    const size_t i = FindSection(slots, page);
    if (i < sections_.size()) {
      const int at = FindRun(sections_[i], slots, page);
      if (at >= 0) {
        SetSlots(i, static_cast<size_t>(at), slots, true);
        Refresh(i);
        return SectionOffset(i) + static_cast<uint64_t>(at) * kSlotSize;
      }
    }
    return 0;
  }
}

size_t AllocationMap::AddSections(size_t count) {
  const size_t first = sections_.size();
  for (size_t k = 0; k < count; ++k) AddSection();
  return first;
}

std::vector<std::pair<uint64_t, std::array<uint8_t, kPageSize>>> AllocationMap::FreshPages(
    size_t section) const {
  std::vector<std::pair<uint64_t, std::array<uint8_t, kPageSize>>> out;
  const size_t mapSlots = MapPagesIn(section) * (kPageSize / kSlotSize);
  uint64_t ib = SectionOffset(section);
  std::array<uint8_t, kPageSize> amap{};
  for (size_t b = 0; b < mapSlots; ++b) amap[b / 8] |= static_cast<uint8_t>(0x80u >> (b % 8));
  SealPage(amap, PageType::kAMap, ib, ib);
  out.emplace_back(ib, amap);
  auto filled = [&](PageType type, uint8_t fill) {
    ib += kPageSize;
    std::array<uint8_t, kPageSize> page{};
    std::fill(page.begin(), page.begin() + kMapBitsSize, fill);
    SealPage(page, type, ib, ib);
    out.emplace_back(ib, page);
  };
  if (HasPMap(section)) filled(PageType::kPMap, 0xFF);
  if (HasFMap(section)) filled(PageType::kFMap, 0x00);
  if (HasFPMap(section)) filled(PageType::kFPMap, 0xFF);
  return out;
}

bool AllocationMap::HoldsOnlyMaps(size_t i) const {
  size_t used = 0;
  for (uint8_t v : sections_[i].bits) used += static_cast<size_t>(std::popcount(v));
  return used == MapPagesIn(i) * (kPageSize / kSlotSize);
}

uint64_t AllocationMap::UsedEnd() const {
  // Asked for every message stored, over up to 256 sections grown ahead:
  // the longest free run tells without reading the bits, as the map pages
  // open each section and a section otherwise empty is one run after them.
  size_t n = sections_.size();
  while (n > 1 && sections_[n - 1].maxRun == kSlots - MapPagesIn(n - 1) * (kPageSize / kSlotSize)) --n;
  return SectionOffset(n);
}

size_t AllocationMap::TrimEmptyTail() {
  size_t dropped = 0;
  while (sections_.size() > 1) {
    const size_t i = sections_.size() - 1;
    const size_t mapSlots = MapPagesIn(i) * (kPageSize / kSlotSize);
    if (!HoldsOnlyMaps(i)) break;
    freeSlots_ -= kSlots - mapSlots;
    sections_[i].maxRun = 0;
    sections_[i].freeBytes = 0;
    UpdateTree(i);
    sections_.pop_back();
    ++dropped;
  }
  if (dropped) {  // the FMap covering the new last sections is rewritten
    for (size_t k = sections_.size(); k-- > 0;)
      if (HasFMap(k)) {
        sections_[k].dirty = true;
        break;
      }
  }
  return dropped;
}

void AllocationMap::Release(uint64_t ib, uint64_t bytes) { released_.emplace_back(ib, bytes); }

void AllocationMap::ApplyReleases() {
  std::vector<size_t> touched;
  for (const auto& [ib, bytes] : released_) {
    const size_t i = static_cast<size_t>((ib - kFirstAMapOffset) / kAMapCoverage);
    const size_t first = static_cast<size_t>((ib - SectionOffset(i)) / kSlotSize);
    const size_t count = static_cast<size_t>((bytes + kSlotSize - 1) / kSlotSize);
    SetSlots(i, first, count, false);
    touched.push_back(i);
  }
  released_.clear();
  std::sort(touched.begin(), touched.end());
  touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
  for (size_t i : touched) Refresh(i);
}

uint64_t AllocationMap::CountFreeBytes() const {
  uint64_t freeSlots = 0;
  for (const Section& s : sections_)
    for (uint8_t v : s.bits) freeSlots += 8 - static_cast<uint64_t>(std::popcount(v));
  return freeSlots * kSlotSize;
}

bool AllocationMap::IsAllocated(uint64_t ib, uint64_t bytes) const {
  for (uint64_t at = ib; at < ib + bytes; at += kSlotSize) {
    const size_t i = static_cast<size_t>((at - kFirstAMapOffset) / kAMapCoverage);
    if (i >= sections_.size()) return false;
    const size_t b = static_cast<size_t>((at - SectionOffset(i)) / kSlotSize);
    if (!(sections_[i].bits[b / 8] & (0x80u >> (b % 8)))) return false;
  }
  return true;
}

std::vector<std::pair<uint64_t, std::array<uint8_t, kPageSize>>> AllocationMap::TakeDirtyPages(
    bool everything) {
  std::vector<std::pair<uint64_t, std::array<uint8_t, kPageSize>>> out;
  TakeDirtyPages(everything, [&out](uint64_t ib, const std::array<uint8_t, kPageSize>& page) {
    out.emplace_back(ib, page);
  });
  return out;
}

void AllocationMap::TakeDirtyPages(bool everything, const PageSink& sink) {
  for (size_t i = 0; i < sections_.size(); ++i) {
    Section& s = sections_[i];
    if (!s.dirty && !everything) continue;
    s.dirty = false;
    uint64_t ib = SectionOffset(i);
    std::array<uint8_t, kPageSize> amap{};
    std::copy(s.bits.begin(), s.bits.end(), amap.begin());
    SealPage(amap, PageType::kAMap, ib, ib);
    sink(ib, amap);
    if (HasPMap(i)) {
      // Pages are found through the AMaps and the density list; the PMap
      // is kept with all pages marked taken, as Outlook does.
      ib += kPageSize;
      std::array<uint8_t, kPageSize> pmap{};
      std::fill(pmap.begin(), pmap.begin() + kMapBitsSize, 0xFF);
      SealPage(pmap, PageType::kPMap, ib, ib);
      sink(ib, pmap);
    }
    if (HasFMap(i)) {
      // One byte per AMap from this section on: its longest free run, in
      // slots, capped at 255.
      ib += kPageSize;
      std::array<uint8_t, kPageSize> fmap{};
      for (size_t k = 0; k < kMapBitsSize && i + k < sections_.size(); ++k)
        fmap[k] = static_cast<uint8_t>(std::min<uint16_t>(sections_[i + k].maxRun, 255));
      SealPage(fmap, PageType::kFMap, ib, ib);
      sink(ib, fmap);
    }
    if (HasFPMap(i)) {
      ib += kPageSize;
      std::array<uint8_t, kPageSize> fpmap{};
      std::fill(fpmap.begin(), fpmap.begin() + kMapBitsSize, 0xFF);
      SealPage(fpmap, PageType::kFPMap, ib, ib);
      sink(ib, fpmap);
    }
  }
}

}  // namespace pst::ndb

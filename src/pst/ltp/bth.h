// SPDX-License-Identifier: GPL-3.0-or-later
// The BTree-on-heap ([MS-PST] 2.3.2): sorted fixed-size records in heap
// allocations, a BTHHEADER naming the root, leaves of key+data records and
// intermediate levels of key+HID records.
//
// Keys are at most four bytes here (property ids, row ids) and compare as
// unsigned numbers. The records are kept in memory in key order; Flush
// rewrites only the leaves from the first changed record onwards and the
// (small) intermediate levels, so appending keys in ascending order touches
// the last leaf and the levels above it, not the whole tree.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "pst/ltp/heap.h"

namespace pst::ltp {

class Bth {
 public:
  // Allocates the BTHHEADER in heap. REQUIRES: 1 <= cbKey <= 4, 1 <= cbEnt <= 32.
  Bth(Heap& heap, uint8_t cbKey, uint8_t cbEnt);
  Bth(const Bth&) = delete;
  Bth& operator=(const Bth&) = delete;

  Hid header() const { return header_; }
  size_t size() const { return flat_.size() / recordSize(); }

  // Inserts or replaces. REQUIRES: data.size() == cbEnt.
  void Put(uint32_t key, std::span<const uint8_t> data);
  std::optional<std::vector<uint8_t>> Find(uint32_t key) const;

  // Writes the changed nodes and the header into the heap.
  void Flush();

 private:
  struct Node {
    Hid hid;
    size_t first;  // index of the first record
    size_t count;
  };
  size_t recordSize() const { return cbKey_ + cbEnt_; }
  uint32_t KeyAt(size_t i) const;
  size_t LowerBound(uint32_t key) const;

  Heap& heap_;
  uint8_t cbKey_, cbEnt_;
  Hid header_ = 0;
  std::vector<uint8_t> flat_;
  std::vector<Node> leaves_;
  std::vector<Hid> upper_;  // intermediate nodes of the last flush
  size_t dirtyFrom_ = 0;
  bool dirty_ = true;
  uint8_t levels_ = 0;
  Hid root_ = 0;
};

}  // namespace pst::ltp

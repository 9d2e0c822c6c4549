// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/ltp/bth.h"

#include <algorithm>

#include "model/invariant.h"
#include "pst/coding.h"

namespace pst::ltp {

Bth::Bth(Heap& heap, uint8_t cbKey, uint8_t cbEnt) : heap_(heap), cbKey_(cbKey), cbEnt_(cbEnt) {
  // Keys are held as 32-bit numbers here.
  VERDALINE_INVARIANT((cbKey == 2 || cbKey == 4) && cbEnt != 0 && cbEnt <= 32, "bth: unsupported record sizes");
  std::vector<uint8_t> hdr = {kClientSigBTH, cbKey, cbEnt, 0, 0, 0, 0, 0};
  header_ = heap_.Allocate(hdr);
}

uint32_t Bth::KeyAt(size_t i) const {
  uint32_t k = 0;
  const uint8_t* p = flat_.data() + i * recordSize();
  for (size_t b = 0; b < cbKey_; ++b) k |= static_cast<uint32_t>(p[b]) << (8 * b);
  return k;
}

size_t Bth::LowerBound(uint32_t key) const {
  size_t lo = 0, hi = size();
  // Appends in ascending order are the common case: check the end first.
  if (hi > 0 && KeyAt(hi - 1) < key) return hi;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (KeyAt(mid) < key) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

void Bth::Put(uint32_t key, std::span<const uint8_t> data) {
  VERDALINE_INVARIANT(data.size() == cbEnt_, "bth: record data of the wrong size");
  size_t i = LowerBound(key);
  size_t at = i * recordSize();
  if (i < size() && KeyAt(i) == key) {
    std::copy(data.begin(), data.end(), flat_.begin() + static_cast<std::ptrdiff_t>(at + cbKey_));
  } else {
    uint8_t rec[4 + 32];  // sizes checked on construction
    for (size_t b = 0; b < cbKey_; ++b) rec[b] = static_cast<uint8_t>(key >> (8 * b));
    std::copy(data.begin(), data.end(), rec + cbKey_);
    flat_.insert(flat_.begin() + static_cast<std::ptrdiff_t>(at), rec, rec + recordSize());
  }
  dirtyFrom_ = dirty_ ? std::min(dirtyFrom_, i) : i;
  dirty_ = true;
}

std::optional<std::vector<uint8_t>> Bth::Find(uint32_t key) const {
  size_t i = LowerBound(key);
  if (i >= size() || KeyAt(i) != key) return std::nullopt;
  auto from = flat_.begin() + static_cast<std::ptrdiff_t>(i * recordSize() + cbKey_);
  return std::vector<uint8_t>(from, from + cbEnt_);
}

void Bth::Flush() {
  if (!dirty_) return;
  const size_t perLeaf = kMaxHeapAlloc / recordSize();
  // Leaves from the one holding the first changed record onwards are rebuilt.
  size_t keep = 0;
  while (keep < leaves_.size() && leaves_[keep].first + leaves_[keep].count <= dirtyFrom_) ++keep;
  // The last kept leaf must be full, or new records could have gone into it.
  if (keep > 0 && keep == leaves_.size() && leaves_[keep - 1].count < perLeaf) --keep;
  // A leaf that keeps its place and record count is rewritten where it is,
  // so its HID (and the level above) need not change.
  std::vector<Node> old(leaves_.begin() + static_cast<std::ptrdiff_t>(keep), leaves_.end());
  leaves_.resize(keep);
  size_t next = keep ? leaves_.back().first + leaves_.back().count : 0;
  size_t reuse = 0;
  while (next < size()) {
    size_t n = std::min(perLeaf, size() - next);
    auto from = flat_.begin() + static_cast<std::ptrdiff_t>(next * recordSize());
    std::vector<uint8_t> bytes(from, from + static_cast<std::ptrdiff_t>(n * recordSize()));
    if (reuse < old.size() && old[reuse].first == next && old[reuse].count == n) {
      heap_.Rewrite(old[reuse].hid, bytes);
      leaves_.push_back(old[reuse++]);
    } else {
      leaves_.push_back({heap_.Allocate(bytes), next, n});
    }
    next += n;
  }
  for (size_t j = reuse; j < old.size(); ++j) heap_.Free(old[j].hid);
  // Intermediate levels over the leaves.
  for (Hid h : upper_) heap_.Free(h);
  upper_.clear();
  struct Entry {
    uint32_t key;
    Hid hid;
  };
  std::vector<Entry> level;
  for (const Node& n : leaves_) level.push_back({KeyAt(n.first), n.hid});
  levels_ = 0;
  const size_t perNode = kMaxHeapAlloc / (cbKey_ + 4u);
  while (level.size() > 1) {
    std::vector<Entry> up;
    for (size_t i = 0; i < level.size(); i += perNode) {
      std::vector<uint8_t> bytes;
      size_t end = std::min(level.size(), i + perNode);
      for (size_t j = i; j < end; ++j) {
        for (size_t b = 0; b < cbKey_; ++b) bytes.push_back(static_cast<uint8_t>(level[j].key >> (8 * b)));
        PutU32(bytes, level[j].hid);
      }
      Hid h = heap_.Allocate(bytes);
      upper_.push_back(h);
      up.push_back({level[i].key, h});
    }
    level = std::move(up);
    ++levels_;
  }
  root_ = level.empty() ? 0 : level.front().hid;
  std::vector<uint8_t> hdr = {kClientSigBTH, cbKey_, cbEnt_, levels_};
  PutU32(hdr, root_);
  heap_.Rewrite(header_, hdr);
  dirty_ = false;
}

}  // namespace pst::ltp

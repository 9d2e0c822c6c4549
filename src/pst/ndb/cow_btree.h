// SPDX-License-Identifier: GPL-3.0-or-later
// An in-memory image of one of the file's B-trees (the NBT or the BBT,
// [MS-PST] 2.2.2.7.7), kept page for page as it is on disk so that a commit
// writes only the pages that changed. A changed page is written to a new
// place (copy-on-write); its parents change with it, up to the root, and the
// old copies are handed back for release once the commit is durable.
//
// Given a loader, a leaf page's records leave memory once the page is
// written, and are read back from the file when it is next looked at: a
// file of a million messages then holds in memory only the pages above the
// leaves and the leaves changed since the last commit.
//
// Record must have a `uint64_t key() const`.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "pst/ndb/format.h"

namespace pst::ndb {

template <typename Record>
class CowBTree {
 public:
  explicit CowBTree(size_t leafMax) : leafMax_(leafMax), root_(std::make_unique<Page>()) {}

  // The records of the leaf page written at a place, as it was written.
  using Loader = std::function<std::vector<Record>(const Bref& where)>;
  void SetLoader(Loader load) { load_ = std::move(load); }

  // The pointer is good until the next call on the tree.
  const Record* Find(uint64_t key) const {
    const Page* p = root_.get();
    while (p->level > 0) {
      if (p->keys.empty() || key < p->keys[0]) return nullptr;
      p = p->kids[ChildIndex(*p, key)].get();
    }
    const std::vector<Record>& leaves = Leaves(*p);
    auto it = std::lower_bound(leaves.begin(), leaves.end(), key,
                               [](const Record& r, uint64_t k) { return r.key() < k; });
    return it != leaves.end() && it->key() == key ? &*it : nullptr;
  }

  // The record for key, its pages marked changed; nullptr when absent.
  Record* FindForUpdate(uint64_t key) {
    if (!Find(key)) return nullptr;
    Page* p = root_.get();
    while (p->level > 0) {
      p->dirty = true;
      p = p->kids[ChildIndex(*p, key)].get();
    }
    Load(*p);
    p->dirty = true;
    return &*LowerBound(*p, key);
  }

  // Inserts the record or replaces the one with its key.
  void Upsert(const Record& r) {
    std::unique_ptr<Page> right = InsertInto(*root_, r);
    if (right) {
      auto top = std::make_unique<Page>();
      top->level = static_cast<uint8_t>(root_->level + 1);
      top->keys = {FirstKey(*root_), FirstKey(*right)};
      top->kids.push_back(std::move(root_));
      top->kids.push_back(std::move(right));
      root_ = std::move(top);
    }
  }

  bool Erase(uint64_t key) {
    // Pages may be freed: the scratch copy names none of them after this.
    scratchOf_ = nullptr;
    if (!EraseFrom(*root_, key)) return false;
    --size_;
    while (root_->level > 0 && root_->kids.size() == 1) {
      Drop(*root_);
      std::unique_ptr<Page> kid = std::move(root_->kids[0]);
      root_ = std::move(kid);
    }
    if (root_->level > 0 && root_->kids.empty()) {
      Drop(*root_);
      root_ = std::make_unique<Page>();
    }
    return true;
  }

  size_t size() const { return size_; }
  uint8_t depth() const { return static_cast<uint8_t>(root_->level + 1); }

  // Writes every changed page, children before parents. write(level,
  // leaves, children) places one page and returns where it went; release(bref)
  // receives each superseded or dropped page. Returns the root's place.
  template <typename WriteFn, typename ReleaseFn>
  Bref Commit(WriteFn&& write, ReleaseFn&& release) {
    for (const Bref& b : dropped_) release(b);
    dropped_.clear();
    CommitPage(*root_, write, release);
    return root_->where;
  }

  // Calls fn(record) in key order.
  template <typename Fn>
  void ForEach(Fn&& fn) const { Visit(*root_, fn); }

 private:
  struct Page {
    uint8_t level = 0;
    std::vector<Record> leaves;                // level 0
    std::vector<uint64_t> keys;                // level > 0: first key of each child
    std::vector<std::unique_ptr<Page>> kids;   // level > 0
    Bref where;                                // committed copy; bid 0 when none
    bool dirty = true;
    bool evicted = false;                      // level 0: `leaves` are only in the committed copy
  };

  // A leaf's records, read back into the page when they left it.
  void Load(Page& p) {
    if (!p.evicted) return;
    scratchOf_ = nullptr;
    p.leaves = load_(p.where);
    p.evicted = false;
  }
  // A leaf's records for reading only: an evicted leaf is read into one
  // scratch page rather than back into the tree.
  const std::vector<Record>& Leaves(const Page& p) const {
    if (!p.evicted) return p.leaves;
    if (scratchOf_ != &p) {
      scratch_ = load_(p.where);
      scratchOf_ = &p;
    }
    return scratch_;
  }
  void Evict(Page& p) {
    if (!load_ || p.level != 0 || p.dirty || p.where.bid == 0) return;
    std::vector<Record>().swap(p.leaves);
    p.evicted = true;
    if (scratchOf_ == &p) scratchOf_ = nullptr;
  }

  static typename std::vector<Record>::const_iterator LowerBound(const Page& p, uint64_t key) {
    return std::lower_bound(p.leaves.begin(), p.leaves.end(), key,
                            [](const Record& r, uint64_t k) { return r.key() < k; });
  }
  static typename std::vector<Record>::iterator LowerBound(Page& p, uint64_t key) {
    return std::lower_bound(p.leaves.begin(), p.leaves.end(), key,
                            [](const Record& r, uint64_t k) { return r.key() < k; });
  }
  static size_t ChildIndex(const Page& p, uint64_t key) {
    auto it = std::upper_bound(p.keys.begin(), p.keys.end(), key);
    return it == p.keys.begin() ? 0 : static_cast<size_t>(it - p.keys.begin()) - 1;
  }
  static uint64_t FirstKey(const Page& p) {
    return p.level == 0 ? p.leaves.front().key() : p.keys.front();
  }
  static bool Empty(const Page& p) { return p.level == 0 ? p.leaves.empty() : p.kids.empty(); }

  void Drop(const Page& p) {
    if (p.where.bid != 0) dropped_.push_back(p.where);
  }

  // Splits an overfull page. Appending at the end leaves the left page full,
  // so that ascending keys (new NIDs and BIDs) pack the pages densely.
  std::unique_ptr<Page> Split(Page& p, bool appended) {
    auto right = std::make_unique<Page>();
    right->level = p.level;
    const size_t n = p.level == 0 ? p.leaves.size() : p.kids.size();
    const size_t keep = appended ? n - 1 : n / 2;
    if (p.level == 0) {
      right->leaves.assign(p.leaves.begin() + static_cast<long>(keep), p.leaves.end());
      p.leaves.resize(keep);
    } else {
      right->keys.assign(p.keys.begin() + static_cast<long>(keep), p.keys.end());
      for (size_t i = keep; i < n; ++i) right->kids.push_back(std::move(p.kids[i]));
      p.keys.resize(keep);
      p.kids.resize(keep);
    }
    if (appended) {
      // The left page is full and rarely changes again; the whole tree is
      // held in memory, so it gives back the room it grew into.
      p.leaves.shrink_to_fit();
      p.keys.shrink_to_fit();
      p.kids.shrink_to_fit();
    }
    return right;
  }

  std::unique_ptr<Page> InsertInto(Page& p, const Record& r) {
    Load(p);
    p.dirty = true;
    if (p.level == 0) {
      auto it = LowerBound(p, r.key());
      if (it != p.leaves.end() && it->key() == r.key()) {
        *it = r;
        return nullptr;
      }
      const bool appended = it == p.leaves.end();
      p.leaves.insert(it, r);
      ++size_;
      return p.leaves.size() > leafMax_ ? Split(p, appended) : nullptr;
    }
    const size_t idx = ChildIndex(p, r.key());
    std::unique_ptr<Page> right = InsertInto(*p.kids[idx], r);
    p.keys[idx] = FirstKey(*p.kids[idx]);
    if (!right) return nullptr;
    p.keys.insert(p.keys.begin() + static_cast<long>(idx) + 1, FirstKey(*right));
    p.kids.insert(p.kids.begin() + static_cast<long>(idx) + 1, std::move(right));
    const bool appended = idx + 2 == p.kids.size();
    return p.kids.size() > kBtIntermediateMax ? Split(p, appended) : nullptr;
  }

  bool EraseFrom(Page& p, uint64_t key) {
    if (p.level == 0) {
      const bool wasEvicted = p.evicted;
      Load(p);
      auto it = LowerBound(p, key);
      if (it == p.leaves.end() || it->key() != key) {
        if (wasEvicted) Evict(p);
        return false;
      }
      p.leaves.erase(it);
      p.dirty = true;
      return true;
    }
    if (p.keys.empty() || key < p.keys[0]) return false;
    const size_t idx = ChildIndex(p, key);
    Page& kid = *p.kids[idx];
    if (!EraseFrom(kid, key)) return false;
    p.dirty = true;
    if (Empty(kid)) {
      Drop(kid);
      p.kids.erase(p.kids.begin() + static_cast<long>(idx));
      p.keys.erase(p.keys.begin() + static_cast<long>(idx));
    } else {
      p.keys[idx] = FirstKey(kid);
    }
    return true;
  }

  template <typename WriteFn, typename ReleaseFn>
  void CommitPage(Page& p, WriteFn& write, ReleaseFn& release) {
    if (!p.dirty) return;
    std::vector<BtEntry> children;
    for (size_t i = 0; i < p.kids.size(); ++i) {
      CommitPage(*p.kids[i], write, release);
      children.push_back({p.keys[i], p.kids[i]->where});
    }
    if (p.where.bid != 0) release(p.where);
    p.where = write(p.level, std::span<const Record>(p.leaves), std::span<const BtEntry>(children));
    p.dirty = false;
    Evict(p);
  }

  template <typename Fn>
  void Visit(const Page& p, Fn& fn) const {
    if (p.level == 0) {
      for (const Record& r : Leaves(p)) fn(r);
      return;
    }
    for (const auto& kid : p.kids) Visit(*kid, fn);
  }

  size_t leafMax_;
  size_t size_ = 0;
  std::unique_ptr<Page> root_;
  std::vector<Bref> dropped_;
  Loader load_;
  mutable std::vector<Record> scratch_;
  mutable const Page* scratchOf_ = nullptr;
};

}  // namespace pst::ndb

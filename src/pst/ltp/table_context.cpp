// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/ltp/table_context.h"

#include <algorithm>

#include "model/invariant.h"
#include "pst/coding.h"
#include "pst/ltp/prop_encoding.h"

namespace pst::ltp {

namespace {
// The subnode holding a row matrix too large for the heap: the same NID in
// every table, as in Outlook's files.
constexpr Nid kNidRowMatrix = 0x3F;
}  // namespace

TableContext::TableContext(NodeStore& store, std::vector<uint32_t> columnTags)
    : store_(store), heap_(store, kClientSigTC), index_(heap_, 4, 4) {
  tags_ = {kTagLtpRowId, kTagLtpRowVer};
  for (uint32_t t : columnTags) {
    if (std::find(tags_.begin(), tags_.end(), t) == tags_.end()) tags_.push_back(t);
  }
  VERDALINE_INVARIANT(tags_.size() <= 255, "table: more than 255 columns");

  // Layout: the 8- and 4-byte cells in bit order, then 2-byte, then 1-byte.
  std::vector<Col> layout;
  uint16_t at = 0;
  auto place = [&](auto wanted) {
    for (size_t i = 0; i < tags_.size(); ++i) {
      uint8_t width = CellSize(TagType(tags_[i]));
      if (!wanted(width)) continue;
      layout.push_back({tags_[i], at, width, static_cast<uint8_t>(i)});
      at = static_cast<uint16_t>(at + width);
    }
  };
  place([](uint8_t w) { return w >= 4; });
  rgib_[0] = at;
  place([](uint8_t w) { return w == 2; });
  rgib_[1] = at;
  place([](uint8_t w) { return w == 1; });
  rgib_[2] = at;
  rgib_[3] = static_cast<uint16_t>(at + (tags_.size() + 7) / 8);
  rowSize_ = rgib_[3];
  rowsPerBlock_ = kMaxBlockPayload / rowSize_;
  cols_ = layout;
  std::sort(cols_.begin(), cols_.end(), [](const Col& a, const Col& b) { return a.tag < b.tag; });

  std::vector<uint8_t> info(22 + 8 * cols_.size(), 0);
  tcInfo_ = heap_.Allocate(info);
  heap_.SetUserRoot(tcInfo_);
}

void TableContext::ReleaseCell(const std::vector<uint8_t>& row, const Col& c) {
  if (FixedSize(TagType(c.tag)) != 0 && FixedSize(TagType(c.tag)) <= 8) return;
  if (!(row[rgib_[2] + c.bit / 8] & (0x80 >> (c.bit % 8)))) return;
  uint32_t hnid = GetU32(row, c.ib);
  if (hnid == 0) return;
  if (IsHid(hnid)) {
    heap_.Free(hnid);
  } else {
    subs_.Remove(hnid);
  }
}

void TableContext::SetCell(size_t index, std::vector<uint8_t>& row, const Col& c, const PropValue* v) {
  pending_.erase({index, c.ib});
  uint8_t& ceb = row[rgib_[2] + c.bit / 8];
  uint8_t mask = static_cast<uint8_t>(0x80 >> (c.bit % 8));
  std::fill(row.begin() + c.ib, row.begin() + c.ib + c.cb, 0);
  if (!v) {
    ceb = static_cast<uint8_t>(ceb & ~mask);
    return;
  }
  std::vector<uint8_t> bytes = EncodeValue(*v);
  size_t fixed = FixedSize(TagType(c.tag));
  if (fixed != 0 && fixed <= 8) {
    std::copy(bytes.begin(), bytes.end(), row.begin() + c.ib);
  } else {
    uint32_t hnid = 0;
    if (bytes.size() > kMaxHeapAlloc) {
      hnid = store_.AllocateNid(kNidTypeLtp);
      subs_.Add(hnid, store_.WriteStream(MemorySource(std::move(bytes))));
    } else if (!bytes.empty()) {
      pending_[{index, c.ib}] = std::move(bytes);
    }
    StoreU32(row, c.ib, hnid);
  }
  ceb = static_cast<uint8_t>(ceb | mask);
}

void TableContext::SetRowVersion(size_t index, std::vector<uint8_t>& row, const Col& c) {
  PropValue v{PropType::Int32, static_cast<int32_t>(store_.NextUnique())};
  SetCell(index, row, c, &v);
}

TableContext::RowBlock& TableContext::NewRowBlock() {
  // Every block but the last is a full 8192-byte block ([MS-PST] 2.3.4.4):
  // readers find row N at block N / rowsPerBlock, counting whole blocks of
  // 8176 payload bytes, so the dead space after the last row is written too.
  if (!blocks_.empty()) {
    RowBlock& prev = LoadBlock(blocks_.size() - 1);
    prev.bytes.resize(kMaxBlockPayload, 0);
    prev.dirty = true;
  }
  return blocks_.emplace_back();
}

TableContext::RowBlock& TableContext::LoadBlock(size_t b) {
  RowBlock& blk = blocks_[b];
  if (!blk.loaded) {
    blk.bytes = store_.ReadBlock(blk.bid);
    blk.loaded = true;
  }
  return blk;
}

std::vector<uint8_t> TableContext::RowBytes(size_t index) {
  if (!inSubnode_) {
    auto from = small_.begin() + static_cast<std::ptrdiff_t>(index * rowSize_);
    return {from, from + static_cast<std::ptrdiff_t>(rowSize_)};
  }
  RowBlock& blk = LoadBlock(index / rowsPerBlock_);
  auto from = blk.bytes.begin() + static_cast<std::ptrdiff_t>((index % rowsPerBlock_) * rowSize_);
  return {from, from + static_cast<std::ptrdiff_t>(rowSize_)};
}

void TableContext::StoreRow(size_t index, const std::vector<uint8_t>& row) {
  matrixDirty_ = true;
  if (!inSubnode_) {
    std::copy(row.begin(), row.end(), small_.begin() + static_cast<std::ptrdiff_t>(index * rowSize_));
    return;
  }
  RowBlock& blk = LoadBlock(index / rowsPerBlock_);
  blk.dirty = true;
  std::copy(row.begin(), row.end(), blk.bytes.begin() + static_cast<std::ptrdiff_t>((index % rowsPerBlock_) * rowSize_));
}

void TableContext::AddRow(uint32_t rowId, const RowValues& values) {
  VERDALINE_INVARIANT(!HasRow(rowId), "table: row id added twice");
  std::vector<uint8_t> row(rowSize_, 0);
  size_t index = rows_;
  for (const Col& c : cols_) {
    if (c.tag == kTagLtpRowId) {
      PropValue v{PropType::Int32, static_cast<int32_t>(rowId)};
      SetCell(index, row, c, &v);
    } else if (c.tag == kTagLtpRowVer) {
      SetRowVersion(index, row, c);
    } else {
      auto it = values.find(TagId(c.tag));
      bool match = it != values.end() && DiskType(it->second.type) == TagType(c.tag);
      SetCell(index, row, c, match ? &it->second : nullptr);
    }
  }
  // Grow the matrix by one row, moving it out of the heap when it outgrows one allocation.
  if (!inSubnode_ && (rows_ + 1) * rowSize_ > kMaxHeapAlloc) {
    inSubnode_ = true;
    for (size_t r = 0; r < rows_; r += rowsPerBlock_) {
      size_t n = std::min(rowsPerBlock_, rows_ - r);
      auto from = small_.begin() + static_cast<std::ptrdiff_t>(r * rowSize_);
      NewRowBlock().bytes.assign(from, from + static_cast<std::ptrdiff_t>(n * rowSize_));
    }
    small_.clear();
  }
  if (!inSubnode_) {
    small_.resize(small_.size() + rowSize_);
  } else {
    if (blocks_.empty() || index % rowsPerBlock_ == 0) NewRowBlock();
    RowBlock& last = LoadBlock(blocks_.size() - 1);
    last.bytes.resize(last.bytes.size() + rowSize_);
  }
  ++rows_;
  StoreRow(index, row);
  std::vector<uint8_t> ent;
  PutU32(ent, static_cast<uint32_t>(index));
  index_.Put(rowId, ent);
}

void TableContext::UpdateRow(uint32_t rowId, const RowValues& values) {
  auto ent = index_.Find(rowId);
  VERDALINE_INVARIANT(ent, "table: no such row");
  size_t index = GetU32(*ent, 0);
  std::vector<uint8_t> row = RowBytes(index);
  for (const Col& c : cols_) {
    if (c.tag == kTagLtpRowId) continue;
    if (c.tag == kTagLtpRowVer) {  // a changed row is a new version
      SetRowVersion(index, row, c);
      continue;
    }
    auto it = values.find(TagId(c.tag));
    if (it == values.end()) continue;
    ReleaseCell(row, c);
    bool match = DiskType(it->second.type) == TagType(c.tag);
    SetCell(index, row, c, match ? &it->second : nullptr);
  }
  StoreRow(index, row);
}

void TableContext::WriteTcInfo() {
  std::vector<uint8_t> info;
  PutU8(info, kClientSigTC);
  PutU8(info, static_cast<uint8_t>(cols_.size()));
  for (uint16_t v : rgib_) PutU16(info, v);
  PutU32(info, index_.header());
  PutU32(info, inSubnode_ ? kNidRowMatrix : matrixHid_);
  PutU32(info, 0);  // hidIndex: deprecated
  for (const Col& c : cols_) {
    PutU32(info, c.tag);
    PutU16(info, c.ib);
    PutU8(info, c.cb);
    PutU8(info, c.bit);
  }
  heap_.Rewrite(tcInfo_, info);
}

void TableContext::PlacePending() {
  for (auto& [key, bytes] : pending_) {
    std::vector<uint8_t> row = RowBytes(key.first);
    StoreU32(row, key.second, heap_.Allocate(bytes));
    StoreRow(key.first, row);
  }
  pending_.clear();
}

TableContext::Written TableContext::Flush() {
  index_.Flush();
  if (!inSubnode_) {
    if (matrixDirty_) {
      // The matrix takes its place before the values its cells point to.
      if (matrixHid_ != 0 && heap_.Read(matrixHid_).size() != small_.size()) {
        heap_.Free(matrixHid_);
        matrixHid_ = 0;
      }
      if (!small_.empty()) {
        if (matrixHid_ == 0) {
          matrixHid_ = heap_.Allocate(small_);
        }
        PlacePending();
        heap_.Rewrite(matrixHid_, small_);
      }
    }
  } else {
    PlacePending();
    if (matrixHid_ != 0) {
      heap_.Free(matrixHid_);
      matrixHid_ = 0;
    }
    if (matrixDirty_) {
      std::vector<Bid> bids;
      uint64_t total = 0;
      for (size_t b = 0; b < blocks_.size(); ++b) {
        RowBlock& blk = blocks_[b];
        if (blk.dirty || blk.bid == 0) {
          blk.bid = store_.WriteBlock(blk.bytes);
          blk.dirty = false;
        }
        // Every block but the last is full; the last one is always loaded.
        total += b + 1 < blocks_.size() ? kMaxBlockPayload : blk.bytes.size();
        if (b + 1 < blocks_.size() && blk.loaded) {
          blk.bytes.clear();
          blk.bytes.shrink_to_fit();
          blk.loaded = false;
        }
        bids.push_back(blk.bid);
      }
      subs_.Set(kNidRowMatrix, store_.WriteDataTree(bids, total));
    }
  }
  matrixDirty_ = false;
  WriteTcInfo();
  Written w;
  w.data = heap_.Flush();
  w.subnodes = subs_.Write(store_);
  return w;
}

}  // namespace pst::ltp

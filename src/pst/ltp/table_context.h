// SPDX-License-Identifier: GPL-3.0-or-later
// A table context ([MS-PST] 2.3.4): a heap whose user root is TCINFO (column
// descriptions sorted by tag, the rgib group offsets, the row index BTH of
// dwRowID -> dwRowIndex, and the row matrix), with variable-size cells as
// HNIDs into the same heap or into subnodes.
//
// Cell-existence bits go to the columns in the order given (PidTagLtpRowId
// and PidTagLtpRowVer first); a row holds the 8- and 4-byte cells in that
// order, then the 2-byte cells, the 1-byte cells, and the cell existence
// bitmap. Given Outlook's own column order this reproduces its layout. The row matrix is a heap allocation while it fits one
// (3580 bytes), and after that a data tree in subnode 0x3F of whole rows per
// block, each block but the last padded to the full 8176 bytes.
// PidTagLtpRowVer is a new value of the store's dwUnique counter whenever a
// row is added or changed.
//
// The table stays in memory between flushes and Flush writes what changed:
// appending a row rewrites the last row-matrix block, the changed heap pages
// and the data trees over them; every other block is reused by BID.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "pst/ltp/bth.h"
#include "pst/ltp/heap.h"
#include "pst/ltp/subnodes.h"
#include "pst/message.h"

namespace pst::ltp {

inline constexpr uint32_t kTagLtpRowId = 0x67F20003;
inline constexpr uint32_t kTagLtpRowVer = 0x67F30003;

// Cells of one row, keyed by property id; a column takes the value whose
// on-disk type matches its own.
using RowValues = std::map<uint16_t, PropValue>;

class TableContext {
 public:
  // The columns in the order their bits are given; PidTagLtpRowId and
  // PidTagLtpRowVer come first (added when missing).
  TableContext(NodeStore& store, std::vector<uint32_t> columnTags);
  TableContext(const TableContext&) = delete;
  TableContext& operator=(const TableContext&) = delete;

  const std::vector<uint32_t>& columns() const { return tags_; }
  size_t rowCount() const { return rows_; }
  bool HasRow(uint32_t rowId) const { return index_.Find(rowId).has_value(); }

  // REQUIRES: rowId not present yet.
  void AddRow(uint32_t rowId, const RowValues& values);
  // Replaces the cells of the columns named in values; other cells stay.
  void UpdateRow(uint32_t rowId, const RowValues& values);

  struct Written {
    Bid data = 0;
    Bid subnodes = 0;
  };
  // Writes what changed since the last flush.
  Written Flush();

 private:
  struct Col {
    uint32_t tag;
    uint16_t ib;
    uint8_t cb;
    uint8_t bit;
  };
  struct RowBlock {
    Bid bid = 0;
    bool dirty = true;
    bool loaded = true;
    std::vector<uint8_t> bytes;
  };
  void SetCell(size_t index, std::vector<uint8_t>& row, const Col& c, const PropValue* v);
  void PlacePending();
  void ReleaseCell(const std::vector<uint8_t>& row, const Col& c);
  std::vector<uint8_t> RowBytes(size_t index);
  void StoreRow(size_t index, const std::vector<uint8_t>& row);
  RowBlock& LoadBlock(size_t b);
  // Appends an empty block after padding the one before it to full size.
  RowBlock& NewRowBlock();
  void SetRowVersion(size_t index, std::vector<uint8_t>& row, const Col& c);
  void WriteTcInfo();

  NodeStore& store_;
  Heap heap_;
  Bth index_;
  Subnodes subs_;
  std::vector<uint32_t> tags_;
  std::vector<Col> cols_;  // sorted by tag
  uint16_t rgib_[4] = {};
  size_t rowSize_ = 0;
  size_t rows_ = 0;
  size_t rowsPerBlock_ = 0;
  Hid tcInfo_ = 0;
  // The row matrix: in the heap while small, in blocks of a subnode after.
  Hid matrixHid_ = 0;
  std::vector<uint8_t> small_;
  std::vector<RowBlock> blocks_;
  bool inSubnode_ = false;
  bool matrixDirty_ = true;
  // Variable cells waiting for their heap allocation, by (row, offset): they
  // are placed at flush time after the row index and the matrix, in row order.
  std::map<std::pair<size_t, uint16_t>, std::vector<uint8_t>> pending_;
};

}  // namespace pst::ltp

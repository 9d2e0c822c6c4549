// SPDX-License-Identifier: GPL-3.0-or-later
// The subnodes of one node ([MS-PST] 2.2.2.8.3.3): values too large for a
// heap, tables and objects inside a message. Their NIDs come from the
// store's per-type counters (NodeStore::AllocateNid), as Outlook's do, so no
// two subnodes in the store share one; only the fixed ones (0x671, 0x692, a
// table's row matrix 0x3F) repeat.
#pragma once

#include <cstdint>
#include <vector>

#include "pst/ndb/node_store.h"

namespace pst::ltp {

inline constexpr uint8_t kNidTypeLtp = 0x1F;
inline constexpr uint8_t kNidTypeAttachment = 0x05;
inline constexpr uint8_t kNidTypeNormalMessage = 0x04;

class Subnodes {
 public:
  void Add(Nid nid, Bid data, Bid subnodes = 0) { entries_.push_back({nid, data, subnodes}); }
  void Remove(Nid nid);
  // Replaces the entry of nid, or adds it.
  void Set(Nid nid, Bid data, Bid subnodes = 0);
  bool empty() const { return entries_.empty(); }
  const std::vector<SubnodeEntry>& entries() const { return entries_; }
  // The subnode tree, or 0 when there are no subnodes.
  Bid Write(NodeStore& store) const;

 private:
  std::vector<SubnodeEntry> entries_;
};

}  // namespace pst::ltp

// SPDX-License-Identifier: GPL-3.0-or-later
// The search management queue ([MS-PST] 2.4.8.4.1): a stream of 20-byte
// search update descriptors (SUD, 2.4.8.1) at NID_SEARCH_MANAGEMENT_QUEUE.
// The maintenance rules of [MS-PST] 2.6.3 queue one for every folder and
// message added, so that Outlook brings its search folders and index up to
// date when it opens the store.
//
// The queue only grows while we write; its stream is kept as full blocks
// reused by BID and one open last block, so a flush writes the last block
// and the data tree over them.
#pragma once

#include <cstdint>
#include <vector>

#include "pst/ndb/node_store.h"

namespace pst::messaging {

inline constexpr uint16_t kSudMessageAdded = 0x01;  // SUDT_MSG_ADD
inline constexpr uint16_t kSudFolderAdded = 0x05;   // SUDT_FLD_ADD

class SearchQueue {
 public:
  // Queues a SUD whose data starts with parent and child (both structures
  // above are nidParent, then the NID of what was added).
  void Add(uint16_t type, Nid parent, Nid child);
  bool dirty() const { return dirty_; }
  uint64_t size() const { return full_.size() * kMaxBlockPayload + open_.size(); }
  // Writes the queue as the node NID_SEARCH_MANAGEMENT_QUEUE.
  void Write(NodeStore& store);

 private:
  std::vector<Bid> full_;
  std::vector<uint8_t> open_;
  bool dirty_ = true;
};

}  // namespace pst::messaging

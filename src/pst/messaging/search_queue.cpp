// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/messaging/search_queue.h"

#include "pst/coding.h"
#include "pst/messaging/nids.h"

namespace pst::messaging {

namespace {
constexpr size_t kSudSize = 20;
}

void SearchQueue::Add(uint16_t type, Nid parent, Nid child) {
  std::vector<uint8_t> sud;
  PutU16(sud, 0);  // wFlags
  PutU16(sud, type);
  PutU32(sud, parent);
  PutU32(sud, child);
  sud.resize(kSudSize, 0);
  open_.insert(open_.end(), sud.begin(), sud.end());
  dirty_ = true;
}

void SearchQueue::Write(NodeStore& store) {
  // A stream: descriptors may run on from one block into the next.
  std::vector<Bid> bids;
  while (open_.size() > kMaxBlockPayload) {
    full_.push_back(store.WriteBlock(std::span<const uint8_t>(open_.data(), kMaxBlockPayload)));
    open_.erase(open_.begin(), open_.begin() + static_cast<std::ptrdiff_t>(kMaxBlockPayload));
  }
  bids = full_;
  if (!open_.empty() || bids.empty()) bids.push_back(store.WriteBlock(open_));
  store.SetNode(kNidSearchManagementQueue, store.WriteDataTree(bids, size()), 0, 0);
  dirty_ = false;
}

}  // namespace pst::messaging

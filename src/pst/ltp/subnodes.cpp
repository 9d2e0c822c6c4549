// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/ltp/subnodes.h"

#include <algorithm>

namespace pst::ltp {

void Subnodes::Set(Nid nid, Bid data, Bid subnodes) {
  for (auto& e : entries_) {
    if (e.nid == nid) {
      e.data = data;
      e.subnodes = subnodes;
      return;
    }
  }
  Add(nid, data, subnodes);
}

void Subnodes::Remove(Nid nid) {
  std::erase_if(entries_, [nid](const SubnodeEntry& e) { return e.nid == nid; });
}

Bid Subnodes::Write(NodeStore& store) const {
  if (entries_.empty()) return 0;
  std::vector<SubnodeEntry> sorted = entries_;
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.nid < b.nid; });
  return store.WriteSubnodeTree(sorted);
}

}  // namespace pst::ltp

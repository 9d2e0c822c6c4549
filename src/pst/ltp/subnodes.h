// The subnodes of one node ([MS-PST] 2.2.2.8.3.3): values too large for a
// heap, tables and objects inside a message. Subnode NIDs are local to their
// node; the ones made here count up per type from a private base so that they
// never collide with the fixed ones (0x671, 0x692).
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
  // A fresh local NID of the given type.
  Nid NewNid(uint8_t nidType) { return (next_++ << 5) | nidType; }
  void Add(Nid nid, Bid data, Bid subnodes = 0) { entries_.push_back({nid, data, subnodes}); }
  void Remove(Nid nid);
  // Replaces the entry of nid, or adds it.
  void Set(Nid nid, Bid data, Bid subnodes = 0);
  bool empty() const { return entries_.empty(); }
  const std::vector<SubnodeEntry>& entries() const { return entries_; }
  // The subnode tree, or 0 when there are no subnodes.
  Bid Write(NodeStore& store) const;

 private:
  uint32_t next_ = 0x400;
  std::vector<SubnodeEntry> entries_;
};

}  // namespace pst::ltp

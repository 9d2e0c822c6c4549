// SPDX-License-Identifier: GPL-3.0-or-later
// An in-memory NodeStore for tests of the layers above the node database:
// blocks, data trees and subnode trees held in maps, with counters so tests
// can see how much a change wrote.
#pragma once

#include <map>
#include <stdexcept>

#include "pst/byte_source.h"
#include "pst/ndb/node_store.h"

namespace pst::testing {

class FakeNodeStore final : public NodeStore {
 public:
  Bid WriteBlock(std::span<const uint8_t> payload) override {
    if (payload.size() > kMaxBlockPayload) throw PstError("block too large");
    Bid b = Next();
    blocks_[b] = {payload.begin(), payload.end()};
    ++blocksWritten;
    return b;
  }
  Bid WriteDataTree(std::span<const Bid> blocks, uint64_t totalSize) override {
    if (blocks.empty()) return WriteBlock({});
    uint64_t sum = 0;
    for (Bid b : blocks) sum += blocks_.at(b).size();
    if (sum != totalSize) throw PstError("data tree size mismatch");
    if (blocks.size() == 1) return blocks[0];
    Bid t = Next() | 2;
    trees_[t] = {blocks.begin(), blocks.end()};
    return t;
  }
  Bid WriteStream(const ByteSource& src) override {
    std::vector<Bid> bids;
    uint64_t at = 0;
    while (at < src.size() || bids.empty()) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(kMaxBlockPayload, src.size() - at));
      std::vector<uint8_t> buf(n);
      src.read(at, buf);
      bids.push_back(WriteBlock(buf));
      at += n;
      if (n == 0) break;
    }
    return WriteDataTree(bids, src.size());
  }
  Bid WriteSubnodeTree(std::span<const SubnodeEntry> entries) override {
    for (size_t i = 1; i < entries.size(); ++i) {
      if (entries[i - 1].nid >= entries[i].nid) throw PstError("subnodes not sorted");
    }
    Bid t = Next() | 2;
    subnodes_[t] = {entries.begin(), entries.end()};
    return t;
  }
  std::vector<uint8_t> ReadBlock(Bid bid) override { return blocks_.at(bid); }
  std::vector<Bid> DataTreeBlocks(Bid tree) override {
    if (trees_.count(tree)) return trees_.at(tree);
    return {tree};
  }
  std::vector<uint8_t> ReadDataTree(Bid tree) override {
    std::vector<uint8_t> out;
    for (Bid b : DataTreeBlocks(tree)) {
      const auto& blk = blocks_.at(b);
      out.insert(out.end(), blk.begin(), blk.end());
    }
    return out;
  }
  std::vector<SubnodeEntry> ReadSubnodeTree(Bid tree) override {
    if (tree == 0) return {};
    return subnodes_.at(tree);
  }
  void SetNode(Nid nid, Bid data, Bid subnodes, Nid parent) override { nodes_[nid] = {data, subnodes, parent}; }
  void DeleteNode(Nid nid) override { nodes_.erase(nid); }
  bool HasNode(Nid nid) const override { return nodes_.count(nid) != 0; }
  NodeInfo GetNode(Nid nid) const override {
    auto it = nodes_.find(nid);
    if (it == nodes_.end()) throw PstError("no node");
    return it->second;
  }
  Nid AllocateNid(uint8_t nidType) override {
    auto it = nidIndex_.try_emplace(nidType, 0x400u).first;
    return (++it->second << 5) | nidType;
  }
  uint32_t NextUnique() override { return ++unique; }
  void Commit() override { ++commits; }
  void Close() override { closed = true; }

  const std::map<Nid, NodeInfo>& nodes() const { return nodes_; }
  // The last nidIndex handed out for the type (0x400 before the first).
  uint32_t LastNidIndex(uint8_t nidType) const {
    auto it = nidIndex_.find(nidType);
    return it == nidIndex_.end() ? 0x400u : it->second;
  }
  size_t blocksWritten = 0;
  int commits = 0;
  bool closed = false;
  uint32_t unique = 0;  // the last value NextUnique handed out

 private:
  Bid Next() { return nextBid_ += 4; }
  Bid nextBid_ = 0;
  std::map<uint8_t, uint32_t> nidIndex_;
  std::map<Bid, std::vector<uint8_t>> blocks_;
  std::map<Bid, std::vector<Bid>> trees_;
  std::map<Bid, std::vector<SubnodeEntry>> subnodes_;
  std::map<Nid, NodeInfo> nodes_;
};

}  // namespace pst::testing

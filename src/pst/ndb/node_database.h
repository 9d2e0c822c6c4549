// SPDX-License-Identifier: GPL-3.0-or-later
// The node database of a new Unicode .pst file ([MS-PST] 2.2 and 2.6): the
// file header, allocation maps, the node and block B-trees and the blocks,
// written copy-on-write so that the file on disk is a valid store after every
// commit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pst/ndb/node_store.h"

namespace pst {

struct NdbOptions {
  // Fixed dwUnique and other seeds, so that two runs over the same input give
  // the same bytes.
  bool deterministic = false;
  // Crash tests only: the process ends with _exit(137) just before the Nth
  // write (1-based) when >= 1.
  int64_t crashAfterWrites = -1;
};

class NodeDatabase final : public NodeStore {
 public:
  // Creates a new file; throws PstError when path already exists (it is never
  // overwritten) or cannot be created. The new file is an empty store
  // already committed.
  static std::unique_ptr<NodeDatabase> Create(const std::string& path,
                                              const NdbOptions& options);
  ~NodeDatabase() override;  // closes the file without a further commit

  NodeDatabase(const NodeDatabase&) = delete;
  NodeDatabase& operator=(const NodeDatabase&) = delete;

  Bid WriteBlock(std::span<const uint8_t> payload) override;
  Bid WriteDataTree(std::span<const Bid> blocks, uint64_t totalSize) override;
  Bid WriteStream(const ByteSource& src) override;
  Bid WriteSubnodeTree(std::span<const SubnodeEntry> entries) override;

  std::vector<uint8_t> ReadBlock(Bid bid) override;
  std::vector<Bid> DataTreeBlocks(Bid tree) override;
  std::vector<uint8_t> ReadDataTree(Bid tree) override;
  std::vector<SubnodeEntry> ReadSubnodeTree(Bid tree) override;

  void SetNode(Nid nid, Bid data, Bid subnodes, Nid parent) override;
  void DeleteNode(Nid nid) override;
  bool HasNode(Nid nid) const override;
  NodeInfo GetNode(Nid nid) const override;

  Nid AllocateNid(uint8_t nidType) override;
  uint32_t NextUnique() override;

  void Commit() override;
  void Close() override;

  // Size of the file as the last commit left it (ibFileEof).
  uint64_t FileSize() const;
  // The file was given this name; later messages use it.
  void Renamed(const std::string& path);
  std::string CurrentPath() const override;
  uint64_t SizeIfClosed() const override;
  void LimitGrowth(uint64_t fileSize) override;
  // Writes issued to the file so far (what crashAfterWrites counts).
  int64_t WriteCount() const;

 private:
  struct Impl;
  explicit NodeDatabase(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace pst

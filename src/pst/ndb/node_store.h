// SPDX-License-Identifier: GPL-3.0-or-later
// The node database as the layers above it see it ([MS-PST] 2.2): blocks,
// data trees, subnode trees and the node B-tree, with copy-on-write commits.
//
// Ownership of blocks is by reference count. A block starts unreferenced;
// becoming a child of a data tree or subnode tree, or the data/subnode block
// of a node, adds a reference, and releasing a tree or replacing a node drops
// the references of what it held. Blocks still unreferenced when Commit runs
// are freed. Space freed since the last commit is reused only after the next
// commit, so the last committed state on disk is never overwritten.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "pst/byte_source.h"

namespace pst {

using Nid = uint32_t;
using Bid = uint64_t;

// Largest payload of one data block in a Unicode file ([MS-PST] 2.2.2.8.3.1:
// 8192 bytes less the 16-byte trailer).
inline constexpr size_t kMaxBlockPayload = 8176;

struct SubnodeEntry {
  Nid nid = 0;
  Bid data = 0;      // data tree of the subnode
  Bid subnodes = 0;  // its own subnode tree, 0 when none
};

class PstError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file itself could not be written (a full disk, the file deleted, an
// input/output error): the store takes nothing more, and the file keeps
// what its last commit holds. The text carries the system's reason.
class PstWriteError : public PstError {
 public:
  using PstError::PstError;
};

// The name asked for is taken (a file, a folder, a link, even one that
// points nowhere): the caller may try another name. Nothing was replaced.
class PstExistsError : public PstError {
 public:
  using PstError::PstError;
};

class NodeStore {
 public:
  virtual ~NodeStore() = default;

  // Calls that break these contracts (a payload over kMaxBlockPayload, a BID
  // this store did not hand out or already freed, subnode entries out of
  // order) are faults of this program, not of its input, and end the process
  // (model/invariant.h). What input can bring about throws PstError.

  // One data block holding payload (at most kMaxBlockPayload bytes).
  virtual Bid WriteBlock(std::span<const uint8_t> payload) = 0;
  // A data tree over data blocks already written, in order: the block itself
  // when there is one, otherwise an XBLOCK or XXBLOCK. totalSize is the sum of
  // the payload sizes. An empty list gives a tree of one empty block.
  virtual Bid WriteDataTree(std::span<const Bid> blocks, uint64_t totalSize) = 0;
  // Splits a stream into full blocks and writes its data tree.
  virtual Bid WriteStream(const ByteSource& src) = 0;
  // A subnode tree (SLBLOCK, or SIBLOCK over SLBLOCKs); entries sorted by nid.
  virtual Bid WriteSubnodeTree(std::span<const SubnodeEntry> entries) = 0;

  // Reading back what was written (committed or not).
  virtual std::vector<uint8_t> ReadBlock(Bid bid) = 0;         // one data block's payload
  virtual std::vector<Bid> DataTreeBlocks(Bid tree) = 0;        // leaf blocks of a data tree
  virtual std::vector<uint8_t> ReadDataTree(Bid tree) = 0;      // whole stream
  virtual std::vector<SubnodeEntry> ReadSubnodeTree(Bid tree) = 0;

  // The node B-tree. SetNode inserts or replaces (data 0: a node with no
  // data block, as Outlook keeps its empty queues); DeleteNode removes.
  virtual void SetNode(Nid nid, Bid data, Bid subnodes, Nid parent) = 0;
  virtual void DeleteNode(Nid nid) = 0;
  virtual bool HasNode(Nid nid) const = 0;
  struct NodeInfo { Bid data = 0; Bid subnodes = 0; Nid parent = 0; };
  virtual NodeInfo GetNode(Nid nid) const = 0;  // throws PstError when absent

  // A new node id of the given type ([MS-PST] 2.2.2.1, nidType), counted
  // from the header's rgnid.
  virtual Nid AllocateNid(uint8_t nidType) = 0;
  // The next value of the store-wide counter that the header keeps as
  // dwUnique ([MS-PST] 2.2.2.6). Outlook draws table row versions
  // (PidTagLtpRowVer) and recipient row ids from it, so every value handed out
  // stays below the dwUnique of the next header written.
  virtual uint32_t NextUnique() = 0;

  // Makes everything written so far durable: new blocks and pages first,
  // then the header. Throws PstError on a write failure; the file then still
  // holds the previous committed state.
  virtual void Commit() = 0;
  // Final commit with valid allocation maps and free counts; then closed.
  virtual void Close() = 0;
  // Where the file is now, as far as known ("" when not a file): a file
  // renamed while it was written is found under its new name.
  virtual std::string CurrentPath() const { return {}; }
  // At most how long the file is once closed, were nothing more written:
  // what it holds, and what the closing commit may add for what is not yet
  // committed. 0 when this store has no file.
  virtual uint64_t SizeIfClosed() const { return 0; }
  // The file is grown ahead of its use no further than this size (0: no
  // bound), so that even a file whose writer was killed before its last
  // commit trimmed it stays below it.
  virtual void LimitGrowth(uint64_t /*fileSize*/) {}
};

}  // namespace pst

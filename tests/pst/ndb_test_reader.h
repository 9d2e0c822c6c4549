// SPDX-License-Identifier: GPL-3.0-or-later
// A small, independent reader of the node database of a Unicode .pst file,
// for tests: it walks the file's bytes as [MS-PST] 2.2.2 describes them and
// reports every structural fault it sees (checksums, signatures, B-tree
// order, reference counts, allocation maps) instead of trusting the writer.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace pst::testing {

struct TestNode {
  uint64_t data = 0;
  uint64_t subnodes = 0;
  uint32_t parent = 0;
};
struct TestBlock {
  uint64_t ib = 0;
  uint16_t cb = 0;
  uint16_t cRef = 0;
};
struct TestSubnode {
  uint32_t nid = 0;
  uint64_t data = 0;
  uint64_t subnodes = 0;
};

class NdbTestReader {
 public:
  // Reads the file; the state is the one the header at offset 0 describes,
  // or the one headerBytes describes when given (an earlier header).
  explicit NdbTestReader(std::vector<uint8_t> file, std::vector<uint8_t> headerBytes = {});
  static std::vector<uint8_t> Slurp(const std::string& path);

  // Faults found, empty when the file is sound. checkMaps also compares the
  // allocation maps with what the trees use.
  const std::vector<std::string>& faults() const { return faults_; }
  std::string FaultText() const;
  void CheckMaps();

  const std::map<uint32_t, TestNode>& nodes() const { return nodes_; }
  const std::map<uint64_t, TestBlock>& blocks() const { return blocks_; }
  std::vector<uint8_t> Stream(uint64_t bid);
  std::vector<TestSubnode> Subnodes(uint64_t bid);

  uint32_t dwUnique = 0;
  uint8_t fAMapValid = 0;
  uint64_t ibFileEof = 0, ibAMapLast = 0, cbAMapFree = 0, bidNextB = 0, bidNextP = 0;
  uint8_t nbtDepth = 0, bbtDepth = 0;
  std::vector<uint32_t> rgnid;

 private:
  void Fault(std::string what) { faults_.push_back(std::move(what)); }
  bool CheckPage(uint64_t ib, uint64_t bid, uint8_t ptype);
  void Walk(uint64_t ib, uint64_t bid, uint8_t ptype, int expectLevel, uint64_t lowKey, bool hasLow,
            uint8_t& depth);
  std::vector<uint8_t> Payload(uint64_t bid);  // stored bytes, trailer checked
  void CountReferences();

  std::vector<uint8_t> f_;
  std::vector<std::string> faults_;
  std::map<uint32_t, TestNode> nodes_;
  std::map<uint64_t, TestBlock> blocks_;
  std::set<uint64_t> pages_;  // offsets of B-tree pages
};

}  // namespace pst::testing

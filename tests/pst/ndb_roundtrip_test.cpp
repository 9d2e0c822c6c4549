// SPDX-License-Identifier: GPL-3.0-or-later
// Writes node databases, reopens the files with the independent test reader
// and compares with what was written: streams of every size class, subnode
// trees, many nodes, deletions, and the allocation maps.
#include <gtest/gtest.h>

#include <map>

#include "pst/ndb/node_database.h"
#include "pst/ndb_test_reader.h"
#include "pst/ndb_test_util.h"

namespace pst {
namespace {

using testing::NdbTestReader;
using testing::Pattern;
using testing::ScratchDir;

NdbTestReader ReadBack(const std::string& path) {
  NdbTestReader r(NdbTestReader::Slurp(path));
  r.CheckMaps();
  return r;
}

TEST(NodeDatabase, NewFileIsAnEmptyValidStore) {
  ScratchDir dir;
  auto db = NodeDatabase::Create(dir.File("a.pst"), {.deterministic = true});
  NdbTestReader r = ReadBack(dir.File("a.pst"));
  EXPECT_TRUE(r.faults().empty()) << r.FaultText();
  EXPECT_EQ(r.ibFileEof, 0x4400u + 253952u);
  EXPECT_EQ(std::filesystem::file_size(dir.File("a.pst")), r.ibFileEof);
  EXPECT_EQ(r.rgnid[2], 0x400u);
  EXPECT_EQ(r.rgnid[3], 0x4000u);
  EXPECT_EQ(r.rgnid[4], 0x10000u);
  EXPECT_EQ(r.rgnid[8], 0x8000u);
  EXPECT_TRUE(r.nodes().empty());
  EXPECT_EQ(db->FileSize(), r.ibFileEof);
}

TEST(NodeDatabase, RefusesAnExistingPath) {
  ScratchDir dir;
  NodeDatabase::Create(dir.File("a.pst"), {})->Close();
  const auto before = std::filesystem::file_size(dir.File("a.pst"));
  EXPECT_THROW(NodeDatabase::Create(dir.File("a.pst"), {}), PstError);
  EXPECT_EQ(std::filesystem::file_size(dir.File("a.pst")), before);
  EXPECT_THROW(NodeDatabase::Create(dir.File("missing/a.pst"), {}), PstError);
}

TEST(NodeDatabase, StreamsOfEverySizeRoundTrip) {
  ScratchDir dir;
  const std::string path = dir.File("s.pst");
  auto db = NodeDatabase::Create(path, {.deterministic = true});
  // Empty, one byte, exactly one block, one past it, an XBLOCK's worth and
  // 8 MB (more than 1021 blocks: an XXBLOCK).
  const std::vector<size_t> sizes = {0, 1, 8176, 8177, 8176 * 1021, 8 * 1024 * 1024};
  std::map<Nid, std::vector<uint8_t>> want;
  for (size_t i = 0; i < sizes.size(); ++i) {
    std::vector<uint8_t> bytes = Pattern(sizes[i], static_cast<uint32_t>(i));
    const Bid tree = db->WriteStream(MemorySource(bytes));
    EXPECT_EQ(db->ReadDataTree(tree), bytes) << sizes[i];  // before any commit
    const Nid nid = db->AllocateNid(4);
    db->SetNode(nid, tree, 0, 0x8022);
    want[nid] = std::move(bytes);
  }
  db->Commit();
  {
    NdbTestReader r = ReadBack(path);
    ASSERT_TRUE(r.faults().empty()) << r.FaultText();
    ASSERT_EQ(r.nodes().size(), want.size());
    for (const auto& [nid, bytes] : want) {
      ASSERT_TRUE(r.nodes().count(nid));
      EXPECT_EQ(r.nodes().at(nid).parent, 0x8022u);
      EXPECT_EQ(r.Stream(r.nodes().at(nid).data), bytes) << bytes.size();
      EXPECT_EQ(db->ReadDataTree(db->GetNode(nid).data), bytes);
    }
    EXPECT_TRUE(r.faults().empty()) << r.FaultText();
    // The 8 MB stream is an XXBLOCK (internal, level 2).
    const Bid big = r.nodes().at(want.rbegin()->first).data;
    EXPECT_TRUE(big & 2);
    EXPECT_EQ(db->DataTreeBlocks(big).size(), (8u * 1024 * 1024 + 8175) / 8176);
  }
  db->Close();
  NdbTestReader r = ReadBack(path);
  EXPECT_TRUE(r.faults().empty()) << r.FaultText();
}

TEST(NodeDatabase, SubnodeTreesAndDataTreesFromBlocks) {
  ScratchDir dir;
  const std::string path = dir.File("sub.pst");
  auto db = NodeDatabase::Create(path, {.deterministic = true});
  // 700 subnodes: two SLBLOCKs and more under a SIBLOCK.
  std::vector<SubnodeEntry> entries;
  for (Nid i = 0; i < 700; ++i) {
    const Bid data = db->WriteBlock(Pattern(10 + i % 50, i));
    entries.push_back({(i + 1) << 5 | 0x1F, data, 0});
  }
  const std::vector<SubnodeEntry> inner = {{0x3F, db->WriteBlock(Pattern(3, 9)), 0}};
  entries[5].subnodes = db->WriteSubnodeTree(inner);
  const Bid tree = db->WriteSubnodeTree(entries);
  EXPECT_EQ(db->ReadSubnodeTree(tree).size(), 700u);

  const std::vector<Bid> parts = {db->WriteBlock(Pattern(8176, 1)), db->WriteBlock(Pattern(100, 2))};
  const Bid data = db->WriteDataTree(parts, 8276);
  EXPECT_EQ(db->WriteDataTree(std::span<const Bid>(parts).first(1), 8176), parts[0]);
  db->SetNode(0x21, data, tree, 0);
  db->Commit();

  NdbTestReader r = ReadBack(path);
  ASSERT_TRUE(r.faults().empty()) << r.FaultText();
  const auto subs = r.Subnodes(r.nodes().at(0x21).subnodes);
  ASSERT_EQ(subs.size(), 700u);
  for (size_t i = 0; i < subs.size(); ++i) {
    EXPECT_EQ(subs[i].nid, entries[i].nid);
    EXPECT_EQ(r.Stream(subs[i].data), Pattern(10 + i % 50, static_cast<uint32_t>(i)));
  }
  EXPECT_EQ(r.Subnodes(subs[5].subnodes).at(0).nid, 0x3Fu);
  std::vector<uint8_t> joined = Pattern(8176, 1);
  const auto tail = Pattern(100, 2);
  joined.insert(joined.end(), tail.begin(), tail.end());
  EXPECT_EQ(r.Stream(r.nodes().at(0x21).data), joined);
  EXPECT_TRUE(r.faults().empty()) << r.FaultText();
}

TEST(NodeDatabase, ManyNodesSplitDeleteAndReplace) {
  ScratchDir dir;
  const std::string path = dir.File("many.pst");
  auto db = NodeDatabase::Create(path, {.deterministic = true});
  std::map<Nid, Bid> model;
  const Bid shared = db->WriteBlock(Pattern(20, 7));
  for (int i = 0; i < 30000; ++i) {
    const Nid nid = db->AllocateNid(static_cast<uint8_t>(i % 2 ? 4 : 2));
    const Bid data = i % 3 == 0 ? shared : db->WriteBlock(Pattern(40, static_cast<uint32_t>(i)));
    db->SetNode(nid, data, 0, 0x122);
    model[nid] = data;
    if (i % 5000 == 4999) db->Commit();
  }
  {
    NdbTestReader r = ReadBack(path);
    ASSERT_TRUE(r.faults().empty()) << r.FaultText();
    EXPECT_EQ(r.nodes().size(), model.size());
    EXPECT_GE(r.nbtDepth, 3);
    EXPECT_EQ(r.blocks().at(shared).cRef, 10000 + 1);
  }
  // Delete every other node, replace the data of a third of the rest.
  int n = 0;
  for (auto it = model.begin(); it != model.end(); ++n) {
    if (n % 2 == 0) {
      db->DeleteNode(it->first);
      it = model.erase(it);
      continue;
    }
    if (n % 3 == 0) {
      it->second = db->WriteBlock(Pattern(60, static_cast<uint32_t>(n)));
      db->SetNode(it->first, it->second, 0, 0x122);
    }
    ++it;
  }
  db->DeleteNode(0x7FFFFFE4);  // absent: nothing happens
  db->Commit();
  NdbTestReader r = ReadBack(path);
  ASSERT_TRUE(r.faults().empty()) << r.FaultText();
  ASSERT_EQ(r.nodes().size(), model.size());
  for (const auto& [nid, data] : model) ASSERT_EQ(r.nodes().at(nid).data, data);
  // Every block left is still referenced (the reader checks cRef), and the
  // freed space is reused: the file did not grow by the replaced blocks.
  const auto size = std::filesystem::file_size(path);
  for (int i = 0; i < 2000; ++i) db->SetNode(0x100000 + (static_cast<Nid>(i) << 5), db->WriteBlock(Pattern(40, 1)), 0, 0);
  db->Close();
  EXPECT_LE(std::filesystem::file_size(path), size);
  NdbTestReader closed = ReadBack(path);
  EXPECT_TRUE(closed.faults().empty()) << closed.FaultText();
}

TEST(NodeDatabase, ReferencesFollowTheContract) {
  ScratchDir dir;
  const std::string path = dir.File("refs.pst");
  auto db = NodeDatabase::Create(path, {.deterministic = true});
  const Bid orphan = db->WriteBlock(Pattern(10, 1));  // never referenced
  const Bid a = db->WriteBlock(Pattern(10, 2));
  const Bid b = db->WriteBlock(Pattern(10, 3));
  const Bid big = db->WriteStream(MemorySource(Pattern(20000, 4)));  // XBLOCK + 3 blocks
  const std::vector<Bid> bigBlocks = db->DataTreeBlocks(big);
  db->SetNode(0x21, a, 0, 0);
  db->SetNode(0x41, big, 0, 0);
  db->SetNode(0x61, a, 0, 0);
  db->Commit();
  {
    NdbTestReader r = ReadBack(path);
    ASSERT_TRUE(r.faults().empty()) << r.FaultText();
    EXPECT_FALSE(r.blocks().count(orphan));
    EXPECT_FALSE(r.blocks().count(b));
    EXPECT_EQ(r.blocks().at(a).cRef, 3);
    EXPECT_EQ(r.blocks().at(big).cRef, 2);
    EXPECT_EQ(r.blocks().at(bigBlocks[0]).cRef, 2);
  }
  db->DeleteNode(0x41);  // releases the XBLOCK and, through it, its blocks
  db->SetNode(0x21, db->WriteBlock(Pattern(5, 5)), 0, 0);
  db->Commit();
  NdbTestReader r = ReadBack(path);
  ASSERT_TRUE(r.faults().empty()) << r.FaultText();
  EXPECT_FALSE(r.blocks().count(big));
  for (Bid x : bigBlocks) EXPECT_FALSE(r.blocks().count(x));
  EXPECT_EQ(r.blocks().at(a).cRef, 2);
  EXPECT_THROW(db->GetNode(0x41), PstError);
  // A commit with nothing new writes nothing.
  const int64_t writes = db->WriteCount();
  db->Commit();
  EXPECT_EQ(db->WriteCount(), writes);
}

TEST(NodeDatabase, AllocateNidCountsFromRgnid) {
  ScratchDir dir;
  auto db = NodeDatabase::Create(dir.File("n.pst"), {.deterministic = true});
  EXPECT_EQ(db->AllocateNid(2), (0x401u << 5) | 2);
  EXPECT_EQ(db->AllocateNid(2), (0x402u << 5) | 2);
  EXPECT_EQ(db->AllocateNid(4), (0x10001u << 5) | 4);
  EXPECT_EQ(db->AllocateNid(8), (0x8001u << 5) | 8);
  // Values of the dwUnique counter stay below the header's.
  const uint32_t unique = db->NextUnique();
  EXPECT_EQ(db->NextUnique(), unique + 1);
  db->Close();
  NdbTestReader r(NdbTestReader::Slurp(dir.File("n.pst")));
  EXPECT_EQ(r.rgnid[2], 0x402u);
  EXPECT_EQ(r.rgnid[4], 0x10001u);
  EXPECT_GT(r.dwUnique, unique + 1);
  // A random start leaves the counter room to grow without wrapping.
  auto random = NodeDatabase::Create(dir.File("r.pst"), {});
  random->Close();
  EXPECT_LT(NdbTestReader(NdbTestReader::Slurp(dir.File("r.pst"))).dwUnique, 1u << 25);
}

TEST(NodeDatabase, DeterministicRunsGiveTheSameBytes) {
  ScratchDir dir;
  for (const char* name : {"1.pst", "2.pst"}) {
    auto db = NodeDatabase::Create(dir.File(name), {.deterministic = true});
    for (uint32_t i = 0; i < 300; ++i)
      db->SetNode(db->AllocateNid(4), db->WriteStream(MemorySource(Pattern(i * 97, i))), 0, 0x122);
    db->Commit();
    db->Close();
  }
  EXPECT_EQ(NdbTestReader::Slurp(dir.File("1.pst")), NdbTestReader::Slurp(dir.File("2.pst")));
}

}  // namespace
}  // namespace pst

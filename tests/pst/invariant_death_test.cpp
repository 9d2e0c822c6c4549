// SPDX-License-Identifier: GPL-3.0-or-later
// The writer's own invariants end the process instead of throwing: calls
// that only a fault of this program can make must not leave a writer that
// keeps going. One representative call per layer and kind of contract.
#include <gtest/gtest.h>

#include <vector>

#include "fake_node_store.h"
#include "pst/ltp/bth.h"
#include "pst/ltp/heap.h"
#include "pst/ltp/table_context.h"
#include "pst/ndb/format.h"
#include "pst/ndb/node_database.h"
#include "pst/ndb/permute.h"
#include "pst/ndb_test_util.h"

namespace pst {
namespace {

using testing::FakeNodeStore;
using testing::Pattern;
using testing::ScratchDir;

TEST(InvariantDeath, EncodersRefuseWhatTheirCallerShouldHaveSplit) {
  EXPECT_DEATH(ndb::EncodeNbtLeaf(std::vector<ndb::NbtEntry>(16), 1, 0x5000),
               "internal error at .*format.cpp:[0-9]+: NBT leaf overflow");
  EXPECT_DEATH(ndb::EncodeBbtLeaf(std::vector<ndb::BbtEntry>(21), 1, 0x5000), "internal error.*BBT leaf overflow");
  EXPECT_DEATH(ndb::EncodeBlock(std::vector<uint8_t>(8177), 8, 0x6000), "internal error.*block payload too large");
  std::vector<uint8_t> image(128);
  EXPECT_DEATH(ndb::SealBlock(image, 10, 8, 0x6000), "internal error.*block image of the wrong size");
  std::vector<uint8_t> out(255);
  EXPECT_DEATH(PermuteEncode(std::vector<uint8_t>(256), out), "internal error.*permute: sizes differ");
}

TEST(InvariantDeath, NodeDatabaseRefusesBidsItDidNotHandOut) {
  ScratchDir dir;
  auto db = NodeDatabase::Create(dir.File("i.pst"), {.deterministic = true});
  const Bid freed = db->WriteBlock(Pattern(10, 1));
  const Bid kept = db->WriteBlock(Pattern(20, 2));
  db->SetNode(0x21, freed, 0, 0);
  db->SetNode(0x21, kept, 0, 0);
  db->Commit();  // frees the block no node references any more
  EXPECT_DEATH(db->ReadBlock(freed), "internal error.*no block with BID");
  EXPECT_DEATH(db->SetNode(0x41, 0x123456, 0, 0), "internal error.*no block with BID");
  EXPECT_DEATH(db->SetNode(0x41, kept, kept, 0), "internal error.*bidSub must be a subnode tree");
  EXPECT_DEATH(db->WriteDataTree(std::vector<Bid>{kept}, 21), "internal error.*size does not match");
  EXPECT_DEATH(db->WriteSubnodeTree(std::vector<SubnodeEntry>{{2, kept, 0}, {1, kept, 0}}),
               "internal error.*sorted by NID");
  EXPECT_DEATH(db->AllocateNid(32), "internal error.*NID type out of range");
  // Refused calls changed nothing: the store goes on.
  EXPECT_EQ(db->ReadBlock(kept), Pattern(20, 2));
}

TEST(InvariantDeath, HeapAndTablesRefuseIdsTheyNeverGaveOut) {
  FakeNodeStore store;
  ltp::Heap heap(store, ltp::kClientSigPC);
  const ltp::Hid hid = heap.Allocate(std::vector<uint8_t>(4, 1));
  EXPECT_DEATH(heap.Read(ltp::MakeHid(0, ltp::HidIndex(hid) + 1)), "internal error.*heap: bad HID");
  EXPECT_DEATH(heap.Free(ltp::MakeHid(3, 1)), "internal error.*beyond the heap");
  ltp::Bth bth(heap, 4, 4);
  EXPECT_DEATH(bth.Put(1, std::vector<uint8_t>(2)), "internal error.*record data of the wrong size");
  ltp::TableContext tc(store, {0x36020003});
  tc.AddRow(0x22, {});
  EXPECT_DEATH(tc.AddRow(0x22, {}), "internal error.*row id added twice");
  EXPECT_DEATH(tc.UpdateRow(0x42, {}), "internal error.*table: no such row");
}

}  // namespace
}  // namespace pst

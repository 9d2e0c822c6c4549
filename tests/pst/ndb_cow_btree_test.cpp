// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory B-tree image with a loader: written leaves leave memory and
// are read back, as written, whenever they are looked at or changed again.
#include <gtest/gtest.h>

#include <map>

#include "pst/ndb/cow_btree.h"

namespace pst::ndb {
namespace {

struct Rec {
  uint64_t k = 0, v = 0;
  uint64_t key() const { return k; }
};

// A tree whose pages "on disk" are kept in a map by BID.
struct Disk {
  std::map<Bid, std::vector<Rec>> leaves;
  Bid next = 1;
  int loads = 0;
  void Commit(CowBTree<Rec>& tree) {
    tree.Commit(
        [this](uint8_t level, std::span<const Rec> recs, std::span<const BtEntry>) {
          const Bid bid = next++;
          if (level == 0) leaves[bid] = {recs.begin(), recs.end()};
          return Bref{bid, bid * 512};
        },
        [](const Bref&) {});
  }
  CowBTree<Rec>::Loader Loader() {
    return [this](const Bref& where) {
      ++loads;
      return leaves.at(where.bid);
    };
  }
};

std::map<uint64_t, uint64_t> Contents(const CowBTree<Rec>& tree) {
  std::map<uint64_t, uint64_t> out;
  tree.ForEach([&out](const Rec& r) { out[r.k] = r.v; });
  return out;
}

TEST(CowBTree, WrittenLeavesAreReadBackWhenLookedAtAgain) {
  Disk disk;
  CowBTree<Rec> tree(20);
  tree.SetLoader(disk.Loader());
  std::map<uint64_t, uint64_t> model;
  for (uint64_t k = 1; k <= 500; ++k) {
    tree.Upsert({k * 4, k});
    model[k * 4] = k;
  }
  disk.Commit(tree);
  EXPECT_EQ(disk.loads, 0);
  // Every leaf left memory: reading one reads it back; a second read of the
  // same leaf does not.
  ASSERT_NE(tree.Find(40), nullptr);
  EXPECT_EQ(tree.Find(40)->v, 10u);
  EXPECT_EQ(tree.Find(44)->v, 11u);
  EXPECT_EQ(disk.loads, 1);
  EXPECT_EQ(tree.Find(41), nullptr);

  // A leaf that was read is changed, written again, and read once more: the
  // change is what comes back, not the copy read before it.
  tree.FindForUpdate(40)->v = 1000;
  model[40] = 1000;
  disk.Commit(tree);
  EXPECT_EQ(tree.Find(40)->v, 1000u);

  // Inserts between old keys, erasures and a missing key over evicted leaves.
  tree.Upsert({42, 7});
  model[42] = 7;
  EXPECT_TRUE(tree.Erase(400));
  model.erase(400);
  EXPECT_FALSE(tree.Erase(1001));
  disk.Commit(tree);
  EXPECT_EQ(Contents(tree), model);
  EXPECT_EQ(tree.size(), model.size());
  EXPECT_GT(disk.loads, 20);
}

TEST(CowBTree, WithoutALoaderEveryLeafStays) {
  Disk disk;
  CowBTree<Rec> tree(20);
  for (uint64_t k = 1; k <= 100; ++k) tree.Upsert({k, k});
  disk.Commit(tree);
  EXPECT_EQ(tree.Find(50)->v, 50u);
  EXPECT_EQ(Contents(tree).size(), 100u);
  EXPECT_EQ(disk.loads, 0);
}

}  // namespace
}  // namespace pst::ndb

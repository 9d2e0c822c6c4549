// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "fake_node_store.h"
#include "ltp_reader.h"
#include "pst/ltp/bth.h"
#include "pst/ltp/heap.h"

namespace pst {
namespace {

using ltp::Heap;
using testing::FakeNodeStore;

TEST(Heap, OneAllocationGivesTheDocumentsLayout) {
  FakeNodeStore store;
  Heap heap(store, ltp::kClientSigPC);
  std::vector<uint8_t> v = {1, 2, 3, 4, 5};
  ltp::Hid hid = heap.Allocate(v);
  EXPECT_EQ(hid, 0x20u);  // first allocation of page 0: hidIndex 1
  heap.SetUserRoot(hid);
  Bid b = heap.Flush();
  auto page = store.ReadBlock(b);
  // HNHDR: ibHnpm, bSig 0xEC, bClientSig, hidUserRoot, fill levels.
  EXPECT_EQ(page[2], 0xEC);
  EXPECT_EQ(page[3], 0xBC);
  EXPECT_EQ(GetU32(page, 4), 0x20u);
  uint16_t ibHnpm = GetU16(page, 0);
  EXPECT_EQ(ibHnpm % 2, 0);
  EXPECT_EQ(GetU16(page, ibHnpm), 1);      // cAlloc
  EXPECT_EQ(GetU16(page, ibHnpm + 2), 0);  // cFree
  EXPECT_EQ(GetU16(page, ibHnpm + 4), 12); // first allocation right after HNHDR
  EXPECT_EQ(GetU16(page, ibHnpm + 6), 17);
  EXPECT_EQ(page.size(), ibHnpm + 8u);
  EXPECT_EQ(testing::ReadHeap(store, b).Get(hid), v);
}

TEST(Heap, SpansPagesWithBitmapHeadersAndReadsBack) {
  FakeNodeStore store;
  Heap heap(store, ltp::kClientSigTC);
  std::vector<std::pair<ltp::Hid, std::vector<uint8_t>>> all;
  for (int i = 0; i < 400; ++i) {
    std::vector<uint8_t> v(3000 + static_cast<size_t>(i % 500), static_cast<uint8_t>(i));
    all.push_back({heap.Allocate(v), v});
  }
  Bid tree = heap.Flush();
  auto view = testing::ReadHeap(store, tree);
  ASSERT_GT(view.pages.size(), 136u);
  for (const auto& [hid, v] : all) ASSERT_EQ(view.Get(hid), v);
  for (size_t i = 0; i < view.pages.size(); ++i) {
    ASSERT_LE(view.pages[i].size(), kMaxBlockPayload);
    uint16_t ibHnpm = GetU16(view.pages[i], 0);
    size_t header = i == 0 ? 12 : (i % 128 == 8 ? 66 : 2);
    // The first allocation starts right after the page's header.
    ASSERT_EQ(GetU16(view.pages[i], ibHnpm + 4), header) << "page " << i;
  }
  // A full page records a high fill level in the bitmap header of page 8.
  EXPECT_NE(view.pages[8][2], 0);
}

TEST(Heap, FlushRewritesOnlyChangedPages) {
  FakeNodeStore store;
  Heap heap(store, ltp::kClientSigTC);
  std::vector<ltp::Hid> hids;
  for (int i = 0; i < 60; ++i) hids.push_back(heap.Allocate(std::vector<uint8_t>(1000, static_cast<uint8_t>(i))));
  heap.Flush();
  size_t before = store.blocksWritten;
  heap.Rewrite(hids[30], std::vector<uint8_t>(1000, 0xAA));  // a page in the middle
  Bid tree = heap.Flush();
  EXPECT_EQ(store.blocksWritten - before, 1u);
  auto view = testing::ReadHeap(store, tree);
  EXPECT_EQ(view.Get(hids[30]), std::vector<uint8_t>(1000, 0xAA));
  EXPECT_EQ(view.Get(hids[29]), std::vector<uint8_t>(1000, 29));
  // Freed allocations keep their index and read as empty.
  heap.Free(hids[0]);
  view = testing::ReadHeap(store, heap.Flush());
  EXPECT_TRUE(view.Get(hids[0]).empty());
  EXPECT_EQ(view.Get(hids[1]), std::vector<uint8_t>(1000, 1));
}

TEST(Heap, FreedIndexesOfTheLastPageAreReused) {
  FakeNodeStore store;
  Heap heap(store, ltp::kClientSigTC);
  ltp::Hid a = heap.Allocate(std::vector<uint8_t>(10, 1));
  ltp::Hid b = heap.Allocate(std::vector<uint8_t>(10, 2));
  for (int i = 0; i < 5000; ++i) {  // realloc-style churn, as a growing BTH leaf does
    ltp::Hid n = heap.Allocate(std::vector<uint8_t>(20, static_cast<uint8_t>(i)));
    heap.Free(b);
    b = n;
  }
  EXPECT_EQ(heap.pageCount(), 1u);
  auto view = testing::ReadHeap(store, heap.Flush());
  uint16_t ibHnpm = GetU16(view.pages[0], 0);
  EXPECT_LE(GetU16(view.pages[0], ibHnpm), 3);  // cAlloc stays small
  EXPECT_EQ(view.Get(a), std::vector<uint8_t>(10, 1));
  EXPECT_EQ(view.Get(b), std::vector<uint8_t>(20, static_cast<uint8_t>(4999 % 256)));
}

TEST(Heap, RejectsAllocationsOutsideTheLimits) {
  FakeNodeStore store;
  Heap heap(store, ltp::kClientSigPC);
  EXPECT_THROW(heap.Allocate(std::vector<uint8_t>(3581)), PstError);
  EXPECT_THROW(heap.Allocate({}), PstError);
  EXPECT_NO_THROW(heap.Allocate(std::vector<uint8_t>(3580)));
}

TEST(Bth, ManyRecordsBuildLevelsInKeyOrder) {
  FakeNodeStore store;
  Heap heap(store, ltp::kClientSigTC);
  ltp::Bth bth(heap, 4, 4);
  heap.SetUserRoot(bth.header());
  std::map<uint32_t, uint32_t> model;
  // Out of order, with replacements.
  for (uint32_t i = 0; i < 5000; ++i) {
    uint32_t k = (i * 7919u) % 10007u;
    std::vector<uint8_t> d;
    PutU32(d, i);
    bth.Put(k, d);
    model[k] = i;
  }
  bth.Flush();
  auto view = testing::ReadHeap(store, heap.Flush());
  auto hdr = view.Get(bth.header());
  EXPECT_EQ(hdr[0], 0xB5);
  EXPECT_GE(hdr[3], 1);  // at least one intermediate level
  auto got = testing::ReadBth(view, bth.header());
  ASSERT_EQ(got.size(), model.size());
  for (const auto& [k, v] : model) ASSERT_EQ(GetU32(got.at(k), 0), v);
}

TEST(Bth, AppendingTouchesOnlyTheTail) {
  FakeNodeStore store;
  Heap heap(store, ltp::kClientSigTC);
  ltp::Bth bth(heap, 4, 4);
  heap.SetUserRoot(bth.header());
  std::vector<uint8_t> d(4, 0);
  for (uint32_t i = 0; i < 20000; ++i) bth.Put(i, d);
  bth.Flush();
  heap.Flush();
  size_t pages = heap.pageCount();
  size_t before = store.blocksWritten;
  bth.Put(20000, d);
  bth.Flush();
  Bid tree = heap.Flush();
  EXPECT_LE(store.blocksWritten - before, 4u) << "of " << pages << " pages";
  auto got = testing::ReadBth(testing::ReadHeap(store, tree), bth.header());
  EXPECT_EQ(got.size(), 20001u);
  EXPECT_TRUE(got.count(20000));
}

TEST(Bth, EmptyTreeHasNoRoot) {
  FakeNodeStore store;
  Heap heap(store, ltp::kClientSigTC);
  ltp::Bth bth(heap, 2, 6);
  bth.Flush();
  auto view = testing::ReadHeap(store, heap.Flush());
  auto hdr = view.Get(bth.header());
  EXPECT_EQ(GetU32(hdr, 4), 0u);
  EXPECT_TRUE(testing::ReadBth(view, bth.header()).empty());
}

}  // namespace
}  // namespace pst

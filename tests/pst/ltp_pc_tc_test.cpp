// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "fake_node_store.h"
#include "ltp_reader.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"

namespace pst {
namespace {

using testing::FakeNodeStore;

TEST(PropertyContext, EveryTypeRoundTrips) {
  FakeNodeStore store;
  ltp::Subnodes subs;
  ltp::PcBuilder pc(store, subs);
  pc.Set(0x0002, {PropType::Int16, int32_t{-2}});
  pc.Set(0x0003, {PropType::Int32, int32_t{0x12345678}});
  pc.Set(0x0004, {PropType::Float, 1.5});
  pc.Set(0x0005, {PropType::Double, 2.25});
  pc.Set(0x0006, {PropType::Currency, int64_t{1234567}});
  pc.Set(0x000B, {PropType::Boolean, true});
  pc.Set(0x0014, {PropType::Int64, int64_t{-5}});
  pc.Set(0x0040, {PropType::Time, int64_t{0x01D0000000000000}});
  pc.Set(0x0048, {PropType::Guid, Guid{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}});
  pc.Set(0x001F, {PropType::Unicode, std::string("h\xC3\xA9llo \xF0\x9F\x98\x80")});
  pc.Set(0x001E, {PropType::String8, std::string("eight")});
  pc.Set(0x0102, {PropType::Binary, Bytes{9, 8, 7}});
  pc.Set(0x1003, {PropType::MvInt32, std::vector<int32_t>{1, 2, 3}});
  pc.Set(0x101F, {PropType::MvUnicode, std::vector<std::string>{"a", "bc"}});
  pc.Set(0x1102, {PropType::MvBinary, std::vector<Bytes>{{1}, {2, 3}}});
  pc.Set(0x0100, {PropType::Unicode, std::string()});  // empty: HNID 0
  pc.Set(0x0101, {PropType::Binary, Bytes(5000, 0x5A)});  // beyond the heap limit
  Bid data = pc.Finish();
  Bid sub = subs.Write(store);
  auto got = testing::ReadPc(store, data, sub);

  EXPECT_EQ(got.at(0x0002).type, 0x0002);
  EXPECT_EQ(GetU16(got.at(0x0002).bytes, 0), 0xFFFE);
  EXPECT_EQ(GetU32(got.at(0x0003).bytes, 0), 0x12345678u);
  EXPECT_EQ(GetU32(got.at(0x0004).bytes, 0), 0x3FC00000u);
  EXPECT_EQ(GetU64(got.at(0x0005).bytes, 0), 0x4002000000000000ull);
  EXPECT_EQ(GetU64(got.at(0x0006).bytes, 0), 1234567u);
  EXPECT_EQ(got.at(0x000B).bytes, Bytes{1});
  EXPECT_EQ(GetU64(got.at(0x0014).bytes, 0), static_cast<uint64_t>(-5));
  EXPECT_EQ(got.at(0x0048).bytes.size(), 16u);
  EXPECT_EQ(Utf8FromUtf16Le(got.at(0x001F).bytes), "h\xC3\xA9llo \xF0\x9F\x98\x80");
  EXPECT_EQ(got.at(0x001F).bytes.size(), 16u);  // the emoji is a surrogate pair
  EXPECT_EQ(got.at(0x001E).type, 0x001F);       // 8-bit strings are stored as Unicode
  EXPECT_EQ(got.at(0x0102).bytes, (Bytes{9, 8, 7}));
  EXPECT_EQ(got.at(0x1003).bytes.size(), 12u);
  // Multi-valued variable: count, offsets, data.
  const Bytes& mv = got.at(0x101F).bytes;
  EXPECT_EQ(GetU32(mv, 0), 2u);
  EXPECT_EQ(GetU32(mv, 4), 12u);
  EXPECT_EQ(GetU32(mv, 8), 14u);
  EXPECT_EQ(mv.size(), 18u);
  EXPECT_EQ(GetU32(got.at(0x1102).bytes, 0), 2u);
  EXPECT_TRUE(got.at(0x0100).bytes.empty());
  EXPECT_EQ(got.at(0x0101).bytes, Bytes(5000, 0x5A));
  ASSERT_EQ(subs.entries().size(), 1u);
  EXPECT_EQ(subs.entries()[0].nid & 0x1F, 0x1Fu);  // NID_TYPE_LTP
}

TEST(PropertyContext, MismatchedVariantIsAnError) {
  FakeNodeStore store;
  ltp::Subnodes subs;
  ltp::PcBuilder pc(store, subs);
  EXPECT_THROW(pc.Set(0x0003, {PropType::Int32, std::string("x")}), PstError);
}

TEST(TableContext, ColumnsSortedAndRowLayoutGrouped) {
  FakeNodeStore store;
  ltp::TableContext tc(store, {0x3001001F, 0x0E080003, 0x360A000B, 0x00390040, 0x00020002});
  auto w = tc.Flush();
  auto view = testing::ReadTc(store, w.data, w.subnodes);
  ASSERT_EQ(view.tags.size(), 7u);
  EXPECT_TRUE(std::is_sorted(view.tags.begin(), view.tags.end()));
  // RowId, RowVer, one 8-byte, two 4-byte (int + HNID), one 2-byte, one 1-byte, 1 CEB byte.
  EXPECT_EQ(view.rgib[0], 8 + 8 + 4 + 4);
  EXPECT_EQ(view.rgib[1], view.rgib[0] + 2);
  EXPECT_EQ(view.rgib[2], view.rgib[1] + 1);
  EXPECT_EQ(view.rgib[3], view.rgib[2] + 1);
  EXPECT_TRUE(view.rows.empty());
}

ltp::RowValues RowFor(uint32_t i) {
  ltp::RowValues r;
  r[0x3001] = {PropType::Unicode, "row " + std::to_string(i)};
  r[0x0E08] = {PropType::Int32, static_cast<int32_t>(i * 10)};
  if (i % 3 == 0) r[0x360A] = {PropType::Boolean, true};
  if (i % 5 == 0) r[0x0037] = {PropType::Unicode, std::string(2000 + i % 3000, 'x')};
  if (i == 7) r[0x0037] = {PropType::Unicode, std::string(4000, 'y')};  // over the heap limit
  return r;
}

void ExpectRows(FakeNodeStore& store, const ltp::TableContext::Written& w, uint32_t n, uint32_t base) {
  auto view = testing::ReadTc(store, w.data, w.subnodes);
  ASSERT_EQ(view.rows.size(), n);
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t idx = view.rowIndex.at(base + i);
    const auto& row = view.rows.at(idx);
    ASSERT_EQ(GetU32(row.at(0x67F20003), 0), base + i);
    ASSERT_EQ(Utf8FromUtf16Le(row.at(0x3001001F)), "row " + std::to_string(i));
    ASSERT_EQ(GetU32(row.at(0x0E080003), 0), i * 10);
    ASSERT_EQ(row.count(0x360A000B), i % 3 == 0 ? 1u : 0u);
    bool hasSubject = std::count(view.tags.begin(), view.tags.end(), 0x0037001Fu) != 0;
    if (i == 7 && hasSubject) {
      ASSERT_EQ(row.at(0x0037001F).size(), 8000u);
    }
  }
}

TEST(TableContext, RowsRoundTripFromHeapToSubnodeMatrix) {
  FakeNodeStore store;
  ltp::TableContext tc(store, {0x3001001F, 0x0E080003, 0x360A000B, 0x0037001F});
  ltp::TableContext::Written w;
  for (uint32_t i = 0; i < 3000; ++i) {
    tc.AddRow(0x200000 + i, RowFor(i));
    if (i == 3 || i == 100 || i == 2999) {
      w = tc.Flush();
      ExpectRows(store, w, i + 1, 0x200000);
    }
  }
}

TEST(TableContext, AppendingARowWritesFewBlocks) {
  FakeNodeStore store;
  ltp::TableContext tc(store, {0x3001001F, 0x0E080003, 0x360A000B});
  for (uint32_t i = 0; i < 20000; ++i) tc.AddRow(i + 1, RowFor(i));
  tc.Flush();
  size_t before = store.blocksWritten;
  tc.AddRow(20001, RowFor(20000));
  auto w = tc.Flush();
  // Last matrix block, and the heap pages holding the new string, the index
  // tail, its upper level and TCINFO.
  EXPECT_LE(store.blocksWritten - before, 6u);
  ExpectRows(store, w, 20001, 1);
}

// [MS-PST] 2.3.4.4: readers find row N in block N / floor(8176 / rowSize),
// so every block but the last is a full one, its dead space included, also
// when the table grew across flushes; the matrix is subnode 0x3F.
TEST(TableContext, RowMatrixBlocksAreFullButTheLast) {
  FakeNodeStore store;
  ltp::TableContext tc(store, {0x3001001F, 0x0E080003, 0x360A000B});  // 18-byte rows, 454 a block
  ltp::TableContext::Written w;
  for (uint32_t i = 0; i < 1000; ++i) {
    tc.AddRow(i + 1, RowFor(i));
    if (i + 1 == 454 || i + 1 == 1000) w = tc.Flush();
  }
  auto subs = store.ReadSubnodeTree(w.subnodes);
  ASSERT_EQ(subs.size(), 1u);
  EXPECT_EQ(subs[0].nid, 0x3Fu);
  std::vector<size_t> sizes;
  for (Bid b : store.DataTreeBlocks(subs[0].data)) sizes.push_back(store.ReadBlock(b).size());
  EXPECT_EQ(sizes, (std::vector<size_t>{8176, 8176, (1000 - 908) * 18}));
  ExpectRows(store, w, 1000, 1);
}

TEST(TableContext, UpdateRowChangesOnlyNamedCells) {
  FakeNodeStore store;
  ltp::TableContext tc(store, {0x3001001F, 0x36020003, 0x360A000B});
  for (uint32_t i = 0; i < 500; ++i) {
    ltp::RowValues r;
    r[0x3001] = {PropType::Unicode, "folder " + std::to_string(i)};
    r[0x3602] = {PropType::Int32, 0};
    tc.AddRow(0x8000 + 32 * i + 2, r);
  }
  tc.Flush();
  ltp::RowValues upd;
  upd[0x3602] = {PropType::Int32, 42};
  upd[0x360A] = {PropType::Boolean, true};
  tc.UpdateRow(0x8000 + 32 * 250 + 2, upd);
  auto w = tc.Flush();
  auto view = testing::ReadTc(store, w.data, w.subnodes);
  const auto& row = view.rows.at(view.rowIndex.at(0x8000 + 32 * 250 + 2));
  EXPECT_EQ(GetU32(row.at(0x36020003), 0), 42u);
  EXPECT_EQ(row.at(0x360A000B), Bytes{1});
  EXPECT_EQ(Utf8FromUtf16Le(row.at(0x3001001F)), "folder 250");
  const auto& other = view.rows.at(view.rowIndex.at(0x8000 + 32 * 249 + 2));
  EXPECT_EQ(GetU32(other.at(0x36020003), 0), 0u);
  EXPECT_EQ(other.count(0x360A000B), 0u);
  // Row versions come from the store's dwUnique counter; a changed row gets a new one.
  EXPECT_EQ(GetU32(view.rows.at(0).at(0x67F30003), 0), 1u);
  EXPECT_EQ(GetU32(other.at(0x67F30003), 0), 250u);
  EXPECT_EQ(GetU32(row.at(0x67F30003), 0), 501u);
  EXPECT_EQ(store.unique, 501u);
}

}  // namespace
}  // namespace pst

// SPDX-License-Identifier: GPL-3.0-or-later
// The heap, BTH, property context and table context samples of [MS-PST]
// section 3 (the message store PC and the root folder's hierarchy table),
// rebuilt from their decoded contents and compared byte for byte.
#include <gtest/gtest.h>

#include <sstream>

#include "fake_node_store.h"
#include "pst/coding.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/templates.h"

namespace pst {
namespace {

Bytes Hex(const std::string& text) {
  std::istringstream in(text);
  Bytes out;
  std::string tok;
  while (in >> tok) out.push_back(static_cast<uint8_t>(std::stoul(tok, nullptr, 16)));
  return out;
}

const Bytes kRecordKey = Hex("22 9D B5 0A DC D9 94 43 85 DE 90 AE B0 7D 12 70");

Bytes EntryId(uint32_t nid) {
  Bytes b(4, 0);
  b.insert(b.end(), kRecordKey.begin(), kRecordKey.end());
  PutU32(b, nid);
  return b;
}

TEST(DocumentSamples, MessageStoreHeapBthAndPc) {
  const Bytes expected = Hex(
      "EC 00 EC BC 20 00 00 00 00 00 00 00 B5 02 06 00 "
      "40 00 00 00 34 0E 02 01 A0 00 00 00 38 0E 03 00 "
      "00 00 00 00 F9 0F 02 01 60 00 00 00 01 30 1F 00 "
      "80 00 00 00 DF 35 03 00 89 00 00 00 E0 35 02 01 "
      "C0 00 00 00 E3 35 02 01 00 01 00 00 E7 35 02 01 "
      "E0 00 00 00 33 66 0B 00 01 00 00 00 FA 66 03 00 "
      "0D 00 0E 00 FF 67 03 00 00 00 00 00 22 9D B5 0A "
      "DC D9 94 43 85 DE 90 AE B0 7D 12 70 55 00 4E 00 "
      "49 00 43 00 4F 00 44 00 45 00 31 00 01 00 00 00 "
      "F5 5E F6 66 95 69 CC 4C 83 D1 D8 73 98 99 02 85 "
      "01 00 00 00 00 00 00 00 22 9D B5 0A DC D9 94 43 "
      "85 DE 90 AE B0 7D 12 70 22 80 00 00 00 00 00 00 "
      "22 9D B5 0A DC D9 94 43 85 DE 90 AE B0 7D 12 70 "
      "42 80 00 00 00 00 00 00 22 9D B5 0A DC D9 94 43 "
      "85 DE 90 AE B0 7D 12 70 62 80 00 00 08 00 00 00 "
      "0C 00 14 00 6C 00 7C 00 8C 00 A4 00 BC 00 D4 00 "
      "EC 00");
  ASSERT_EQ(expected.size(), 258u);
  testing::FakeNodeStore store;
  ltp::Subnodes subs;
  ltp::PcBuilder pc(store, subs);
  pc.Set(0x0FF9, {PropType::Binary, kRecordKey});
  pc.Set(0x3001, {PropType::Unicode, std::string("UNICODE1")});
  pc.Set(0x0E34, {PropType::Binary, Hex("01 00 00 00 F5 5E F6 66 95 69 CC 4C 83 D1 D8 73 98 99 02 85 01 00 00 00")});
  pc.Set(0x35E0, {PropType::Binary, EntryId(0x8022)});
  pc.Set(0x35E7, {PropType::Binary, EntryId(0x8042)});
  pc.Set(0x35E3, {PropType::Binary, EntryId(0x8062)});
  pc.Set(0x0E38, {PropType::Int32, 0});
  pc.Set(0x35DF, {PropType::Int32, 0x89});
  pc.Set(0x6633, {PropType::Boolean, true});
  pc.Set(0x66FA, {PropType::Int32, 0x000E000D});
  pc.Set(0x67FF, {PropType::Int32, 0});
  Bid data = pc.Finish();
  EXPECT_TRUE(subs.empty());
  EXPECT_EQ(store.ReadBlock(data), expected);
}

TEST(DocumentSamples, RootFolderHierarchyTable) {
  Bytes expected = Hex(
      "BC 01 EC 7C 40 00 00 00 00 00 00 00 B5 04 04 00 "
      "60 00 00 00 7C 0D 34 00 34 00 35 00 37 00 20 00 "
      "00 00 80 00 00 00 00 00 00 00 02 01 30 0E 14 00 "
      "04 06 14 00 33 0E 18 00 08 07 02 01 34 0E 20 00 "
      "04 08 03 00 38 0E 24 00 04 09 1F 00 01 30 08 00 "
      "04 02 03 00 02 36 0C 00 04 03 03 00 03 36 10 00 "
      "04 04 0B 00 0A 36 34 00 01 05 1F 00 13 36 28 00 "
      "04 0A 03 00 35 66 2C 00 04 0B 03 00 36 66 30 00 "
      "04 0C 03 00 F2 67 00 00 04 00 03 00 F3 67 04 00 "
      "04 01 23 22 00 00 02 00 00 00 22 80 00 00 00 00 "
      "00 00 42 80 00 00 01 00 00 00 22 80 00 00 0E 00 "
      "00 00 A0 00 00 00 00 00 00 00 00 00 00 00 00 00 "
      "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
      "00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 FC "
      "00 42 80 00 00 06 00 00 00 C0 00 00 00 00 00 00 "
      "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
      "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
      "00 00 00 00 00 00 FC 00 23 22 00 00 0B 00 00 00 "
      "E0 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
      "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
      "00 00 00 00 00 00 00 00 00 00 00 00 00 FC 00 54 "
      "00 6F 00 70 00 20 00 6F 00 66 00 20 00 50 00 65 "
      "00 72 00 73 00 6F 00 6E 00 61 00 6C 00 20 00 46 "
      "00 6F 00 6C 00 64 00 65 00 72 00 73 00 53 00 65 "
      "00 61 00 72 00 63 00 68 00 20 00 52 00 6F 00 6F "
      "00 74 00 53 00 50 00 41 00 4D 00 20 00 53 00 65 "
      "00 61 00 72 00 63 00 68 00 20 00 46 00 6F 00 6C "
      "00 64 00 65 00 72 00 20 00 32 00 00 07 00 00 00 "
      "0C 00 14 00 92 00 AA 00 4F 01 7D 01 93 01 BB 01");
  testing::FakeNodeStore store;
  ltp::TableContext tc(store, messaging::HierarchyColumns());
  auto row = [](const char* name, bool sub) {
    ltp::RowValues r;
    r[0x3001] = {PropType::Unicode, std::string(name)};
    r[0x3602] = {PropType::Int32, 0};
    r[0x3603] = {PropType::Int32, 0};
    r[0x360A] = {PropType::Boolean, sub};
    return r;
  };
  tc.AddRow(0x8022, row("Top of Personal Folders", true));
  tc.AddRow(0x8042, row("Search Root", false));
  tc.AddRow(0x2223, row("SPAM Search Folder 2", false));
  Bytes got = store.ReadBlock(tc.Flush().data);
  // The row versions are values of the store's dwUnique counter (here the
  // fake store's, from 1); every other byte is the document's.
  const size_t matrix = 0xAA, rowSize = 0x37;
  for (size_t r = 0; r < 3; ++r) {
    ASSERT_GT(got.size(), matrix + r * rowSize + 8);
    EXPECT_EQ(GetU32(got, matrix + r * rowSize + 4), r + 1);
    for (size_t i = 4; i < 8; ++i) got[matrix + r * rowSize + i] = expected[matrix + r * rowSize + i];
  }
  EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace pst

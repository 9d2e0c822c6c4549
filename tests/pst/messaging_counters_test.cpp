// SPDX-License-Identifier: GPL-3.0-or-later
// What Outlook's own files show of a store's identifiers and rows: every NID,
// subnodes included, drawn from the store's per-type counters; recipient row
// ids and row versions from its dwUnique counter; the message status in the
// contents-table row only; and the attachment table's full column set.
#include <gtest/gtest.h>

#include <set>

#include "writer_fixture.h"
#include "pst/messaging/nids.h"
#include "pst/prop_tags.h"

namespace pst {
namespace {

using namespace messaging;
using testing::FakeNodeStore;

using Store = testing::WriterFixture;

// A table among the subnodes of a message.
testing::TcView Table(Store& s, Nid message, Nid table) {
  for (const auto& e : s.store->ReadSubnodeTree(s.store->GetNode(message).subnodes)) {
    if (e.nid == table) return testing::ReadTc(*s.store, e.data, e.subnodes);
  }
  throw PstError("no such table");
}

Message WithParts(const std::string& subject) {
  Message m;
  m.props.Set(tags::kSubject, subject);
  m.props.Set(tags::kBody, std::string(9000, 'b'));  // a value in a subnode
  for (const char* name : {"Ann", "Bob"}) {
    Recipient r;
    r.props.Set(tags::kRecipientType, tags::kRecipTo);
    r.props.Set(tags::kDisplayName, std::string(name));
    m.recipients.push_back(std::move(r));
  }
  Attachment a;
  a.props.Set(tags::kAttachLongFilename, std::string("photo.jpg"));
  a.props.Set(tags::kDisplayName, std::string("photo.jpg"));
  a.props.Set(tags::kAttachMimeTag, std::string("image/jpeg"));
  a.props.Set(tags::kAttachContentId, std::string("id@x"));
  a.props.Set(tags::kAttachmentHidden, true);
  a.data = std::make_shared<MemorySource>(Bytes(5000, 1));
  m.attachments.push_back(std::move(a));
  Attachment e;
  e.embedded = std::make_unique<Message>();
  e.embedded->props.Set(tags::kBody, std::string(9000, 'c'));
  m.attachments.push_back(std::move(e));
  return m;
}

void CollectSubnodes(FakeNodeStore& s, Bid tree, std::vector<Nid>& out) {
  for (const auto& e : s.ReadSubnodeTree(tree)) {
    out.push_back(e.nid);
    CollectSubnodes(s, e.subnodes, out);
  }
}

TEST(MessagingCounters, SubnodeNidsAreUniqueAcrossTheStore) {
  Store s;
  for (int i = 0; i < 2; ++i) s.writer->AddMessage(s.writer->IpmSubtree(), WithParts("m"));
  s.writer->Commit();
  std::vector<Nid> subs;
  for (const auto& [nid, info] : s.store->nodes()) CollectSubnodes(*s.store, info.subnodes, subs);
  std::set<Nid> seen;
  for (const auto& [nid, info] : s.store->nodes()) seen.insert(nid);
  std::set<uint8_t> types;
  for (Nid nid : subs) {
    if (nid == kNidRecipientTable || nid == kNidAttachmentTable || nid == 0x3F) continue;
    EXPECT_TRUE(seen.insert(nid).second) << "NID 0x" << std::hex << nid << " used twice";
    EXPECT_LE(nid >> 5, s.store->LastNidIndex(NidType(nid))) << "NID 0x" << std::hex << nid << " beyond rgnid";
    types.insert(NidType(nid));
  }
  EXPECT_EQ(types, (std::set<uint8_t>{0x04, 0x05, 0x1F}));  // embedded message, attachment, value
}

TEST(MessagingCounters, RowIdsAndVersionsComeFromDwUnique) {
  Store s;
  Nid folder = s.writer->CreateFolder(s.writer->IpmSubtree(), "F");
  std::vector<Nid> msgs;
  for (int i = 0; i < 2; ++i) msgs.push_back(s.writer->AddMessage(folder, WithParts("m")));
  s.writer->Commit();
  std::set<uint32_t> versions, recipientIds;
  auto take = [&](const testing::TcView& tc) {
    for (const auto& row : tc.rows) {
      uint32_t v = GetU32(row.at(0x67F30003), 0);
      EXPECT_TRUE(v >= 1 && v <= s.store->unique) << v;
      EXPECT_TRUE(versions.insert(v).second) << "row version " << v << " twice";
    }
  };
  auto contents = s.store->GetNode(WithType(folder, kNidTypeContentsTable));
  take(testing::ReadTc(*s.store, contents.data, contents.subnodes));
  for (Nid m : msgs) {
    auto rt = Table(s, m, kNidRecipientTable);
    take(rt);
    for (const auto& [id, index] : rt.rowIndex) {
      EXPECT_TRUE(id >= 1 && id <= s.store->unique) << id;
      EXPECT_TRUE(recipientIds.insert(id).second) << "recipient row id " << id << " twice";
    }
    take(Table(s, m, kNidAttachmentTable));
  }
  EXPECT_EQ(recipientIds.size(), 4u);
}

TEST(MessagingCounters, MessageStatusOnlyInTheContentsRow) {
  Store s;
  Message flagged = WithParts("flagged");
  flagged.props.Set(0x0E170003, int32_t{0x1000});  // PidTagMessageStatus
  Nid plain = s.writer->AddMessage(s.writer->IpmSubtree(), WithParts("plain"));
  Nid given = s.writer->AddMessage(s.writer->IpmSubtree(), flagged);
  s.writer->Commit();
  for (Nid m : {plain, given}) {
    auto n = s.store->GetNode(m);
    EXPECT_EQ(testing::ReadPc(*s.store, n.data, n.subnodes).count(0x0E17), 0u);
  }
  auto n = s.store->GetNode(WithType(kNidIpmSubtree, kNidTypeContentsTable));
  auto ct = testing::ReadTc(*s.store, n.data, n.subnodes);
  EXPECT_EQ(ct.rows.at(ct.rowIndex.at(plain)).at(0x0E170003), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(GetU32(ct.rows.at(ct.rowIndex.at(given)).at(0x0E170003), 0), 0x1000u);
}

TEST(MessagingCounters, AttachmentTableHasOutlooksColumns) {
  Store s;
  Nid m = s.writer->AddMessage(s.writer->IpmSubtree(), WithParts("m"));
  auto at = Table(s, m, kNidAttachmentTable);
  // The columns and row layout of the attachment tables in Outlook's own files.
  EXPECT_EQ(at.tags, (std::vector<uint32_t>{
                         0x0E200003, 0x3001001F, 0x3703001F, 0x3704001F, 0x37050003, 0x3707001F, 0x3708001F,
                         0x370A0102, 0x370B0003, 0x370D001F, 0x370E001F, 0x370F0102, 0x3711001F, 0x3712001F,
                         0x3713001F, 0x37140003, 0x3719001F, 0x371A001F, 0x67F20003, 0x67F30003, 0x69090003,
                         0x7FF90040, 0x7FFA0003, 0x7FFB0040, 0x7FFC0040, 0x7FFD0003, 0x7FFE000B, 0x7FFF000B}));
  EXPECT_EQ(std::vector<uint16_t>(at.rgib, at.rgib + 4), (std::vector<uint16_t>{116, 116, 118, 122}));
  ASSERT_EQ(at.rows.size(), 2u);
  const auto& row = at.rows.at(0);
  EXPECT_EQ(Utf8FromUtf16Le(row.at(0x3707001F)), "photo.jpg");
  EXPECT_EQ(Utf8FromUtf16Le(row.at(0x3001001F)), "photo.jpg");
  EXPECT_EQ(Utf8FromUtf16Le(row.at(0x370E001F)), "image/jpeg");
  EXPECT_EQ(Utf8FromUtf16Le(row.at(0x3712001F)), "id@x");
  EXPECT_EQ(row.at(0x7FFE000B), Bytes{1});
  EXPECT_EQ(row.count(0x3719001F), 0u);  // absent from the attachment, absent from the row
}

}  // namespace
}  // namespace pst

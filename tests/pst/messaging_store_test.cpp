// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

#include "writer_fixture.h"
#include "pst/messaging/message_writer.h"
#include "pst/messaging/name_map.h"
#include "pst/messaging/nids.h"
#include "pst/prop_tags.h"

namespace pst {
namespace {

using namespace messaging;
using testing::FakeNodeStore;

using Fixture = testing::WriterFixture;

Message Simple(const std::string& subject, bool read) {
  Message m;
  m.props.Set(tags::kSubject, subject);
  m.props.Set(tags::kMessageFlags, read ? tags::kMsgFlagRead : 0);
  Recipient r;
  r.props.Set(tags::kRecipientType, tags::kRecipCc);
  r.props.Set(tags::kDisplayName, std::string("Ann"));
  m.recipients.push_back(std::move(r));
  return m;
}

TEST(MessagingStore, MandatoryNodesAndStoreEntryIds) {
  Fixture f;
  for (Nid n : {kNidMessageStore, kNidNameToIdMap, kNidRootFolder, WithType(kNidRootFolder, 0x0D),
                WithType(kNidRootFolder, 0x0E), WithType(kNidRootFolder, 0x0F), kNidSearchManagementQueue,
                kNidSearchActivityList, kNidHierarchyTableTemplate, kNidContentsTableTemplate,
                kNidAssocContentsTableTemplate, kNidSearchContentsTableTemplate, kNidRecipientTable,
                kNidAttachmentTable, kNidSpamSearchFolder, kNidIpmSubtree, 0x802Du, 0x802Eu, 0x802Fu,
                kNidSearchRoot, 0x804Du, 0x804Eu, 0x804Fu, kNidDeletedItems, 0x806Du, 0x806Eu, 0x806Fu}) {
    EXPECT_TRUE(f.store->HasNode(n)) << std::hex << n;
  }
  EXPECT_EQ(f.store->GetNode(kNidRootFolder).parent, kNidRootFolder);
  EXPECT_EQ(f.store->GetNode(kNidDeletedItems).parent, kNidIpmSubtree);
  auto store = f.Pc(kNidMessageStore);
  const Bytes& key = store.at(0x0FF9).bytes;
  ASSERT_EQ(key.size(), 16u);
  Bytes ipm = store.at(0x35E0).bytes;
  ASSERT_EQ(ipm.size(), 24u);
  EXPECT_EQ(GetU32(ipm, 0), 0u);
  EXPECT_TRUE(std::equal(key.begin(), key.end(), ipm.begin() + 4));
  EXPECT_EQ(GetU32(ipm, 20), kNidIpmSubtree);
  EXPECT_EQ(GetU32(store.at(0x35E3).bytes, 20), kNidDeletedItems);
  EXPECT_EQ(GetU32(store.at(0x35E7).bytes, 20), kNidSearchRoot);
  EXPECT_EQ(f.writer->EntryIdOf(kNidIpmSubtree), ipm);
  // The spam search folder's update queue (no data block) and criteria
  // object, as in Outlook's stores.
  auto queue = f.store->GetNode(kNidSpamSearchUpdateQueue);
  EXPECT_EQ(queue.data, 0u);
  EXPECT_EQ(queue.parent, 0u);
  auto criteria = f.Pc(kNidSpamSearchCriteria);
  ASSERT_EQ(criteria.size(), 1u);
  EXPECT_EQ(criteria.at(0x660B).type, 0x0003);
  EXPECT_EQ(criteria.at(0x660B).bytes, (Bytes{0, 0, 0, 0}));
  // ... and its contents table, empty, with the search template's columns.
  EXPECT_TRUE(f.Tc(kNidSpamSearchContents).rows.empty());
  EXPECT_EQ(f.Tc(kNidSpamSearchContents).tags, f.Tc(kNidSearchContentsTableTemplate).tags);
  // The name map's two starting names fill two buckets; empty ones are not stored.
  size_t buckets = 0;
  for (const auto& [id, v] : f.Pc(kNidNameToIdMap)) buckets += (id >= 0x1000 && id < 0x1000 + 251) ? 1 : 0;
  EXPECT_EQ(buckets, 2u);
  // Templates have no rows; root lists its three children.
  EXPECT_TRUE(f.Tc(kNidContentsTableTemplate).rows.empty());
  EXPECT_EQ(f.Tc(WithType(kNidRootFolder, 0x0D)).rows.size(), 3u);
  EXPECT_EQ(GetU32(f.Pc(kNidNameToIdMap).at(0x0001).bytes, 0), 251u);
  // The activity list names the spam search folder, as in Outlook's own file.
  auto sal = f.store->GetNode(kNidSearchActivityList);
  EXPECT_EQ(f.store->ReadDataTree(sal.data), (Bytes{0x23, 0x22, 0, 0}));
  EXPECT_EQ(f.store->GetNode(kNidSearchManagementQueue).data, 0u);
  // Outlook's Deleted Items has no container class, in its PC or its row.
  EXPECT_EQ(f.Pc(kNidDeletedItems).count(0x3613), 0u);
  auto top = f.Tc(WithType(kNidIpmSubtree, 0x0D));
  EXPECT_EQ(top.rows.at(top.rowIndex.at(kNidDeletedItems)).count(0x3613001F), 0u);
}

// Group offsets of the templates as Outlook's own store has them.
TEST(MessagingStore, TemplatesHaveOutlooksRowLayout) {
  Fixture f;
  struct Want {
    Nid nid;
    size_t cols;
    uint16_t rgib[4];
  };
  for (const Want& w : {Want{kNidHierarchyTableTemplate, 13, {52, 52, 53, 55}},
                        Want{kNidContentsTableTemplate, 28, {120, 120, 122, 126}},
                        Want{kNidAssocContentsTableTemplate, 15, {56, 56, 57, 59}},
                        Want{kNidSearchContentsTableTemplate, 19, {72, 72, 75, 78}},
                        Want{kNidAttachmentTable, 6, {24, 24, 24, 25}},
                        Want{kNidRecipientTable, 14, {48, 48, 50, 52}}}) {
    auto tc = f.Tc(w.nid);
    EXPECT_EQ(tc.tags.size(), w.cols) << std::hex << w.nid;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(tc.rgib[i], w.rgib[i]) << std::hex << w.nid << " rgib " << i;
    EXPECT_TRUE(std::is_sorted(tc.tags.begin(), tc.tags.end()));
  }
}

TEST(MessagingStore, FolderCountsAgreeWithTables) {
  Fixture f;
  Nid a = f.writer->CreateFolder(f.writer->IpmSubtree(), "A");
  Nid b = f.writer->CreateFolder(a, "B \xF0\x9F\x93\x81");
  EXPECT_NE(a, b);
  EXPECT_EQ(a & 0x1F, 2u);
  for (int i = 0; i < 5; ++i) f.writer->AddMessage(b, Simple("m" + std::to_string(i), i != 0));
  f.writer->Commit();
  EXPECT_EQ(f.Int(b, 0x3602), 5);
  EXPECT_EQ(f.Int(b, 0x3603), 1);
  EXPECT_EQ(f.Pc(b).at(0x360A).bytes, Bytes{0});
  EXPECT_EQ(f.Pc(a).at(0x360A).bytes, Bytes{1});
  EXPECT_EQ(f.Tc(WithType(b, 0x0E)).rows.size(), 5u);
  auto hier = f.Tc(WithType(a, 0x0D));
  const auto& row = hier.rows.at(hier.rowIndex.at(b));
  EXPECT_EQ(GetU32(row.at(0x36020003), 0), 5u);
  EXPECT_EQ(GetU32(row.at(0x36030003), 0), 1u);
  EXPECT_EQ(Utf8FromUtf16Le(row.at(0x3001001F)), "B \xF0\x9F\x93\x81");
  // Nothing is queued for search, as in Outlook's files: no folder is in the
  // search domain and nothing is indexed; the spam folder stays empty.
  EXPECT_EQ(f.store->GetNode(kNidSearchManagementQueue).data, 0u);
  EXPECT_EQ(f.store->GetNode(kNidSpamSearchUpdateQueue).data, 0u);
  EXPECT_TRUE(f.Tc(kNidSpamSearchContents).rows.empty());
  auto sub = f.writer->SubFolders(a);
  ASSERT_EQ(sub.size(), 1u);
  EXPECT_EQ(sub[0].name, "B \xF0\x9F\x93\x81");
  EXPECT_THROW(f.writer->AddMessage(0x12345, Simple("x", true)), PstError);
  EXPECT_THROW(f.writer->CreateFolder(kNidSpamSearchFolder, "x"), PstError);
}

TEST(MessagingStore, MessageSizeSubjectAndRowsAgree) {
  Fixture f;
  Message m = Simple("RE: Hello", true);
  m.props.Set(tags::kSubjectPrefix, std::string("RE: "));
  Attachment a;
  a.props.Set(tags::kAttachLongFilename, std::string("a.bin"));
  a.data = std::make_shared<MemorySource>(Bytes(10000, 7));
  m.attachments.push_back(std::move(a));
  Nid msg = f.writer->AddMessage(f.writer->IpmSubtree(), m);
  f.writer->Commit();
  EXPECT_EQ(f.store->GetNode(msg).parent, kNidIpmSubtree);
  auto pc = f.Pc(msg);
  EXPECT_EQ(Utf8FromUtf16Le(pc.at(0x0037).bytes), std::string("\x01\x05RE: Hello"));
  EXPECT_EQ(Utf8FromUtf16Le(pc.at(0x003D).bytes), "RE: ");
  uint32_t size = GetU32(pc.at(0x0E08).bytes, 0);
  EXPECT_GT(size, 10000u);
  EXPECT_EQ(GetU32(pc.at(0x0E07).bytes, 0) & tags::kMsgFlagHasAttach, static_cast<uint32_t>(tags::kMsgFlagHasAttach));
  // A has-attachments flag without attachments is not kept.
  Message plain = Simple("plain", true);
  plain.props.Set(tags::kMessageFlags, int32_t{17});
  Nid p = f.writer->AddMessage(f.writer->IpmSubtree(), plain);
  EXPECT_EQ(GetU32(f.Pc(p).at(0x0E07).bytes, 0), 1u);
  f.writer->Commit();
  auto ct = f.Tc(WithType(kNidIpmSubtree, 0x0E));
  ASSERT_EQ(ct.rows.size(), 2u);
  EXPECT_EQ(GetU32(ct.rows.at(ct.rowIndex.at(msg)).at(0x0E080003), 0), size);
  // Recipient and attachment tables, and the attachment object.
  auto subs = f.store->ReadSubnodeTree(f.store->GetNode(msg).subnodes);
  Bid recip = 0, attTable = 0, attSubs = 0, attData = 0;
  for (const auto& e : subs) {
    if (e.nid == kNidRecipientTable) recip = e.data;
    if (e.nid == kNidAttachmentTable) attTable = e.data;
    if ((e.nid & 0x1F) == 0x05) {
      attData = e.data;
      attSubs = e.subnodes;
    }
  }
  ASSERT_NE(recip, 0u);
  ASSERT_NE(attTable, 0u);
  auto rt = testing::ReadTc(*f.store, recip, 0);
  ASSERT_EQ(rt.rows.size(), 1u);
  EXPECT_EQ(GetU32(rt.rows[0].at(0x0C150003), 0), 2u);
  auto att = testing::ReadPc(*f.store, attData, attSubs);
  EXPECT_EQ(att.at(0x3701).bytes, Bytes(10000, 7));
  EXPECT_EQ(static_cast<int32_t>(GetU32(att.at(0x370B).bytes, 0)), -1);
  EXPECT_EQ(GetU32(att.at(0x3705).bytes, 0), 1u);
  uint32_t attSize = GetU32(att.at(0x0E20).bytes, 0);
  EXPECT_GE(attSize, 10000u);
  auto at = testing::ReadTc(*f.store, attTable, 0);
  ASSERT_EQ(at.rows.size(), 1u);
  EXPECT_EQ(GetU32(at.rows[0].at(0x0E200003), 0), attSize);
}

TEST(MessagingStore, EmbeddedMessagesNestWithoutCalculatedProperties) {
  Fixture f;
  Message outer = Simple("outer", true);
  // What an importer may hand over but Outlook computes rather than stores.
  outer.props.Set(tags::kHasAttachments, true);
  outer.props.Set(tags::kNormalizedSubject, std::string("outer"));
  outer.props.Set(tags::kSubjectPrefix, std::string());
  outer.props.Set(tags::kObjectType, int32_t{5});
  Attachment a;
  a.props.Set(tags::kAttachNumber, int32_t{0});
  a.props.Set(tags::kObjectType, int32_t{7});
  a.embedded = std::make_unique<Message>(Simple("inner", true));
  Attachment deepest;
  deepest.embedded = std::make_unique<Message>(Simple("innermost", true));
  a.embedded->attachments.push_back(std::move(deepest));
  outer.attachments.push_back(std::move(a));
  Nid msg = f.writer->AddMessage(f.writer->IpmSubtree(), outer);
  // Walk: message -> attachment -> object subnode -> attachment -> object.
  auto node = f.store->GetNode(msg);
  std::vector<std::string> subjects;
  std::set<Bytes> searchKeys;
  Bid data = node.data, subnodes = node.subnodes;
  for (int depth = 0; depth < 3; ++depth) {
    auto pc = testing::ReadPc(*f.store, data, subnodes);
    subjects.push_back(Utf8FromUtf16Le(pc.at(0x0037).bytes).substr(2));
    searchKeys.insert(pc.at(0x300B).bytes);
    for (uint16_t id : {0x0E1B, 0x0E1D, 0x0FFE, 0x003D}) EXPECT_EQ(pc.count(id), 0u) << std::hex << id;
    EXPECT_EQ(GetU32(pc.at(0x0E07).bytes, 0) & tags::kMsgFlagHasAttach, depth < 2 ? 0x10u : 0u);
    if (depth == 2) break;
    SubnodeEntry att{};
    for (const auto& e : f.store->ReadSubnodeTree(subnodes)) if ((e.nid & 0x1F) == 0x05) att = e;
    auto apc = testing::ReadPc(*f.store, att.data, att.subnodes);
    EXPECT_EQ(apc.count(0x0E21) + apc.count(0x0FFE), 0u);
    ASSERT_EQ(apc.at(0x3701).type, 0x000D);
    ASSERT_EQ(GetU32(apc.at(0x3705).bytes, 0), 5u);
    Nid objNid = GetU32(apc.at(0x3701).bytes, 0);
    for (const auto& e : f.store->ReadSubnodeTree(att.subnodes)) {
      if (e.nid == objNid) {
        data = e.data;
        subnodes = e.subnodes;
      }
    }
  }
  EXPECT_EQ(subjects, (std::vector<std::string>{"outer", "inner", "innermost"}));
  EXPECT_EQ(searchKeys.size(), 3u);  // each embedded message has its own
}

// The id the name map gives PidLidSmartNoAttach (PSETID_Common 0x8514).
uint16_t SmartNoAttachId(Fixture& f) {
  const Bytes entries = f.Pc(kNidNameToIdMap).at(0x0003).bytes;
  for (size_t o = 0; o + 8 <= entries.size(); o += 8) {
    if (GetU32(entries, o) == 0x8514u && (GetU16(entries, o + 4) & 1) == 0) {
      return static_cast<uint16_t>(0x8000 + GetU16(entries, o + 6));
    }
  }
  ADD_FAILURE() << "PidLidSmartNoAttach not in the name map";
  return 0;
}

Attachment Part(bool hidden, int32_t flags) {
  Attachment a;
  a.props.Set(tags::kAttachLongFilename, std::string("p.png"));
  a.props.Set(tags::kAttachmentHidden, hidden);
  if (flags) a.props.Set(tags::kAttachFlags, flags);
  a.data = std::make_shared<MemorySource>(Bytes(8, 1));
  return a;
}

// What Outlook's own messages hold: PidLidSmartNoAttach on each (true only
// when every attachment is hidden or rendered in the body, mfHasAttach kept
// beside it), no empty display lists, and recipients without PidTagRowid
// but with PidTagResponsibility.
TEST(MessagingStore, MessagesCarryWhatOutlooksDo) {
  Fixture f;
  Message m = Simple("s", true);  // one Cc recipient, "Ann"
  m.recipients[0].props.Set(tags::kRowid, int32_t{0});
  m.props.Set(tags::kDisplayBcc, std::string());  // given empty: left out all the same
  Nid msg = f.writer->AddMessage(f.writer->IpmSubtree(), m);
  auto pc = f.Pc(msg);
  EXPECT_EQ(Utf8FromUtf16Le(pc.at(0x0E03).bytes), "Ann");
  EXPECT_EQ(pc.count(0x0E04) + pc.count(0x0E02), 0u);
  Bid recip = 0;
  for (const auto& e : f.store->ReadSubnodeTree(f.store->GetNode(msg).subnodes)) {
    if (e.nid == kNidRecipientTable) recip = e.data;
  }
  auto rt = testing::ReadTc(*f.store, recip, 0);
  EXPECT_EQ(std::count(rt.tags.begin(), rt.tags.end(), 0x30000003u), 0);
  ASSERT_EQ(rt.rows.size(), 1u);
  EXPECT_EQ(rt.rows[0][0x0E0F000B], Bytes{1});

  struct Case {
    std::vector<std::pair<bool, int32_t>> parts;
    bool smart;
  };
  for (const Case& c : {Case{{}, false}, Case{{{true, 0}}, true}, Case{{{false, 4}, {true, 4}}, true},
                        Case{{{true, 4}, {false, 0}}, false}}) {
    Message withParts = Simple("s", true);
    for (auto [hidden, flags] : c.parts) withParts.attachments.push_back(Part(hidden, flags));
    auto props = f.Pc(f.writer->AddMessage(f.writer->IpmSubtree(), withParts));
    const uint16_t smart = SmartNoAttachId(f);
    ASSERT_EQ(props.count(smart), 1u) << c.parts.size();
    EXPECT_EQ(props.at(smart).type, 0x000B);
    EXPECT_EQ(props.at(smart).bytes.at(0), c.smart ? 1 : 0) << c.parts.size();
    EXPECT_EQ((GetU32(props.at(0x0E07).bytes, 0) & tags::kMsgFlagHasAttach) != 0, !c.parts.empty());
  }
}

TEST(NameToIdMap, StreamsAndBuckets) {
  NameToIdMap names;
  Guid mine{};
  mine[0] = 0xAB;
  const Guid mapi = {0x28, 0x03, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  EXPECT_EQ(names.Map({mapi, 0x8005u, ""}), 0x8000);
  EXPECT_EQ(names.Map({mine, std::nullopt, "Keywords"}), 0x8001);
  EXPECT_EQ(names.Map({mine, 0x10u, ""}), 0x8002);
  EXPECT_EQ(names.Map({mapi, 0x8005u, ""}), 0x8000);  // same name, same id
  EXPECT_EQ(names.GuidStream().size(), 16u);          // PS_MAPI is implied (wGuid 1)
  Bytes e = names.EntryStream();
  ASSERT_EQ(e.size(), 24u);
  EXPECT_EQ(GetU32(e, 0), 0x8005u);
  EXPECT_EQ(GetU16(e, 4), 1u << 1);      // wGuid 1, N 0
  EXPECT_EQ(GetU16(e, 6), 0u);
  EXPECT_EQ(GetU32(e, 8), 0u);           // offset into the string stream
  EXPECT_EQ(GetU16(e, 12), (3u << 1) | 1);
  Bytes s = names.StringStream();
  EXPECT_EQ(GetU32(s, 0), 16u);          // "Keywords" in UTF-16LE
  EXPECT_EQ(s.size(), 20u);
  const Guid publicStrings = {0x29, 0x03, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  EXPECT_EQ(names.Map({publicStrings, std::nullopt, "Keywords"}), 0x8003);
  auto buckets = names.Buckets();
  ASSERT_EQ(buckets.size(), 251u);
  // Numeric: (id ^ (wGuid << 1 | N)) % 251. String: the CRC-32 of the
  // UTF-16LE name (0x2EDA4D3B for "Keywords") in its place; Outlook's own
  // dist-list.pst keeps PS_PUBLIC_STRINGS "Keywords" in bucket 101.
  EXPECT_EQ(buckets[(0x8005u ^ 2u) % 251], (Bytes{0x05, 0x80, 0, 0, 2, 0, 0, 0}));
  EXPECT_EQ(buckets[101], (Bytes{0x3B, 0x4D, 0xDA, 0x2E, 5, 0, 3, 0}));
  EXPECT_EQ(buckets[99], (Bytes{0x3B, 0x4D, 0xDA, 0x2E, 7, 0, 1, 0}));
  size_t used = 0;
  for (const Bytes& b : buckets) used += b.size();
  EXPECT_EQ(used, 4u * 8);
}

TEST(MessagingStore, AddingToALargeFolderWritesABoundedAmount) {
  Fixture f;
  Nid big = f.writer->CreateFolder(f.writer->IpmSubtree(), "Big");
  for (int i = 0; i < 3000; ++i) f.writer->AddMessage(big, Simple("subject " + std::to_string(i), true));
  f.writer->Commit();
  size_t before = f.store->blocksWritten;
  f.writer->AddMessage(big, Simple("one more", true));
  f.writer->Commit();
  size_t perMessage = f.store->blocksWritten - before;
  // The message's own blocks plus a handful of table and folder blocks.
  EXPECT_LE(perMessage, 20u);
  EXPECT_EQ(f.Tc(WithType(big, 0x0E)).rows.size(), 3001u);
  EXPECT_EQ(f.store->GetNode(kNidSearchManagementQueue).data, 0u);  // nothing grows per message
  EXPECT_EQ(f.Int(big, 0x3602), 3001);
}

TEST(MessagingStore, CommitsAreGroupedByInterval) {
  auto s = std::make_unique<FakeNodeStore>();
  FakeNodeStore* store = s.get();
  WriterOptions o;
  o.commitInterval = std::chrono::milliseconds(0);
  auto w = PstWriter::CreateOnStore(std::move(s), "S", o);
  int before = store->commits;
  w->AddMessage(w->IpmSubtree(), Simple("a", true));
  EXPECT_GT(store->commits, before);
  w->Close();
  w->Close();  // idempotent
  EXPECT_TRUE(store->closed);
  EXPECT_THROW(w->AddMessage(w->IpmSubtree(), Simple("b", true)), PstError);
}

TEST(MessagingStore, ACallerWaitingBetweenMessagesCommitsWhatItStoredOnceDue) {
  auto s = std::make_unique<FakeNodeStore>();
  FakeNodeStore* store = s.get();
  WriterOptions o;
  o.commitInterval = std::chrono::milliseconds(300);
  auto w = PstWriter::CreateOnStore(std::move(s), "S", o);
  w->Commit();
  w->AddMessage(w->IpmSubtree(), Simple("a", true));  // within the interval: not yet on disk
  const int before = store->commits;
  std::this_thread::sleep_for(std::chrono::milliseconds(350));
  w->CommitIfDue();
  EXPECT_EQ(store->commits, before + 1);
  EXPECT_EQ(w->MessagesInFile(), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(350));
  w->CommitIfDue();  // nothing new: nothing written
  EXPECT_EQ(store->commits, before + 1);
  w->Close();
  w->CommitIfDue();  // closed: nothing, and no error
}

}  // namespace
}  // namespace pst

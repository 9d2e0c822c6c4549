// SPDX-License-Identifier: GPL-3.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mailstore/mail_sources.h"
#include "mailstore/maildir_flags.h"
#include "mailstore/modified_utf7.h"
#include "mailstore/scan_fixture.h"

namespace mailstore {
namespace {

using test::AllFolders;
using test::FolderOf;
using test::State;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

TEST(ModifiedUtf7, DecodesImapNamesAndKeepsWhatIsNotOne) {
  EXPECT_EQ(detail::DecodeModifiedUtf7("&ANw-bersicht"), "\xC3\x9C" "bersicht");
  EXPECT_EQ(detail::DecodeModifiedUtf7("Tom &- Jerry"), "Tom & Jerry");
  EXPECT_EQ(detail::DecodeModifiedUtf7("&AMk-t&AOk-"), "\xC3\x89t\xC3\xA9");
  EXPECT_EQ(detail::DecodeModifiedUtf7("&2D3eAQ-"), "\xF0\x9F\x98\x81");  // a surrogate pair
  // Not modified UTF-7: unchanged, bytes and all.
  EXPECT_EQ(detail::DecodeModifiedUtf7("a&ANw"), "a&ANw");
  EXPECT_EQ(detail::DecodeModifiedUtf7("&2D0-"), "&2D0-");  // a lone high surrogate
  EXPECT_EQ(detail::DecodeModifiedUtf7("caf\xE9"), "caf\xE9");
}

TEST(MaildirName, EveryFlagLetterAndKeyword) {
  const std::vector<std::string> keywords =
      detail::ParseDovecotKeywords("0 Work\n1 $Label1\r\n3 later\nbad\n30 x\n4 $Forwarded\n5 $MDNSent\n");
  EXPECT_EQ(keywords[0], "Work");
  EXPECT_EQ(keywords[1], "$Label1");
  EXPECT_EQ(keywords[2], "");
  EXPECT_EQ(keywords[3], "later");

  EXPECT_EQ(detail::ParseMaildirName("1.a.host:2,S", keywords).state, State(true));
  EXPECT_EQ(detail::ParseMaildirName("1.a.host:2,FR", keywords).state, State(false, true, true));
  EXPECT_EQ(detail::ParseMaildirName("1.a.host!2,PS", keywords).state, State(true, false, false, true));
  EXPECT_EQ(detail::ParseMaildirName("1.a.host;2,DS", keywords).state, State(false, false, false, false, true));
  EXPECT_EQ(detail::ParseMaildirName("1.a.host:2,Sdac", keywords).state,
            State(true, false, false, false, false, {"later", "Work"}));
  // Keywords that are a state are that state, not a category; those of
  // spam filters and receipts are neither.
  EXPECT_EQ(detail::ParseMaildirName("1.a.host:2,Sef", keywords).state, State(true, false, false, true));
  EXPECT_TRUE(detail::ParseMaildirName("1.a.host:2,ST", keywords).trashed);
  EXPECT_FALSE(detail::ParseMaildirName("1.a.host:2,S", keywords).trashed);
  EXPECT_EQ(detail::ParseMaildirName("1.a.host", keywords).state, State(false));
  // The info part is the last one; a ':' earlier in the name is not it.
  EXPECT_EQ(detail::ParseMaildirName("1:2,S.host:2,F", keywords).state, State(false, true));
}

TEST(Maildir, MaildirPlusPlusFoldersFlagsKeywordsAndServerFiles) {
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  const std::string root = t.Dir("Maildir");
  t.Write("Maildir/cur/1000.a.host:2,S", "A");
  t.Write("Maildir/cur/1001.b.host:2,FR", "B");
  t.Write("Maildir/new/1002.c.host", "C");
  t.Write("Maildir/cur/1003.d.host:2,ST", "D");
  t.Write("Maildir/cur/1004.e.host:2,Sb", "E");
  t.Write("Maildir/cur/.hidden", "not mail");
  t.Write("Maildir/tmp/1005.f.host", "being delivered");
  t.Write("Maildir/dovecot-keywords", "0 Work\n1 Personal\n");
  for (const char* server : {"dovecot-uidlist", "dovecot.index", "dovecot.index.log", "dovecot.list.index",
                             "courierimapuiddb", "subscriptions", ".Sent/maildirfolder", ".Sent/dovecot-uidlist"}) {
    t.Write(std::string("Maildir/") + server, "1 2 3\n");
  }
  t.Write("Maildir/.Sent/cur/2000.g.host:2,S", "G");
  t.Write("Maildir/.Archive.2023/new/3000.h.host", "H");
  t.Write("Maildir/.Projekte.&ANw-bersicht/cur/4000.i.host:2,Sa", "I");
  t.Write("Maildir/.Projekte.&ANw-bersicht/dovecot-keywords", "0 Wichtig\n");
  t.Dir("Maildir/.NotAFolder");

  ScanResult result;
  ASSERT_EQ(ScanPath(root, result), SourceKind::kMaildir);
  ASSERT_EQ(result.entries.size(), 8u);
  struct Want {
    std::string file;
    EntryKind kind;
    std::string folder;
    model::MessageState state;
  };
  const std::vector<Want> want = {
      {"cur/1000.a.host:2,S", EntryKind::kMessage, "Inbox", State(true)},
      {"cur/1001.b.host:2,FR", EntryKind::kMessage, "Inbox", State(false, true, true)},
      {"new/1002.c.host", EntryKind::kMessage, "Inbox", State(false)},
      {"cur/1003.d.host:2,ST", EntryKind::kExpunged, "Inbox", State(true)},
      {"cur/1004.e.host:2,Sb", EntryKind::kMessage, "Inbox", State(true, false, false, false, false, {"Personal"})},
      {".Archive.2023/new/3000.h.host", EntryKind::kMessage, "Archive > 2023", State(false)},
      {".Projekte.&ANw-bersicht/cur/4000.i.host:2,Sa", EntryKind::kMessage, "Projekte > \xC3\x9C" "bersicht",
       State(true, false, false, false, false, {"Wichtig"})},
      {".Sent/cur/2000.g.host:2,S", EntryKind::kMessage, "Sent", State(true)},
  };
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(want[i].file);
    const Entry& e = result.entries[i];
    EXPECT_EQ(e.kind, want[i].kind);
    EXPECT_EQ(e.ref, model::MessageRef(root + "/" + want[i].file));
    EXPECT_TRUE(e.ref.WholeFile());
    EXPECT_EQ(e.index, -1);
    EXPECT_EQ(FolderOf(result, e), want[i].folder);
    EXPECT_EQ(e.state, want[i].state);
  }
  EXPECT_THAT(AllFolders(result), UnorderedElementsAre("Inbox", "Archive", "Archive > 2023", "Projekte",
                                                       "Projekte > \xC3\x9C" "bersicht", "Sent"));
  for (const Folder& f : result.folders) {
    if (f.names == std::vector<std::string>{"Inbox"}) {
      EXPECT_EQ(f.container, root);
    } else if (f.names == std::vector<std::string>{"Sent"}) {
      EXPECT_EQ(f.container, root + "/.Sent");
    } else if (f.names.size() == 2 && f.names[1] == "2023") {
      EXPECT_EQ(f.container, root + "/.Archive.2023");
    }
  }

  // A subfolder named on its own keeps its name; it is no Inbox.
  ScanResult sub;
  ASSERT_EQ(ScanPath(root + "/.Archive.2023", sub), SourceKind::kMaildir);
  ASSERT_EQ(sub.entries.size(), 1u);
  EXPECT_EQ(FolderOf(sub, sub.entries[0]), "Archive > 2023");
  EXPECT_EQ(sub.entries[0].ref.path, root + "/.Archive.2023/new/3000.h.host");
}

TEST(Maildir, DovecotLayoutFsNestsMaildirsBelowPlainLevels) {
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  const std::string root = t.Dir("mail");
  t.Write("mail/cur/1.host:2,S", "inbox");
  t.Write("mail/Work/new/2.host", "work");
  t.Write("mail/Work/Projects/cur/3.host:2,F", "projects");
  t.Write("mail/Lists/Debian/cur/4.host:2,S", "under a level without a Maildir of its own");
  t.Write("mail/&AMk-t&AOk-/cur/5.host:2,S", "summer");
  t.Write("mail/Notes/readme.txt", "not mail");

  ScanResult result;
  ASSERT_EQ(ScanPath(root + "/", result), SourceKind::kMaildir);
  std::vector<std::string> got;
  for (const Entry& e : result.entries) {
    ASSERT_EQ(e.kind, EntryKind::kMessage) << e.reason;
    got.push_back(FolderOf(result, e) + ": " + test::BytesOf(e.ref));
  }
  EXPECT_THAT(got, ElementsAre("Inbox: inbox", "\xC3\x89t\xC3\xA9: summer",
                               "Lists > Debian: under a level without a Maildir of its own",
                               "Work: work", "Work > Projects: projects"));
  EXPECT_THAT(AllFolders(result), UnorderedElementsAre("Inbox", "\xC3\x89t\xC3\xA9", "Lists", "Lists > Debian",
                                                       "Work", "Work > Projects"));

  ScanResult work;
  ASSERT_EQ(ScanPath(root + "/Work", work), SourceKind::kMaildir);
  EXPECT_THAT(AllFolders(work), ElementsAre("Work", "Work > Projects"));
  ASSERT_EQ(work.entries.size(), 2u);
  EXPECT_EQ(work.entries[1].ref.path, root + "/Work/Projects/cur/3.host:2,F");
  EXPECT_EQ(work.entries[1].state, State(false, true));
}

}  // namespace
}  // namespace mailstore

// SPDX-License-Identifier: GPL-3.0-or-later
// Thunderbird profiles, Apple Mail exports and libraries, .emlx files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mailstore/mail_sources.h"
#include "mailstore/scan_fixture.h"

namespace mailstore {
namespace {

using test::AllFolders;
using test::BytesOf;
using test::FolderOf;
using test::State;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

const std::string kSep = "From - Mon Jan  1 10:00:00 2024\n";

std::string OneMessageMbox(const std::string& subject) {
  return kSep + "X-Mozilla-Status: 0001\nSubject: " + subject + "\n\nbody\n";
}

std::vector<std::string> FoldersAndSubjects(const ScanResult& result) {
  std::vector<std::string> got;
  for (const Entry& e : result.entries) {
    if (e.kind == EntryKind::kProblem) {
      got.push_back("problem " + e.ref.path + ": " + e.reason);
      continue;
    }
    const std::string bytes = BytesOf(e.ref);
    const size_t subject = bytes.find("Subject: ");
    got.push_back(FolderOf(result, e) + ": " +
                  (subject == std::string::npos ? bytes : bytes.substr(subject + 9, bytes.find('\n', subject) - subject - 9)));
  }
  return got;
}

TEST(Thunderbird, ProfileFolderNestsSbdAndSkipsIndexesAndOtherFiles) {
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  const std::string local = t.Dir("profile/Mail/Local Folders");
  t.Write("profile/Mail/Local Folders/Inbox", OneMessageMbox("inbox"));
  t.Write("profile/Mail/Local Folders/Inbox.msf", "// <!-- <mdb:mork:z v=\"1.4\"/> -->\n");
  t.Write("profile/Mail/Local Folders/Inbox.sbd/Work", OneMessageMbox("work"));
  t.Write("profile/Mail/Local Folders/Inbox.sbd/Work.msf", "// mork\n");
  t.Write("profile/Mail/Local Folders/Archives.sbd/2023", OneMessageMbox("old"));
  t.Write("profile/Mail/Local Folders/Trash", "");
  t.Write("profile/Mail/Local Folders/popstate.dat", "# POP3 State File\n");
  t.Write("profile/Mail/Local Folders/msgFilterRules.dat", "version=\"9\"\nlogging=\"no\"\n");
  t.Write("profile/Mail/Local Folders/.DS_Store", std::string("\0\0\0\1Bud1", 8));

  ScanResult result;
  ASSERT_EQ(ScanPath(local, result), SourceKind::kMboxTree);
  EXPECT_THAT(FoldersAndSubjects(result), ElementsAre("Archives > 2023: old", "Inbox: inbox", "Inbox > Work: work"));
  EXPECT_THAT(AllFolders(result), UnorderedElementsAre("Archives", "Archives > 2023", "Inbox", "Inbox > Work"));
  for (const Folder& f : result.folders) {
    if (f.names == std::vector<std::string>{"Inbox"}) {
      EXPECT_EQ(f.container, local + "/Inbox");
    }
  }

  // The mbox named on its own: its folder and its .sbd children; scanned
  // twice into one result, its folders are not repeated.
  ScanResult alone;
  ASSERT_EQ(ScanPath(local + "/Inbox", alone), SourceKind::kMbox);
  ASSERT_EQ(ScanPath(local + "/Inbox", alone), SourceKind::kMbox);
  EXPECT_THAT(FoldersAndSubjects(alone),
              ElementsAre("Inbox: inbox", "Inbox > Work: work", "Inbox: inbox", "Inbox > Work: work"));
  EXPECT_THAT(AllFolders(alone), ElementsAre("Inbox", "Inbox > Work"));

  // An empty Thunderbird folder is nothing, but named on its own it is a problem.
  ScanResult empty;
  EXPECT_EQ(ScanPath(local + "/Trash", empty), SourceKind::kNone);
  ASSERT_EQ(empty.entries.size(), 1u);
  EXPECT_EQ(empty.entries[0].kind, EntryKind::kProblem);
  EXPECT_EQ(empty.entries[0].reason, "holds no messages: the file is empty");
}

std::string Emlx(const std::string& message, const std::string& flags) {
  return std::to_string(message.size()) + "       \n" + message +
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
         "\t<key>date-sent</key>\n\t<real>1700000000</real>\n\t<key>flags</key>\n\t<integer>" +
         flags + "</integer>\n</dict>\n</plist>\n";
}

TEST(AppleMail, EmlxFlagsRangesAndShortFiles) {
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  const std::string message = "Subject: hello\n\nbody\n";
  const std::string read_answered_flagged = t.Write("a/1.emlx", Emlx(message, "16780309"));  // and attachment count, junk
  const std::string deleted = t.Write("a/2.partial.emlx", Emlx(message, "3"));
  const std::string draft_forwarded = t.Write("a/3.emlx", Emlx(message, "320"));
  const std::string shorter = t.Write("a/4.emlx", "500\nSubject: cut short\n\nbo");
  const std::string named_eml = t.Write("a/5.eml", Emlx(message, "1"));  // an .emlx by its layout

  struct Want {
    std::string path;
    SourceKind kind;
    EntryKind entry;
    model::MessageState state;
    uint64_t offset;
    std::string bytes;
  };
  const std::vector<Want> wants = {
      {read_answered_flagged, SourceKind::kEmlx, EntryKind::kMessage, State(true, true, true), 10, message},
      {deleted, SourceKind::kEmlx, EntryKind::kExpunged, State(true), 10, message},
      {draft_forwarded, SourceKind::kEmlx, EntryKind::kMessage, State(false, false, false, true, true), 10, message},
      {shorter, SourceKind::kEmlx, EntryKind::kMessage, State(true), 4, "Subject: cut short\n\nbo"},
      {named_eml, SourceKind::kEmlx, EntryKind::kMessage, State(true), 10, message},
  };
  for (const Want& want : wants) {
    SCOPED_TRACE(want.path);
    ScanResult result;
    EXPECT_EQ(ScanPath(want.path, result), want.kind);
    ASSERT_EQ(result.entries.size(), 1u);
    const Entry& e = result.entries[0];
    EXPECT_EQ(e.kind, want.entry);
    EXPECT_EQ(e.state, want.state);
    EXPECT_EQ(e.ref.offset, want.offset);
    EXPECT_EQ(e.ref.length, want.bytes.size());
    EXPECT_EQ(e.ref.format, model::MessageFormat::kRfc822);
    EXPECT_EQ(BytesOf(e.ref), want.bytes);
    EXPECT_EQ(FolderOf(result, e), "a");
  }
}

TEST(AppleMail, MboxExportBundlesAndTheMailLibrary) {
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  const std::string work = t.Dir("Export/Work.mbox");
  t.Write("Export/Work.mbox/mbox", OneMessageMbox("work"));
  t.Write("Export/Work.mbox/table_of_contents", std::string("\0\1\2\3", 4));
  t.Write("Export/Work.mbox/Info.plist", "<?xml version=\"1.0\"?>\n<plist/>\n");
  t.Write("Export/Work.mbox/Clients.mbox/mbox", OneMessageMbox("client"));

  ScanResult bundle;
  ASSERT_EQ(ScanPath(work, bundle), SourceKind::kMboxTree);
  EXPECT_THAT(FoldersAndSubjects(bundle), ElementsAre("Work: work", "Work > Clients: client"));
  EXPECT_EQ(bundle.folders[0].container, work + "/mbox");

  const std::string message = "Subject: from the library\n\nbody\n";
  t.Write("Library/INBOX.mbox/4F1C/Data/1/Messages/12.emlx", Emlx(message, "1"));
  t.Write("Library/INBOX.mbox/4F1C/Data/Messages/7.partial.emlx", Emlx(message, "0"));
  t.Write("Library/INBOX.mbox/4F1C/Info.plist", "<plist/>");
  t.Write("Library/INBOX.mbox/Lists.mbox/9A/Data/Messages/3.emlx", Emlx(message, "17"));
  ScanResult library;
  ASSERT_EQ(ScanPath(t.Path("Library"), library), SourceKind::kMboxTree);
  ASSERT_EQ(library.entries.size(), 3u);
  EXPECT_THAT(FoldersAndSubjects(library), ElementsAre("INBOX: from the library", "INBOX: from the library",
                                                       "INBOX > Lists: from the library"));
  EXPECT_EQ(library.entries[0].ref.path, t.Path("Library/INBOX.mbox/4F1C/Data/1/Messages/12.emlx"));
  EXPECT_EQ(library.entries[1].state, State(false));
  EXPECT_EQ(library.entries[2].state, State(true, true));
}

}  // namespace
}  // namespace mailstore

// SPDX-License-Identifier: GPL-3.0-or-later
// Plain folders walked for what they hold, and what a path that yields
// nothing reports.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mailstore/mail_sources.h"
#include "mailstore/scan_fixture.h"

namespace mailstore {
namespace {

using test::FolderOf;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

const std::string kMessage = "Return-Path: <ann@example.com>\nSubject: hi\n\nbody\n";

std::vector<std::string> Listing(const ScanResult& result, const std::string& root) {
  std::vector<std::string> got;
  for (const Entry& e : result.entries) {
    const std::string where = e.ref.path.substr(0, root.size()) == root ? e.ref.path.substr(root.size()) : e.ref.path;
    if (e.kind == EntryKind::kProblem) {
      got.push_back("problem " + where + ": " + e.reason);
    } else {
      got.push_back(FolderOf(result, e) + ": " + where + (e.index >= 0 ? "#" + std::to_string(e.index) : ""));
    }
  }
  return got;
}

TEST(FolderWalk, MixedFolderNamesFoldersByRelativePath) {
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  const std::string root = t.Dir("mail");
  t.Write("mail/a.eml", "");  // empty, still a message: the importer says what is wrong with it
  t.Write("mail/B.EML", kMessage);
  t.Write("mail/._B.EML", std::string("\x00\x05\x16\x07\x00\x02\x00\x00Mac OS X        ", 24));
  t.Write("mail/caf\xE9.eml", kMessage);  // not UTF-8: the path's bytes stay
  t.Write("mail/notes.txt", "Shopping list\n");
  t.Write("mail/1", kMessage);  // an MH folder's message
  t.Write("mail/2", std::string("\x89PNG\r\n\x1a\n", 8));
  t.Write("mail/Sent", "From ann@example.com Mon Jan  1 10:00:00 2024\nSubject: s\n\nS\n\n"
                       "From ann@example.com Mon Jan  1 10:00:00 2024\nSubject: t\n\nT\n");
  t.Write("mail/ann/Inbox/1.eml", kMessage);
  t.Write("mail/ann/Maildir/cur/1.host:2,S", kMessage);
  t.Write("mail/ann/Maildir/.Sent/new/2.host", kMessage);
  t.Write("mail/old/Sent", "From ann@example.com Mon Jan  1 10:00:00 2024\nSubject: o\n\nO\n");
  t.Write("mail/x.emlx", "5\nabcde<?xml version=\"1.0\"?><plist><dict><key>flags</key><integer>1</integer></dict></plist>");
  t.Dir("elsewhere/deep");
  t.Write("elsewhere/deep/z.eml", kMessage);
  ASSERT_EQ(::symlink(t.Path("elsewhere").c_str(), t.Path("mail/link").c_str()), 0);
  ASSERT_EQ(::symlink(t.Path("elsewhere/deep/z.eml").c_str(), t.Path("mail/zz.eml").c_str()), 0);
  ASSERT_EQ(::mkfifo(t.Path("mail/pipe.eml").c_str(), 0600), 0);

  ScanResult result;
  ASSERT_EQ(ScanPath(root, result), SourceKind::kEmlFolder);
  EXPECT_THAT(Listing(result, root + "/"),
              ElementsAre("mail: 1", "mail: B.EML", "Sent: Sent#0", "Sent: Sent#1", "mail: a.eml",
                          "ann > Inbox: ann/Inbox/1.eml", "ann > Maildir > Inbox: ann/Maildir/cur/1.host:2,S",
                          "ann > Maildir > Sent: ann/Maildir/.Sent/new/2.host", "mail: caf\xE9.eml",
                          "problem link: a link to a folder: not followed", "old > Sent: old/Sent#0",
                          "problem pipe.eml: not a regular file", "mail: x.emlx", "mail: zz.eml"));
  EXPECT_THAT(test::AllFolders(result),
              UnorderedElementsAre("mail", "Sent", "ann", "ann > Inbox", "ann > Maildir", "ann > Maildir > Inbox",
                                   "ann > Maildir > Sent", "old", "old > Sent"));
  for (const Folder& f : result.folders) {
    if (f.names == std::vector<std::string>{"mail"}) {
      EXPECT_EQ(f.container, root);
    } else if (f.names == std::vector<std::string>{"old", "Sent"}) {
      EXPECT_EQ(f.container, root + "/old/Sent");
    } else if (f.names == std::vector<std::string>{"ann", "Inbox"}) {
      EXPECT_EQ(f.container, root + "/ann/Inbox");
    }
  }
  // The mbox's second message: exact bytes after its separator.
  EXPECT_EQ(test::BytesOf(result.entries[2].ref), "Subject: s\n\nS\n");
  EXPECT_EQ(test::BytesOf(result.entries[3].ref), "Subject: t\n\nT\n");
  EXPECT_EQ(test::BytesOf(result.entries[12].ref), "abcde");
}

TEST(FolderWalk, RelativePathsAreMadeAbsolute) {
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  t.Write("in/m.eml", kMessage);
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(::chdir(t.Root().c_str()), 0);
  ScanResult result;
  const SourceKind kind = ScanPath("in", result);
  ASSERT_EQ(::chdir(cwd), 0);
  EXPECT_EQ(kind, SourceKind::kEmlFolder);
  ASSERT_EQ(result.entries.size(), 1u);
  EXPECT_EQ(result.entries[0].ref.path, t.Path("in/m.eml"));
  EXPECT_EQ(result.folders[0].container, t.Path("in"));
}

TEST(FileByName, WhatIsNeitherMboxNorEmlxIsOneWholeMessage) {
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  for (const std::string& bytes : {std::string("just some text\n"), std::string("From here on, prose.\n\nmore\n"),
                                   std::string("12\nshort")}) {
    SCOPED_TRACE(bytes);
    const std::string path = t.Write("box/notes.txt", bytes);
    ScanResult result;
    EXPECT_EQ(ScanPath(path, result), SourceKind::kEmlFile);
    ASSERT_EQ(result.entries.size(), 1u);
    EXPECT_EQ(result.entries[0].kind, EntryKind::kMessage);
    EXPECT_EQ(result.entries[0].ref, model::MessageRef(path));
    EXPECT_EQ(result.entries[0].state, model::MessageState{});
    EXPECT_EQ(FolderOf(result, result.entries[0]), "box");
    EXPECT_EQ(result.folders[0].container, t.Path("box"));
  }
}

TEST(ScanProblems, PathsThatYieldNothingSayWhyOnce) {
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  t.Dir("empty-maildir/cur");
  t.Dir("empty-maildir/new");
  t.Dir("empty-maildir/tmp");
  t.Write("empty-maildir/tmp/1.host", kMessage);  // being delivered: never read
  t.Write("junk/readme.txt", "nothing here\n");
  t.Write("empty.mbox", "");
  ASSERT_EQ(::mkfifo(t.Path("fifo").c_str(), 0600), 0);

  struct Want {
    std::string path;
    std::string reason;
  };
  for (const Want& want : std::vector<Want>{{t.Path("missing"), "no such file or directory"},
                                            {t.Path("empty-maildir"), "no messages: an empty Maildir"},
                                            {t.Path("junk"), "holds no message files"},
                                            {t.Path("empty.mbox"), "holds no messages: the file is empty"},
                                            {t.Path("fifo"), "not a regular file"}}) {
    SCOPED_TRACE(want.path);
    ScanResult result;
    EXPECT_EQ(ScanPath(want.path, result), SourceKind::kNone);
    ASSERT_EQ(result.entries.size(), 1u);
    EXPECT_EQ(result.entries[0].kind, EntryKind::kProblem);
    EXPECT_EQ(result.entries[0].ref.path, want.path);
    EXPECT_EQ(result.entries[0].reason, want.reason);
    EXPECT_TRUE(result.folders.empty());  // no empty Inbox left behind
  }
}

TEST(ScanProblems, AnUnreadableFolderIsReportedAndTheWalkGoesOn) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  const std::string root = t.Dir("mail");
  t.Write("mail/a/1.eml", kMessage);
  t.Write("mail/b/2.eml", kMessage);
  t.Write("mail/c/3.eml", kMessage);
  ASSERT_EQ(::chmod(t.Path("mail/b").c_str(), 0), 0);
  ScanResult result;
  const SourceKind kind = ScanPath(root, result);
  ScanResult alone;  // the unreadable folder named on its own: one entry that says why
  ScanPath(t.Path("mail/b"), alone);
  ::chmod(t.Path("mail/b").c_str(), 0700);
  ASSERT_EQ(alone.entries.size(), 1u);
  EXPECT_EQ(alone.entries[0].kind, EntryKind::kProblem);
  EXPECT_EQ(alone.entries[0].reason, "cannot list it: Permission denied");
  EXPECT_EQ(kind, SourceKind::kEmlFolder);
  EXPECT_THAT(Listing(result, root + "/"),
              ElementsAre("a: a/1.eml", "problem b: cannot list it: Permission denied", "c: c/3.eml"));
}

TEST(ScanProblems, CancelStopsBeforeTheNextFile) {
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  t.Write("Maildir/cur/1.host:2,S", kMessage);
  t.Write("mail/1.eml", kMessage);
  std::atomic<bool> cancel{true};
  ScanOptions options;
  options.cancel = &cancel;
  for (const std::string& path : {t.Path("Maildir"), t.Path("mail")}) {
    ScanResult result;
    ScanPath(path, result, options);
    EXPECT_TRUE(result.entries.empty()) << path;
  }
}

}  // namespace
}  // namespace mailstore

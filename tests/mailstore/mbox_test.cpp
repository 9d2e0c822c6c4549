// SPDX-License-Identifier: GPL-3.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mailstore/encoded_words.h"
#include "mailstore/gmail_labels.h"
#include "mailstore/mail_probe.h"
#include "mailstore/mail_sources.h"
#include "mailstore/scan_fixture.h"

namespace mailstore {
namespace {

using test::BytesOf;
using test::FolderOf;
using test::State;
using ::testing::ElementsAre;

// An mbox as a test writes it: each message's "From " line, its bytes and
// what comes between it and the next, and where each of them lands.
struct Built {
  std::string bytes;
  std::vector<uint64_t> at;        // the "From " lines
  std::vector<std::string> message;
  std::vector<uint64_t> offset;
};

Built Build(const std::vector<std::pair<std::string, std::string>>& from_and_message, const std::string& gap) {
  Built b;
  for (size_t i = 0; i < from_and_message.size(); ++i) {
    if (i > 0) b.bytes += gap;
    b.at.push_back(b.bytes.size());
    b.bytes += from_and_message[i].first;
    b.offset.push_back(b.bytes.size());
    b.message.push_back(from_and_message[i].second);
    b.bytes += from_and_message[i].second;
  }
  return b;
}

void ExpectRanges(const ScanResult& result, const std::string& path, const Built& b) {
  ASSERT_EQ(result.entries.size(), b.message.size());
  for (size_t i = 0; i < b.message.size(); ++i) {
    SCOPED_TRACE("message " + std::to_string(i));
    const Entry& e = result.entries[i];
    EXPECT_EQ(e.ref.path, path);
    EXPECT_EQ(e.index, static_cast<int64_t>(i));
    EXPECT_EQ(e.at, b.at[i]);
    EXPECT_EQ(e.ref.offset, b.offset[i]);
    EXPECT_EQ(e.ref.length, b.message[i].size());
    EXPECT_EQ(BytesOf(e.ref), b.message[i]);
  }
}

TEST(SeparatorLine, AsctimeDatesWithZonesAndWithoutSender) {
  EXPECT_TRUE(detail::IsSeparatorLine("From MAILER-DAEMON Fri Jul  8 12:08:34 2011\n"));
  EXPECT_TRUE(detail::IsSeparatorLine("From 1234@xxx Sat Jan 03 01:05:34 +0000 2015\r\n"));
  EXPECT_TRUE(detail::IsSeparatorLine("From ann@example.com Mon Dec 11 15:36 2017 +0200"));
  EXPECT_TRUE(detail::IsSeparatorLine("From  Mon Dec 11 15:36:41 2017\n"));
  EXPECT_TRUE(detail::IsSeparatorLine("From ann@example.com Thu, 21 Dec 2017 10:00:00 +0000\n"));
  EXPECT_FALSE(detail::IsSeparatorLine("From here on we go by train.\n"));
  EXPECT_FALSE(detail::IsSeparatorLine("From: ann@example.com\n"));
  EXPECT_FALSE(detail::IsSeparatorLine("From ann Mon Dec 11 2017\n"));
  EXPECT_FALSE(detail::IsSeparatorLine(">From ann Mon Dec 11 15:36:41 2017\n"));
}

TEST(Mbox, SplitsAtSeparatorsWithExactRangesAndStatusHeaders) {
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  const std::string sep = "From ann@example.com Mon Jan  1 10:00:00 2024\n";
  const Built b = Build(
      {
          {sep, "Status: RO\nSubject: one\n\nbody\n>From the quoted line\nFrom here on, no blank line before.\n"},
          {sep, "X-Status: AF\nStatus: O\nSubject: two\n\n\n"},  // its body is one blank line
          {sep, "X-Mozilla-Status: 0009\nSubject: three, expunged\n\nbody\n"},
          {sep, "Subject: four, no status: new mail\n\nbody\n"},
          {sep, "X-Mozilla-Status: 1006\nSubject: five\n\nno blank line before the next separator\n"},
          {"From bob@example.com Tue Jan  2 11:00:00 +0000 2024\n",
           "X-Unsent: 1\nStatus: R\nSubject: six, a draft\n\nthe last line has no newline"},
      },
      "\n");
  // The fifth message runs into the sixth's separator without a blank line.
  std::string bytes = b.bytes;
  const size_t fifth_gap = b.at[5] - 1;
  ASSERT_EQ(bytes[fifth_gap], '\n');
  bytes.erase(fifth_gap, 1);
  Built fixed = b;
  fixed.bytes = bytes;
  fixed.at[5] -= 1;
  fixed.offset[5] -= 1;
  const std::string path = t.Write("Mail/inbox.mbox", bytes);

  ScanResult result;
  ASSERT_EQ(ScanPath(path, result), SourceKind::kMbox);
  ExpectRanges(result, path, fixed);
  std::vector<EntryKind> kinds;
  for (const Entry& e : result.entries) {
    kinds.push_back(e.kind);
    EXPECT_EQ(e.ref.format, model::MessageFormat::kMboxQuoted);
    EXPECT_EQ(FolderOf(result, e), "inbox");
  }
  EXPECT_THAT(kinds, ElementsAre(EntryKind::kMessage, EntryKind::kMessage, EntryKind::kExpunged,
                                 EntryKind::kMessage, EntryKind::kMessage, EntryKind::kMessage));
  EXPECT_EQ(result.entries[0].state, State(true));
  EXPECT_EQ(result.entries[1].state, State(false, true, true));
  EXPECT_EQ(result.entries[3].state, State(false));  // others have Status: this one is new
  EXPECT_EQ(result.entries[4].state, State(false, true, true, true));
  EXPECT_EQ(result.entries[5].state, State(false, false, false, false, true));
  ASSERT_EQ(result.folders.size(), 1u);
  EXPECT_EQ(result.folders[0].container, path);
}

TEST(Mbox, WithoutStatusHeadersEveryMessageIsRead) {
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  const std::string sep = "From ann@example.com Mon Jan  1 10:00:00 2024\n";
  const Built b = Build({{sep, "Subject: a\n\nA\n"}, {sep, "Subject: b\nX-Status: F\n\nB\n"}}, "\n");
  const std::string path = t.Write("Sent", b.bytes);
  ScanResult result;
  ASSERT_EQ(ScanPath(path, result), SourceKind::kMbox);
  ExpectRanges(result, path, b);
  EXPECT_EQ(result.entries[0].state, State(true));
  EXPECT_EQ(result.entries[1].state, State(true, true));
  EXPECT_EQ(FolderOf(result, result.entries[0]), "Sent");
}

TEST(Mbox, ContentLengthBodiesCrlfAndMboxcl2) {
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  const std::string sep = "From ann@example.com Mon Jan  1 10:00:00 2024\r\n";
  const std::string cl2_body = "line\r\n\r\nFrom inside the body, unquoted\r\n";
  const std::string cl_body = "line\r\n\r\n>From quoted\r\n";
  const Built b = Build(
      {
          {sep, "Content-Length: " + std::to_string(cl2_body.size()) + "\r\nSubject: cl2\r\n\r\n" + cl2_body},
          {sep, "Content-Length: " + std::to_string(cl_body.size()) + "\r\nSubject: cl\r\n\r\n" + cl_body},
          {sep, "Content-Length: 5\r\nSubject: wrong count\r\n\r\ncounted wrong\r\n"},
          {"From there a new message starts\r\n", ""},
          {sep, "Subject: counted to the end\r\nContent-Length: 10\r\n\r\nFrom end\r\n"},
      },
      "\r\n");
  const std::string path = t.Write("cl", b.bytes);
  ScanResult result;
  ASSERT_EQ(ScanPath(path, result), SourceKind::kMbox);
  ExpectRanges(result, path, b);
  EXPECT_EQ(result.entries[0].ref.format, model::MessageFormat::kRfc822);
  EXPECT_EQ(result.entries[1].ref.format, model::MessageFormat::kMboxQuoted);
  EXPECT_EQ(result.entries[2].ref.format, model::MessageFormat::kMboxQuoted);
  EXPECT_EQ(result.entries[4].ref.format, model::MessageFormat::kRfc822);
}

TEST(Mbox, ContentLengthIsNotTrustedWhereItDoesNotEndAtASeparator) {
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  const std::string sep = "From ann@example.com Mon Jan  1 10:00:00 2024\n";
  // Counted past the next separator, into the middle of a line.
  const Built b = Build({{sep, "Content-Length: 12\nSubject: a\n\nbody\n"}, {sep, "Subject: b\n\nB\n"}}, "\n");
  const std::string path = t.Write("x", b.bytes);
  ScanResult result;
  ScanPath(path, result);
  ExpectRanges(result, path, b);
}

TEST(Mbox, GoogleTakeoutLabelsPlaceEachMessageOnce) {
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  const std::string sep = "From 1780000000000000001@xxx Mon Dec 11 15:36:41 +0000 2017\n";
  const Built b = Build(
      {
          {sep, "X-GM-THRID: 1\nX-Gmail-Labels: Important,\"Work, old\",Inbox,Unread\nSubject: a\n\nA\n"},
          {sep, "X-Gmail-Labels: Starred,Opened,Work/Projects,\n Category Updates,Important\nSubject: b\n\nB\n"},
          {sep, "X-Gmail-Labels: Archived,Important,Important\nSubject: c\n\nC\n"},
          {sep, "X-Gmail-Labels: Drafts,Opened\nSubject: d\n\nD\n"},
          {sep, "X-Gmail-Labels: Sent,Chat,Inbox\nX-Status: A\nSubject: e\n\nE\n"},
          {sep, "X-Gmail-Labels: =?UTF-8?Q?Gesch=C3=A4ft/2024,?= =?UTF-8?B?T2Zmw6lydGU=?=\n\nF\n"},
      },
      "\n");
  const std::string path = t.Write("Takeout/Mail/All mail Including Spam and Trash.mbox", b.bytes);
  ScanResult result;
  ASSERT_EQ(ScanPath(path, result), SourceKind::kMbox);
  ExpectRanges(result, path, b);
  std::vector<std::string> folders;
  for (const Entry& e : result.entries) folders.push_back(FolderOf(result, e));
  EXPECT_THAT(folders, ElementsAre("Work, old", "Work > Projects", "All mail Including Spam and Trash", "Drafts",
                                   "Sent", "Gesch\xC3\xA4" "ft > 2024"));
  EXPECT_EQ(result.entries[0].state, State(false, false, false, false, false, {"Important", "Inbox"}));
  EXPECT_EQ(result.entries[1].state, State(true, true, false, false, false, {"Category Updates", "Important"}));
  EXPECT_EQ(result.entries[2].state, State(true, false, false, false, false, {"Important"}));
  EXPECT_EQ(result.entries[3].state, State(false, false, false, false, true));
  EXPECT_EQ(result.entries[4].state, State(true, false, true, false, false, {"Chat", "Inbox"}));
  EXPECT_EQ(result.entries[5].state, State(true, false, false, false, false, {"Off\xC3\xA9rte"}));
  for (const Folder& f : result.folders) EXPECT_EQ(f.container, path);
  EXPECT_THAT(test::AllFolders(result), ::testing::UnorderedElementsAre("Work, old", "Work", "Work > Projects",
                                                                       "All mail Including Spam and Trash",
                                                                       "Drafts", "Sent", "Gesch\xC3\xA4" "ft",
                                                                       "Gesch\xC3\xA4" "ft > 2024"));
}

TEST(EncodedWords, DecodesUtf8AndLatin1AndKeepsOthers) {
  EXPECT_EQ(detail::DecodeEncodedWords("=?UTF-8?Q?a_b?= =?utf-8?B?w6k=?= c"), "a b\xC3\xA9 c");
  EXPECT_EQ(detail::DecodeEncodedWords("x =?ISO-8859-1?Q?=E9?="), "x \xC3\xA9");
  EXPECT_EQ(detail::DecodeEncodedWords("=?KOI8-R?Q?=E9?= =?UTF-8?Q?=Z?="), "=?KOI8-R?Q?=E9?= =?UTF-8?Q?=Z?=");
  // A word's text holds no '?': the first one that is not "?=" ends it as no word.
  EXPECT_EQ(detail::DecodeEncodedWords("=?UTF-8?Q?a?b?= =?UTF-8?Q?c?="), "=?UTF-8?Q?a?b?= c");
}

TEST(TakeoutLabels, NestingDeeperThanKeptStaysInTheDeepestName) {
  std::string label;
  std::string rest;
  for (size_t i = 0; i < detail::kMaxLabelDepth + 8; ++i) {
    label += "L" + std::to_string(i) + "/";
    if (i + 1 >= detail::kMaxLabelDepth) rest += (rest.empty() ? "L" : "/L") + std::to_string(i);
  }
  const detail::TakeoutPlace place = detail::PlaceByLabels({label});
  ASSERT_EQ(place.folder.size(), detail::kMaxLabelDepth);
  EXPECT_EQ(place.folder.front(), "L0");
  EXPECT_EQ(place.folder[detail::kMaxLabelDepth - 2], "L" + std::to_string(detail::kMaxLabelDepth - 2));
  EXPECT_EQ(place.folder.back(), rest);
}

}  // namespace
}  // namespace mailstore

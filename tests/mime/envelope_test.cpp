// SPDX-License-Identifier: GPL-3.0-or-later
// Header fields of the message to envelope properties.
#include "import_helpers.h"
#include "mime/subject.h"

namespace {

using namespace mime_test;
namespace tags = model::tags;

TEST(SubjectTest, SplitsReplyAndForwardPrefixes) {
  using mime::detail::SplitSubject;
  EXPECT_EQ(SplitSubject("RE: Lunch").prefix, "RE: ");
  EXPECT_EQ(SplitSubject("RE: Lunch").normalized, "Lunch");
  EXPECT_EQ(SplitSubject("Fwd: Report").prefix, "Fwd: ");
  EXPECT_EQ(SplitSubject("AW: Frage").normalized, "Frage");
  // Not prefixes: too long, digits, no space after the colon, no colon.
  EXPECT_EQ(SplitSubject("Meeting: today").prefix, "");
  EXPECT_EQ(SplitSubject("Q3: numbers").prefix, "");
  EXPECT_EQ(SplitSubject("RE:Lunch").prefix, "");
  EXPECT_EQ(SplitSubject("Hello world").normalized, "Hello world");
  EXPECT_EQ(SplitSubject("").prefix, "");
  EXPECT_EQ(SplitSubject(":x").prefix, "");
}

TEST(EnvelopeTest, SubjectDecodedAndSplit) {
  const auto m = Import(
      "From: a@example.com\r\nSubject: =?UTF-8?Q?RE:_Gr=C3=BC=C3=9Fe?=\r\n\r\nHi\r\n");
  EXPECT_EQ(Str(m.props, tags::kSubject), "RE: Grüße");
  EXPECT_EQ(Str(m.props, tags::kSubjectPrefix), "RE: ");
  EXPECT_EQ(Str(m.props, tags::kNormalizedSubject), "Grüße");
  EXPECT_EQ(Str(m.props, tags::kConversationTopic), "Grüße");
  EXPECT_EQ(Str(m.props, tags::kMessageClass), "IPM.Note");
}

TEST(EnvelopeTest, RawEightBitSubjectIsReadAsUtf8OrWindows1252) {
  EXPECT_EQ(Str(Import("Subject: caf\xc3\xa9\n\nx\n").props, tags::kSubject), "café");
  EXPECT_EQ(Str(Import("Subject: caf\xe9 \x93quoted\x94\n\nx\n").props, tags::kSubject),
            "café \u201Cquoted\u201D");
}

TEST(EnvelopeTest, DateGivesSubmitTimeAndNewestReceivedGivesDeliveryTime) {
  const auto m = Import(
      "Received: from b by c; Tue, 2 Jan 2024 10:00:05 +0000\r\n"
      "Received: from a by b; Tue, 2 Jan 2024 09:59:00 +0000\r\n"
      "Date: Tue, 2 Jan 2024 10:00:00 +0100\r\n"
      "From: a@example.com\r\n\r\nbody\r\n");
  // 2024-01-02 09:00:00 UTC and 10:00:05 UTC.
  EXPECT_EQ(Int(m.props, tags::kClientSubmitTime), model::FileTimeFromUnix(1704186000));
  EXPECT_EQ(Int(m.props, tags::kMessageDeliveryTime), model::FileTimeFromUnix(1704189605));
  EXPECT_EQ(Int(m.props, tags::kCreationTime), kFixedNow);
  EXPECT_EQ(Int(m.props, tags::kLastModificationTime), kFixedNow);
}

TEST(EnvelopeTest, TimesFallBackToEachOtherThenToNow) {
  const auto onlyDate = Import("Date: Tue, 2 Jan 2024 10:00:00 +0000\r\nSubject: x\r\n\r\nb\r\n");
  EXPECT_EQ(Int(onlyDate.props, tags::kMessageDeliveryTime), model::FileTimeFromUnix(1704189600));
  const auto onlyReceived =
      Import("Received: by x; Tue, 2 Jan 2024 10:00:00 +0000\r\nSubject: x\r\n\r\nb\r\n");
  EXPECT_EQ(Int(onlyReceived.props, tags::kClientSubmitTime), model::FileTimeFromUnix(1704189600));
  const auto neither = Import("Subject: x\r\n\r\nb\r\n");
  EXPECT_FALSE(Int(neither.props, tags::kClientSubmitTime).has_value());
  EXPECT_EQ(Int(neither.props, tags::kMessageDeliveryTime), kFixedNow);
}

TEST(EnvelopeTest, IdentifiersKeepTheirAngleBrackets) {
  const auto m = Import(
      "Message-ID: <abc@example.com>\r\nIn-Reply-To: <prev@example.com>\r\n"
      "References: <one@example.com>\r\n <prev@example.com>\r\nSubject: x\r\n\r\nb\r\n");
  EXPECT_EQ(Str(m.props, tags::kInternetMessageId), "<abc@example.com>");
  EXPECT_EQ(Str(m.props, tags::kInReplyToId), "<prev@example.com>");
  EXPECT_EQ(Str(m.props, tags::kInternetReferences), "<one@example.com> <prev@example.com>");
}

TEST(EnvelopeTest, ImportancePriorityAndSensitivity) {
  auto m = Import("Importance: High\r\nSensitivity: Company-Confidential\r\n\r\nb\r\n");
  EXPECT_EQ(Int(m.props, tags::kImportance), 2);
  EXPECT_EQ(Int(m.props, tags::kSensitivity), 3);
  m = Import("X-Priority: 5 (Lowest)\r\n\r\nb\r\n");
  EXPECT_EQ(Int(m.props, tags::kImportance), 0);
  EXPECT_EQ(Int(m.props, tags::kPriority), -1);
  m = Import("Priority: urgent\r\nSensitivity: Personal\r\n\r\nb\r\n");
  EXPECT_EQ(Int(m.props, tags::kImportance), 2);
  EXPECT_EQ(Int(m.props, tags::kPriority), 1);
  EXPECT_EQ(Int(m.props, tags::kSensitivity), 1);
  // Mail that says nothing: normal and not sensitive, as Outlook stores it.
  m = Import("Subject: plain\r\n\r\nb\r\n");
  EXPECT_EQ(Int(m.props, tags::kImportance), 1);
  EXPECT_EQ(Int(m.props, tags::kSensitivity), 0);
}

TEST(EnvelopeTest, TransportHeadersAreTheWholeRawSectionInOrder) {
  const auto m = Import(
      "Received: from a\n by b; Tue, 2 Jan 2024 10:00:00 +0000\n"
      "Subject: =?UTF-8?Q?caf=C3=A9?=\n"
      "MIME-Version: 1.0\n"
      "Content-Type: text/plain; charset=utf-8\n"
      "X-Custom: kept\n\nbody\n");
  EXPECT_EQ(Str(m.props, tags::kTransportMessageHeaders),
            "Received: from a\r\n by b; Tue, 2 Jan 2024 10:00:00 +0000\r\n"
            "Subject: =?UTF-8?Q?caf=C3=A9?=\r\n"
            "MIME-Version: 1.0\r\n"
            "Content-Type: text/plain; charset=utf-8\r\n"
            "X-Custom: kept\r\n\r\n");
}

TEST(EnvelopeTest, FlagsAreReadAndHasAttachOnlyWithVisibleAttachments) {
  const auto plain = Import("Subject: x\r\n\r\nbody\r\n");
  EXPECT_EQ(Int(plain.props, tags::kMessageFlags), tags::kMsgFlagRead);
  const auto withFile = Import(
      "Content-Type: multipart/mixed; boundary=B\r\n\r\n--B\r\n\r\nbody\r\n--B\r\n"
      "Content-Type: application/pdf; name=a.pdf\r\nContent-Disposition: attachment\r\n\r\n"
      "%PDF\r\n--B--\r\n");
  EXPECT_EQ(Int(withFile.props, tags::kMessageFlags), tags::kMsgFlagRead | tags::kMsgFlagHasAttach);
  const auto onlyInlineImage = Import(
      "Content-Type: multipart/related; boundary=R\r\n\r\n--R\r\nContent-Type: text/html\r\n\r\n"
      "<img src=\"cid:pic@x\">\r\n--R\r\nContent-Type: image/png\r\nContent-ID: <pic@x>\r\n\r\n"
      "PNG\r\n--R--\r\n");
  EXPECT_EQ(Int(onlyInlineImage.props, tags::kMessageFlags), tags::kMsgFlagRead);
}

}  // namespace

namespace {

using namespace mime_test;

TEST(EnvelopeTest, RawEightBitSubjectInTheBodysCharset) {
  // "中文" in GB2312, unencoded in the header, body labelled gb2312.
  const auto m = Import(
      "Subject: \xd6\xd0\xce\xc4 ok\r\nContent-Type: text/plain; charset=gb2312\r\n\r\n"
      "\xd6\xd0\xce\xc4\r\n");
  EXPECT_EQ(Str(m.props, model::tags::kSubject), "中文 ok");
  // 8-bit bytes inside an encoded word follow the word's charset.
  const auto n = Import(
      "Subject: =?iso-8859-1?Q?Fr\xf6sche?=\r\nContent-Type: text/plain; charset=koi8-r\r\n\r\nx\r\n");
  EXPECT_EQ(Str(n.props, model::tags::kSubject), "Frösche");
  EXPECT_EQ(Str(m.props, model::tags::kBody), "中文\r\n");
}

}  // namespace

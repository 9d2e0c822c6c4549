// SPDX-License-Identifier: GPL-3.0-or-later
// What the importer mends before or around GMime: encoded words GMime
// misreads, header blocks without their blank line, invalid UTF-8, broken
// quoted-printable, and the conversation index built for every message.
#include "import_helpers.h"
#include "mime/encoded_words.h"
#include "mime/utf8_repair.h"

namespace {

using namespace mime_test;
namespace tags = model::tags;

TEST(EncodedWordsTest, OnlyMisreadRunsAreRewritten) {
  using mime::detail::MendEncodedWords;
  // Padding inside a run of one charset: one word, every byte kept.
  EXPECT_EQ(MendEncodedWords("x =?UTF-8?B?YWI=?=\r\n =?utf-8?b?Y2Q=?= y"), "x =?utf-8?B?YWJjZA==?= y");
  // Different charsets stay apart; the run is rewritten because of the byte.
  EXPECT_EQ(MendEncodedWords("=?iso-8859-1?Q?M\xfc?= =?utf-8?B?w6Q=?="),
            "=?iso-8859-1?B?Tfw=?= =?utf-8?B?w6Q=?=");
  const std::string fine = "=?utf-8?Q?a_b?= =?utf-8?B?Y2Q=?= and =?bogus";
  EXPECT_EQ(MendEncodedWords(fine), fine);
}

TEST(EncodedWordsTest, FileNamesAndDisplayNamesKeepEveryWord) {
  const auto m = Import(
      "From: =?utf-8?B?Sm8=?= =?utf-8?B?ZQ==?= <joe@example.com>\r\n"
      "Content-Type: multipart/mixed; boundary=B\r\n\r\n--B\r\n\r\ntext\r\n--B\r\n"
      "Content-Type: application/octet-stream\r\n"
      "Content-Disposition: attachment; filename=\"=?utf-8?B?cmVwbw==?= =?utf-8?B?cnQ=?=.txt\"\r\n"
      "\r\naGk=\r\n--B--\r\n");
  EXPECT_EQ(Str(m.props, tags::kSentRepresentingName), "Joe");
  ASSERT_EQ(m.attachments.size(), 1u);
  EXPECT_EQ(Str(m.attachments[0].props, tags::kAttachLongFilename), "report.txt");
}

TEST(Utf8RepairTest, EachBadSequenceIsOneReplacement) {
  using mime::detail::RepairUtf8;
  EXPECT_EQ(RepairUtf8("a\xe2\x82x\xc3\xa9").text, "a\xEF\xBF\xBDx\xc3\xa9");      // cut-off sequence
  EXPECT_EQ(RepairUtf8("\xed\xa0\x80!").text, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD!");  // surrogate
  EXPECT_EQ(RepairUtf8("ok\xff").replaced, 1u);
}

TEST(RawRepairTest, PartHeaderWithoutBlankLineKeepsItsContentButNotDamagedFields) {
  const auto m = Import(
      "Content-Type: multipart/mixed; boundary=B\r\n\r\n--B\r\n\r\ntext\r\n"
      "--B\r\nContent-Type: application/octet-stream; name=a.bin\r\n"
      "Content-Transfer-Encoding: base64\r\nQUJD\r\nREVG\r\n\r\n"
      "--B\r\nX-Broken line here\r\nContent-Type: application/octet-stream; name=b.bin\r\n\r\nxyz\r\n"
      "--B--\r\n");
  ASSERT_EQ(m.attachments.size(), 2u);
  EXPECT_EQ(Data(m.attachments[0]), "ABCDEF");
  // A standard field after the odd line: that line was a damaged field.
  EXPECT_EQ(Str(m.attachments[1].props, tags::kAttachLongFilename), "b.bin");
  EXPECT_EQ(Data(m.attachments[1]), "xyz");
}

TEST(RawRepairTest, MessageSentBase64IsRepairedToo) {
  // "Subject: stub\r\nThis message was removed." in base64.
  const auto m = Import(
      "Content-Type: multipart/mixed; boundary=B\r\n\r\n--B\r\n\r\ntext\r\n--B\r\n"
      "Content-Type: message/rfc822\r\nContent-Transfer-Encoding: base64\r\n\r\n"
      "U3ViamVjdDogc3R1Yg0KVGhpcyBtZXNzYWdlIHdhcyByZW1vdmVkLg==\r\n--B--\r\n");
  ASSERT_EQ(m.attachments.size(), 1u);
  ASSERT_TRUE(m.attachments[0].embedded);
  EXPECT_EQ(Str(m.attachments[0].embedded->props, tags::kSubject), "stub");
  EXPECT_EQ(Str(m.attachments[0].embedded->props, tags::kBody), "This message was removed.");
}

// Repairs before and inside the body let it be parsed; the signed entity
// kept for the signature is still the body as it came.
TEST(RawRepairTest, SignedBodyStaysAsItCameAroundRepairs) {
  const std::string body =
      "--s\nsigned text\n--s\nContent-Type: application/pgp-signature\n\nSIG\n--s--\n";
  const auto m = Import(
      "From: a@example.com\nContent-Type: multipart/signed; boundary=s; protocol=\"application/pgp-signature\"\n"
      "Content-Type: text/plain\n\n" + body);
  EXPECT_EQ(Str(m.props, tags::kBody), "signed text");
  ASSERT_EQ(m.attachments.size(), 1u);
  const std::string p7m = Data(m.attachments[0]);
  ASSERT_GE(p7m.size(), body.size());
  EXPECT_EQ(p7m.substr(p7m.size() - body.size()), body);
}

TEST(QuotedPrintableTest, SoftBreaksAfterBrokenEscapesAndAtTheEnd) {
  const auto m = Import(
      "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
      "Caf=C3=A9 =0=\r\n9 a=3db  \r\nlast=\r\n");
  EXPECT_EQ(Str(m.props, tags::kBody), "Caf\xc3\xa9 =09 a=b\r\nlast");
}

TEST(ConversationIndexTest, BuiltFromTheDateAndSharedWithReplies) {
  const std::string date = "Date: Mon, 1 Jun 2020 10:00:00 +0000\r\n";
  const auto root = Import("Message-ID: <root@x>\r\n" + date + "\r\nb\r\n");
  const auto reply = Import("Message-ID: <r@x>\r\nIn-Reply-To: <root@x>\r\n" + date + "\r\nb\r\n");
  const auto other = Import("Message-ID: <other@x>\r\n" + date + "\r\nb\r\n");
  const std::string a = BinAsString(root.props, tags::kConversationIndex);
  const std::string b = BinAsString(reply.props, tags::kConversationIndex);
  ASSERT_EQ(a.size(), 22u);
  ASSERT_EQ(b.size(), 27u);  // one response level
  EXPECT_EQ(a[0], '\x01');
  // The five high bytes of the date's FILETIME, big-endian.
  const uint64_t ft = static_cast<uint64_t>(*Int(root.props, tags::kClientSubmitTime));
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(static_cast<uint8_t>(a[1 + static_cast<size_t>(i)]),
              static_cast<uint8_t>(ft >> (56 - 8 * i)));
  EXPECT_EQ(a.substr(6, 16), b.substr(6, 16));
  EXPECT_NE(a.substr(6, 16), BinAsString(other.props, tags::kConversationIndex).substr(6, 16));
  // A Thread-Index that is not a conversation index is not taken.
  const auto bad = Import("Thread-Index: AQID\r\n" + date + "\r\nb\r\n");
  EXPECT_EQ(BinAsString(bad.props, tags::kConversationIndex).size(), 22u);
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// Broken mail whose content must survive: text the parser would drop,
// cut-off encodings, unreadable originators.
#include "import_helpers.h"

namespace {

using namespace mime_test;
namespace tags = model::tags;

TEST(RecoveryTest, MultipartWithoutUsableBoundaryKeepsItsContent) {
  mime::ImportWarnings warnings;
  auto m = Import("Subject: x\nContent-Type: multipart/alternative;\n\nBlah blah blah\n", &warnings);
  EXPECT_EQ(Str(m.props, tags::kBody), "Blah blah blah\r\n");
  EXPECT_FALSE(warnings.empty());
  m = Import("Subject: x\nContent-Type: multipart/mixed; boundary=\"never\"\n\nHi there,\nfish\n");
  EXPECT_EQ(Str(m.props, tags::kBody), "Hi there,\r\nfish\r\n");
  // Bytes that are not text become an attachment instead of a garbled body.
  m = Import("Subject: x\nContent-Type: multipart/form-data\n\n\x89PNG\r\n\x1a\n\xff\xfe\n");
  EXPECT_EQ(m.props.Find(model::TagId(tags::kBody)), nullptr);
  ASSERT_EQ(m.attachments.size(), 1u);
  EXPECT_EQ(Data(m.attachments[0]).substr(0, 4), "\x89PNG");
}

TEST(RecoveryTest, MissingBlankLineAfterHeadersStartsTheBody) {
  mime::ImportWarnings warnings;
  const auto m = Import(
      "From: a@example.com\nSubject: interesting\ncounter to RFC 2822, there's no blank line here\n"
      "second line\n",
      &warnings);
  EXPECT_EQ(Str(m.props, tags::kSubject), "interesting");
  EXPECT_EQ(Str(m.props, tags::kBody),
            "counter to RFC 2822, there's no blank line here\r\nsecond line\r\n");
  EXPECT_FALSE(warnings.empty());
  // A broken field without spaces is left to the parser, which skips it and
  // still sees the fields after it.
  const auto n = Import("Subject: x\nbroken=\"value\"\nX-After: yes\n\nbody\n");
  EXPECT_EQ(Str(n.props, tags::kBody), "body\r\n");
}

TEST(RecoveryTest, TruncatedBase64KeepsEveryWholeByte) {
  const auto m = Import(
      "Content-Type: multipart/mixed; boundary=B\n\n--B\n\ntext\n--B\n"
      "Content-Type: application/octet-stream; name=a.bin\nContent-Transfer-Encoding: base64\n\n"
      "QUJD\nRA\n--B--\n");
  ASSERT_EQ(m.attachments.size(), 1u);
  EXPECT_EQ(Data(m.attachments[0]), "ABCD");
  // Junk inside base64 is skipped, not fatal.
  const auto n = Import(
      "Content-Type: text/plain\nContent-Transfer-Encoding: base64\n\nSGVs!!bG8=\n=\nIHdvcmxk\n");
  EXPECT_EQ(Str(n.props, tags::kBody), "Hello world");
}

TEST(RecoveryTest, OriginatorWithoutUsableAddressKeepsTheName) {
  const auto m = Import("From: =?koi8-r?B?8sXL0sXB1MnXzs/F?=\nSubject: x\n\nb\n");
  EXPECT_EQ(Str(m.props, tags::kSentRepresentingName), "Рекреативное");
  EXPECT_EQ(Str(m.props, tags::kSentRepresentingEmailAddress), "");
  const auto n = Import("From: <>\nSubject: bounce\n\nb\n");
  EXPECT_EQ(Str(n.props, tags::kSubject), "bounce");
}

TEST(RecoveryTest, SignedEntityIsByteExactAfterLeadingBlankLines) {
  const std::string entity =
      "Content-Type: multipart/signed; protocol=\"application/pgp-signature\"; boundary=S\r\n\r\n"
      "--S\r\nContent-Type: text/plain\r\n\r\nsigned  text \r\n\r\n--S\r\n"
      "Content-Type: application/pgp-signature\r\n\r\n-----BEGIN PGP SIGNATURE-----\r\n--S--\r\n";
  const auto m = Import("\r\n\r\nFrom: a@example.com\r\nSubject: s\r\n" + entity);
  ASSERT_EQ(m.attachments.size(), 1u);
  EXPECT_EQ(Data(m.attachments[0]), entity);
  EXPECT_EQ(Str(m.props, tags::kBody), "signed  text \r\n");
}

TEST(RecoveryTest, ByteOrderMarkIsNotText) {
  const auto m = Import("Content-Type: text/plain; charset=utf-8\n\n\xEF\xBB\xBFhello\n");
  EXPECT_EQ(Str(m.props, tags::kBody), "hello\r\n");
}

}  // namespace

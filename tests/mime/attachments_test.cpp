// SPDX-License-Identifier: GPL-3.0-or-later
// Attachments by value, their names, encodings, embedded messages and
// signed or encrypted mail.
#include "import_helpers.h"
#include "mime/attachment_names.h"
#include "mime/uuencode.h"

namespace {

using namespace mime_test;
namespace tags = model::tags;

std::string Mixed(const std::string& parts) {
  return "From: a@example.com\r\nSubject: files\r\nMIME-Version: 1.0\r\n"
         "Content-Type: multipart/mixed; boundary=\"B\"\r\n\r\n--B\r\n"
         "Content-Type: text/plain\r\n\r\nsee attached\r\n" +
         parts + "--B--\r\n";
}

TEST(AttachmentNamesTest, ShortNamesExtensionsAndSafety) {
  using namespace mime::detail;
  EXPECT_EQ(ShortFileName("report.pdf"), "REPORT.PDF");
  EXPECT_EQ(ShortFileName("Quarterly report 2024.xlsx"), "QUARTE~1.XLS");
  EXPECT_EQ(ShortFileName("résumé.doc"), "R_SUM_~1.DOC");
  EXPECT_EQ(ShortFileName("noext"), "NOEXT");
  EXPECT_EQ(ExtensionOf("archive.tar.gz"), ".gz");
  EXPECT_EQ(ExtensionOf("README"), "");
  EXPECT_EQ(ExtensionOf(".hidden"), "");
  EXPECT_EQ(SafeFileName("C:\\Users\\x\\evil.exe"), "evil.exe");
  EXPECT_EQ(SafeFileName("../../etc/passwd"), "passwd");
  EXPECT_EQ(SafeFileName("a:b*c?.txt"), "a_b_c_.txt");
  EXPECT_EQ(SafeFileName("bell\a.txt"), "bell.txt");
  EXPECT_EQ(SafeFileName(".."), "");
  EXPECT_EQ(DefaultFileName("image/png", 3), "ATT00003.png");
}

TEST(AttachmentsTest, Base64AttachmentWithAllNameProperties) {
  const auto m = Import(Mixed(
      "--B\r\nContent-Type: application/pdf; name=\"Annual Report.pdf\"\r\n"
      "Content-Disposition: attachment; filename=\"Annual Report.pdf\"\r\n"
      "Content-Transfer-Encoding: base64\r\nContent-ID: <rep@x>\r\n\r\nJVBERi0xLjQK\r\n"));
  ASSERT_EQ(m.attachments.size(), 1u);
  const auto& a = m.attachments[0];
  EXPECT_EQ(Int(a.props, tags::kAttachMethod), 1);
  EXPECT_EQ(Str(a.props, tags::kAttachLongFilename), "Annual Report.pdf");
  EXPECT_EQ(Str(a.props, tags::kAttachFilename), "ANNUAL~1.PDF");
  EXPECT_EQ(Str(a.props, tags::kDisplayName), "Annual Report.pdf");
  EXPECT_EQ(Str(a.props, tags::kAttachExtension), ".pdf");
  EXPECT_EQ(Str(a.props, tags::kAttachMimeTag), "application/pdf");
  EXPECT_EQ(Str(a.props, tags::kAttachContentId), "rep@x");
  EXPECT_EQ(Int(a.props, tags::kRenderingPosition), -1);
  EXPECT_EQ(Int(a.props, tags::kAttachSize), 9);
  EXPECT_EQ(Int(a.props, tags::kAttachmentHidden), 0);
  EXPECT_EQ(Data(a), "%PDF-1.4\n");
  EXPECT_EQ(Str(m.props, tags::kBody), "see attached");
}

// Standard base64 of bytes, in lines of `width` characters.
std::string Base64Lines(const std::string& bytes, size_t width) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string flat;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 2]);
    flat += kAlphabet[v >> 18];
    flat += kAlphabet[(v >> 12) & 63];
    flat += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    flat += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
  }
  std::string out;
  for (size_t i = 0; i < flat.size(); i += width) out += flat.substr(i, width) + "\r\n";
  return out;
}

TEST(AttachmentsTest, LargeBase64DecodesExactlyWhateverTheLineLayout) {
  // Larger than the decoder's read buffer, with line lengths that do and do
  // not split the four-character groups, stray characters between groups
  // and inside one, and a length that ends in padding.
  std::string bytes(200001, '\0');
  uint32_t x = 7;
  for (char& c : bytes) c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
  for (size_t width : {76u, 64u, 73u, 1u}) {
    SCOPED_TRACE(width);
    std::string body = Base64Lines(bytes, width);
    if (width == 73) {
      body.insert(1000, "*");     // between characters of a group
      body.insert(5001, " \t");  // and again further on
    }
    const auto m = Import(Mixed("--B\r\nContent-Type: application/octet-stream; name=\"r.bin\"\r\n"
                                "Content-Transfer-Encoding: base64\r\n\r\n" + body));
    ASSERT_EQ(m.attachments.size(), 1u);
    EXPECT_TRUE(Data(m.attachments[0]) == bytes);
  }
}

TEST(AttachmentsTest, Rfc2231AndRfc2047FileNames) {
  const auto m = Import(Mixed(
      "--B\r\nContent-Type: text/plain\r\n"
      "Content-Disposition: attachment;\r\n filename*0*=UTF-8''%C3%9Cbersicht%20;\r\n"
      " filename*1=\"2024.txt\"\r\n\r\nA\r\n"
      "--B\r\nContent-Type: application/octet-stream;\r\n name=\"=?ISO-8859-1?Q?r=E9sum=E9=2Edoc?=\"\r\n"
      "Content-Disposition: attachment\r\n\r\nB\r\n"
      "--B\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment\r\n\r\nC\r\n"));
  ASSERT_EQ(m.attachments.size(), 3u);
  EXPECT_EQ(Str(m.attachments[0].props, tags::kAttachLongFilename), "Übersicht 2024.txt");
  EXPECT_EQ(Str(m.attachments[1].props, tags::kAttachLongFilename), "résumé.doc");
  // No name at all: one is made up, numbered, with a fitting extension.
  EXPECT_EQ(Str(m.attachments[2].props, tags::kAttachLongFilename), "ATT00001.bin");
}

TEST(AttachmentsTest, QuotedPrintableAndUuencodeTransferEncodings) {
  const auto m = Import(Mixed(
      "--B\r\nContent-Type: text/csv; name=a.csv\r\nContent-Disposition: attachment\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n\r\nx=3Dy,=E9\r\n"
      "--B\r\nContent-Type: application/octet-stream; name=c.txt\r\n"
      "Content-Disposition: attachment\r\nContent-Transfer-Encoding: x-uuencode\r\n\r\n"
      "begin 644 c.txt\r\n#0V%T\r\n`\r\nend\r\n"));
  ASSERT_EQ(m.attachments.size(), 2u);
  EXPECT_EQ(Data(m.attachments[0]), "x=y,\xe9");
  EXPECT_EQ(Data(m.attachments[1]), "Cat");
}

TEST(UuencodeTest, InlineBlocksAreCutOutOfTheText) {
  using mime::detail::ExtractUuencoded;
  const auto split = ExtractUuencoded("Hello\nbegin 644 cat.txt\n#0V%T\n`\nend\nBye\n");
  ASSERT_EQ(split.files.size(), 1u);
  EXPECT_EQ(split.files[0].name, "cat.txt");
  EXPECT_EQ(std::string(split.files[0].bytes.begin(), split.files[0].bytes.end()), "Cat");
  EXPECT_EQ(split.text, "Hello\nBye\n");
  // Prose that only looks like a begin line stays text.
  const auto prose = ExtractUuencoded("begin 644 now we start\nthe meeting.\n");
  EXPECT_TRUE(prose.files.empty());
  EXPECT_EQ(prose.text, "begin 644 now we start\nthe meeting.\n");
  // A block cut off before "end" keeps what was decoded.
  const auto cut = ExtractUuencoded("begin 600 x.bin\n#0V%T\n");
  ASSERT_EQ(cut.files.size(), 1u);
  EXPECT_EQ(cut.files[0].bytes.size(), 3u);
}

TEST(AttachmentsTest, InlineUuencodeInPlainBodyBecomesAnAttachment) {
  const auto m = Import("Subject: old style\r\n\r\nHere it is:\r\n\r\nbegin 644 cat.txt\r\n"
                        "#0V%T\r\n`\r\nend\r\n\r\nCheers\r\n");
  ASSERT_EQ(m.attachments.size(), 1u);
  EXPECT_EQ(Str(m.attachments[0].props, tags::kAttachLongFilename), "cat.txt");
  EXPECT_EQ(Data(m.attachments[0]), "Cat");
  const std::string body = Str(m.props, tags::kBody);
  EXPECT_EQ(body.find("begin 644"), std::string::npos);
  EXPECT_NE(body.find("Cheers"), std::string::npos);
}

TEST(AttachmentsTest, EmbeddedMessagesAreImportedRecursively) {
  const auto m = Import(Mixed(
      "--B\r\nContent-Type: message/rfc822\r\n\r\n"
      "From: Inner <inner@example.com>\r\nTo: x@example.com\r\nSubject: inner mail\r\n"
      "Content-Type: multipart/mixed; boundary=C\r\n\r\n"
      "--C\r\nContent-Type: text/plain\r\n\r\ninner body\r\n"
      "--C\r\nContent-Type: image/gif; name=i.gif\r\n\r\nGIF\r\n--C--\r\n"));
  ASSERT_EQ(m.attachments.size(), 1u);
  const auto& a = m.attachments[0];
  EXPECT_EQ(Int(a.props, tags::kAttachMethod), 5);
  EXPECT_EQ(Str(a.props, tags::kDisplayName), "inner mail");
  ASSERT_NE(a.embedded, nullptr);
  const auto& inner = *a.embedded;
  EXPECT_EQ(Str(inner.props, tags::kSubject), "inner mail");
  EXPECT_EQ(Str(inner.props, tags::kSenderName), "Inner");
  EXPECT_EQ(Str(inner.props, tags::kBody), "inner body");
  ASSERT_EQ(inner.recipients.size(), 1u);
  ASSERT_EQ(inner.attachments.size(), 1u);
  EXPECT_EQ(Str(inner.attachments[0].props, tags::kAttachLongFilename), "i.gif");
  EXPECT_EQ(Int(m.props, tags::kMessageFlags), tags::kMsgFlagRead | tags::kMsgFlagHasAttach);
}

TEST(AttachmentsTest, MessagesNestedPastTheLimitAreKeptAsEmlFiles) {
  std::string text = "Subject: level 3\r\n\r\ninnermost\r\n";
  for (int level = 2; level >= 0; --level)
    text = "Subject: level " + std::to_string(level) +
           "\r\nContent-Type: message/rfc822\r\n\r\n" + text;
  mime::ImportOptions options;
  options.maxEmbeddedDepth = 2;
  mime::ImportWarnings warnings;
  const auto m = Import(text, &warnings, options);
  ASSERT_EQ(m.attachments.size(), 1u);
  const model::Message* level2 = m.attachments[0].embedded->attachments.at(0).embedded.get();
  ASSERT_NE(level2, nullptr);
  ASSERT_EQ(level2->attachments.size(), 1u);
  const auto& eml = level2->attachments[0];
  EXPECT_EQ(eml.embedded, nullptr);
  EXPECT_EQ(Int(eml.props, tags::kAttachMethod), 1);
  EXPECT_EQ(Str(eml.props, tags::kAttachLongFilename), "level 3.eml");
  EXPECT_EQ(Str(eml.props, tags::kAttachMimeTag), "message/rfc822");
  EXPECT_NE(Data(eml).find("innermost"), std::string::npos);
  EXPECT_FALSE(warnings.empty());
}

TEST(AttachmentsTest, ClearSignedMessageKeepsTheSignedEntityWhole) {
  const std::string signedPart =
      "Content-Type: multipart/signed; protocol=\"application/pkcs7-signature\";"
      " micalg=sha-256; boundary=\"S\"\r\n\r\n"
      "--S\r\nContent-Type: multipart/mixed; boundary=M\r\n\r\n"
      "--M\r\nContent-Type: text/plain\r\n\r\nsigned text\r\n"
      "--M\r\nContent-Type: application/zip; name=z.zip\r\nContent-Disposition: attachment\r\n\r\n"
      "PK\r\n--M--\r\n"
      "\r\n--S\r\nContent-Type: application/pkcs7-signature; name=smime.p7s\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\nMIAGCSqGSIb3DQEHAqCAMIACAQEx\r\n--S--\r\n";
  const auto m = Import("From: a@example.com\r\nSubject: signed\r\n" + signedPart);
  EXPECT_EQ(Str(m.props, tags::kMessageClass), "IPM.Note.SMIME.MultipartSigned");
  EXPECT_EQ(Str(m.props, tags::kBody), "signed text");
  ASSERT_EQ(m.attachments.size(), 1u);
  const auto& p7m = m.attachments[0];
  EXPECT_EQ(Str(p7m.props, tags::kAttachLongFilename), "smime.p7m");
  EXPECT_EQ(Str(p7m.props, tags::kAttachMimeTag), "multipart/signed");
  const std::string data = Data(p7m);
  EXPECT_NE(data.find("--S\r\nContent-Type: multipart/mixed; boundary=M\r\n"), std::string::npos);
  EXPECT_NE(data.find("MIAGCSqGSIb3DQEHAqCAMIACAQEx"), std::string::npos);
  EXPECT_NE(data.find("Content-Type: multipart/signed"), std::string::npos);
  // The zip inside the signed content is what the user sees as attached.
  EXPECT_EQ(Int(m.props, tags::kMessageFlags), tags::kMsgFlagRead | tags::kMsgFlagHasAttach);
}

TEST(AttachmentsTest, EncryptedMessageIsOpaque) {
  const auto m = Import(
      "From: a@example.com\r\nSubject: secret\r\n"
      "Content-Type: application/pkcs7-mime; smime-type=enveloped-data; name=smime.p7m\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\nMIAGCSqG\r\n");
  EXPECT_EQ(Str(m.props, tags::kMessageClass), "IPM.Note.SMIME");
  EXPECT_EQ(m.props.Find(model::TagId(tags::kBody)), nullptr);
  ASSERT_EQ(m.attachments.size(), 1u);
  EXPECT_EQ(Str(m.attachments[0].props, tags::kAttachMimeTag), "application/pkcs7-mime");
  EXPECT_EQ(Data(m.attachments[0]), std::string("\x30\x80\x06\x09\x2a\x86", 6));
}

}  // namespace

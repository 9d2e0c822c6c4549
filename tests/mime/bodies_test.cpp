// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing and storing the plain and HTML bodies.
#include "import_helpers.h"
#include "mime/text_util.h"

namespace {

using namespace mime_test;
namespace tags = model::tags;

TEST(BodiesTest, PlainTextBodyWithLineEndsAsCrlf) {
  const auto m = Import("Subject: x\n\nline one\nline two\n");
  EXPECT_EQ(Str(m.props, tags::kBody), "line one\r\nline two\r\n");
  EXPECT_EQ(m.props.Find(model::TagId(tags::kHtml)), nullptr);
  EXPECT_TRUE(m.attachments.empty());
}

TEST(BodiesTest, QuotedPrintableAndBase64BodiesAreDecoded) {
  auto m = Import(
      "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
      "Gr=C3=BC=C3=9Fe, soft=\r\nbreak\r\n");
  EXPECT_EQ(Str(m.props, tags::kBody), "Grüße, softbreak\r\n");
  m = Import(
      "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
      "SGVsbG8gd29ybGQ=\r\n");
  EXPECT_EQ(Str(m.props, tags::kBody), "Hello world");
}

TEST(BodiesTest, AlternativeKeepsBothBodiesAndHtmlCodepage) {
  const auto m = Import(
      "Content-Type: multipart/alternative; boundary=A\r\n\r\n"
      "--A\r\nContent-Type: text/plain; charset=iso-8859-1\r\n\r\ncaf\xe9\r\n"
      "--A\r\nContent-Type: text/html; charset=iso-8859-1\r\n\r\n<p>caf\xe9</p>\r\n"
      "--A--\r\n");
  EXPECT_EQ(Str(m.props, tags::kBody), "café");
  // The HTML keeps its bytes and says which code page they are in.
  EXPECT_EQ(BinAsString(m.props, tags::kHtml), "<p>caf\xe9</p>");
  EXPECT_EQ(Int(m.props, tags::kInternetCodepage), 28591);
  EXPECT_TRUE(m.attachments.empty());
}

TEST(BodiesTest, HtmlInAnUnknownOrWrongCharsetIsStoredAsUtf8) {
  const auto m = Import(
      "Content-Type: text/html; charset=utf-8\r\n\r\n<b>caf\xe9</b>\r\n");
  EXPECT_EQ(BinAsString(m.props, tags::kHtml), "<b>café</b>\r\n");
  EXPECT_EQ(Int(m.props, tags::kInternetCodepage), 65001);
}

TEST(BodiesTest, RelatedImagesBecomeHiddenInlineAttachments) {
  const auto m = Import(
      "Content-Type: multipart/alternative; boundary=A\r\n\r\n"
      "--A\r\nContent-Type: text/plain\r\n\r\nsee picture\r\n"
      "--A\r\nContent-Type: multipart/related; boundary=R\r\n\r\n"
      "--R\r\nContent-Type: text/html\r\n\r\n<img src=\"cid:logo@x\"><img src=\"pic.gif\">\r\n"
      "--R\r\nContent-Type: image/png\r\nContent-ID: <logo@x>\r\nContent-Transfer-Encoding: base64\r\n"
      "\r\niVBORw==\r\n"
      "--R\r\nContent-Type: image/gif\r\nContent-Location: pic.gif\r\n\r\nGIF89a\r\n"
      "--R\r\nContent-Type: image/jpeg; name=unused.jpg\r\nContent-ID: <unused@x>\r\n\r\nJPG\r\n"
      "--R--\r\n--A--\r\n");
  EXPECT_EQ(Str(m.props, tags::kBody), "see picture");
  EXPECT_NE(BinAsString(m.props, tags::kHtml).find("cid:logo@x"), std::string::npos);
  ASSERT_EQ(m.attachments.size(), 3u);
  const auto& logo = m.attachments[0].props;
  EXPECT_EQ(Int(logo, tags::kAttachmentHidden), 1);
  EXPECT_EQ(Int(logo, tags::kAttachFlags), 4);
  EXPECT_EQ(Str(logo, tags::kAttachContentId), "logo@x");
  EXPECT_EQ(Str(logo, tags::kAttachMimeTag), "image/png");
  EXPECT_EQ(Data(m.attachments[0]), std::string("\x89PNG", 4));
  const auto& pic = m.attachments[1].props;
  EXPECT_EQ(Int(pic, tags::kAttachmentHidden), 1);
  EXPECT_EQ(Str(pic, tags::kAttachContentLocation), "pic.gif");
  // A related part the HTML never shows stays visible.
  EXPECT_EQ(Int(m.attachments[2].props, tags::kAttachmentHidden), 0);
  EXPECT_EQ(Int(m.props, tags::kMessageFlags), tags::kMsgFlagRead | tags::kMsgFlagHasAttach);
}

TEST(BodiesTest, RelatedRootChosenByStartParameter) {
  const auto m = Import(
      "Content-Type: multipart/related; boundary=R; start=\"<root@x>\"\r\n\r\n"
      "--R\r\nContent-Type: image/png\r\nContent-ID: <img@x>\r\n\r\nPNG\r\n"
      "--R\r\nContent-Type: text/html\r\nContent-ID: <root@x>\r\n\r\n<img src=\"cid:img@x\">\r\n"
      "--R--\r\n");
  EXPECT_EQ(BinAsString(m.props, tags::kHtml), "<img src=\"cid:img@x\">");
  ASSERT_EQ(m.attachments.size(), 1u);
  EXPECT_EQ(Int(m.attachments[0].props, tags::kAttachmentHidden), 1);
}

TEST(BodiesTest, LaterTextPartsOfAMixedMessageAreAttachmentsNotBodies) {
  // An HTML part after a plain body would hide the plain text in a client.
  const auto m = Import(
      "Content-Type: multipart/mixed; boundary=M\r\n\r\n"
      "--M\r\nContent-Type: text/plain\r\n\r\nfirst\r\n"
      "--M\r\nContent-Type: text/html\r\n\r\n<p>second</p>\r\n"
      "--M\r\nContent-Type: text/plain\r\n\r\nfooter\r\n"
      "--M\r\nContent-Type: text/plain; name=notes.txt\r\nContent-Disposition: attachment\r\n\r\n"
      "notes\r\n--M--\r\n");
  EXPECT_EQ(Str(m.props, tags::kBody), "first");
  EXPECT_EQ(m.props.Find(model::TagId(tags::kHtml)), nullptr);
  ASSERT_EQ(m.attachments.size(), 3u);
  EXPECT_EQ(Str(m.attachments[0].props, tags::kAttachMimeTag), "text/html");
  EXPECT_EQ(Str(m.attachments[2].props, tags::kAttachLongFilename), "notes.txt");
}

TEST(BodiesTest, AlternativeInsideMixedPairsPlainAndHtml) {
  const auto m = Import(
      "Content-Type: multipart/mixed; boundary=M\r\n\r\n"
      "--M\r\nContent-Type: multipart/alternative; boundary=A\r\n\r\n"
      "--A\r\nContent-Type: text/plain\r\n\r\nplain\r\n"
      "--A\r\nContent-Type: text/enriched\r\n\r\n<bold>rich</bold>\r\n"
      "--A\r\nContent-Type: text/html\r\n\r\n<p>html</p>\r\n--A--\r\n"
      "--M\r\nContent-Type: text/calendar; method=REQUEST\r\n\r\nBEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n"
      "--M--\r\n");
  EXPECT_EQ(Str(m.props, tags::kBody), "plain");
  EXPECT_EQ(BinAsString(m.props, tags::kHtml), "<p>html</p>");
  ASSERT_EQ(m.attachments.size(), 1u);
  EXPECT_EQ(Str(m.attachments[0].props, tags::kAttachMimeTag), "text/calendar");
  EXPECT_EQ(Str(m.attachments[0].props, tags::kAttachExtension), ".ics");
}

TEST(BodiesTest, HtmlOnlyMessage) {
  const auto m = Import("Content-Type: text/html; charset=utf-8\r\n\r\n<p>only</p>\r\n");
  EXPECT_EQ(BinAsString(m.props, tags::kHtml), "<p>only</p>\r\n");
  EXPECT_EQ(Int(m.props, tags::kNativeBody), 3);
}

}  // namespace

namespace {

TEST(LineBreaks, EveryKindBecomesCrlfAndNothingElseChanges) {
  using mime::detail::WithCrlf;
  EXPECT_EQ(WithCrlf(""), "");
  EXPECT_EQ(WithCrlf("no break"), "no break");
  EXPECT_EQ(WithCrlf("a\nb\r\nc\rd"), "a\r\nb\r\nc\r\nd");
  EXPECT_EQ(WithCrlf("\n\n"), "\r\n\r\n");
  EXPECT_EQ(WithCrlf("\r\r\n\n\r"), "\r\n\r\n\r\n\r\n");  // CR, CRLF, LF, CR
  EXPECT_EQ(WithCrlf("end\r"), "end\r\n");
  // A long text with breaks far apart keeps every other byte in order.
  std::string longText(100000, 'x');
  longText[50000] = '\n';
  const std::string out = WithCrlf(longText);
  ASSERT_EQ(out.size(), longText.size() + 1);
  EXPECT_EQ(out.substr(49998, 5), "xx\r\nx");
}

}  // namespace

namespace {

using namespace mime_test;

// Readers end a body at its first NUL; the import takes them out and says so.
TEST(NulCharacters, LeaveBothBodiesWithAWarningEach) {
  mime::ImportWarnings warnings;
  const auto m = Import(std::string("Content-Type: multipart/alternative; boundary=b\n\n"
                                    "--b\nContent-Type: text/plain; charset=utf-8\n\na\0b\0\n"
                                    "--b\nContent-Type: text/html; charset=utf-8\n\n<p>c\0d</p>\n--b--\n",
                                    160),
                        &warnings);
  EXPECT_EQ(Str(m.props, model::tags::kBody), "ab");
  EXPECT_EQ(BinAsString(m.props, model::tags::kHtml), "<p>cd</p>");
  EXPECT_EQ(Int(m.props, model::tags::kInternetCodepage), 65001);
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_NE(warnings[0].find("2 NUL"), std::string::npos) << warnings[0];
}

}  // namespace

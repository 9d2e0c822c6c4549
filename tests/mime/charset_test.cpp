// SPDX-License-Identifier: GPL-3.0-or-later
// Text parts in many charsets, labelled right, wrong or not at all.
#include <span>

#include "import_helpers.h"
#include "mime/charset.h"

namespace {

using namespace mime_test;
namespace tags = model::tags;
using mime::detail::DecodeText;

std::string Decode(const std::string& bytes, const std::string& charset) {
  return DecodeText(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()),
                                             bytes.size()),
                    charset)
      .utf8;
}

TEST(CharsetTest, DeclaredCharsetsDecodeToUnicode) {
  EXPECT_EQ(Decode("\xf0\xd2\xc9\xd7\xc5\xd4", "koi8-r"), "Привет");
  EXPECT_EQ(Decode("\xcf\xf0\xe8\xe2\xe5\xf2", "windows-1251"), "Привет");
  EXPECT_EQ(Decode("\xa3\xf3" "d\xbc", "ISO-8859-2"), "Łódź");
  EXPECT_EQ(Decode("\x1b$BF|K\\8l\x1b(B", "iso-2022-jp"), "日本語");
  EXPECT_EQ(Decode("\xd6\xd0\xce\xc4", "gb2312"), "中文");
  EXPECT_EQ(Decode("\xa4\xa4\xa4\xe5", "big5"), "中文");
  EXPECT_EQ(Decode("\xa4", "iso-8859-15"), "€");
  EXPECT_EQ(Decode("Hi +Jjo!", "utf-7"), "Hi ☺!");
  EXPECT_EQ(Decode("Hi +Jjo!", "unicode-1-1-utf-7"), "Hi ☺!");
  EXPECT_EQ(Decode("Hi +Jjo!", "utf7"), "Hi ☺!");
  EXPECT_EQ(Decode("\x80 \x93x\x94", "windows-1252"), "€ \u201Cx\u201D");
  EXPECT_EQ(Decode("caf\xe9", "\"iso-8859-1\""), "café");
}

TEST(CharsetTest, MislabelledAndUnlabelledTextIsRecovered) {
  // UTF-8 sent as Latin-1 or as US-ASCII, and Latin-1 sent as UTF-8.
  EXPECT_EQ(Decode("caf\xc3\xa9", "iso-8859-1"), "café");
  EXPECT_EQ(Decode("caf\xc3\xa9", "us-ascii"), "café");
  EXPECT_EQ(Decode("caf\xe9", "utf-8"), "café");
  EXPECT_EQ(Decode("caf\xe9", ""), "café");
  EXPECT_EQ(Decode("caf\xe9", "x-no-such-charset"), "café");
  // Every byte value survives as some character; nothing is dropped.
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_FALSE(Decode(all, "us-ascii").empty());
}

TEST(CharsetTest, BytesTheCharsetCannotExplainBecomeReplacementCharacters) {
  auto d = DecodeText(std::span<const uint8_t>(
                          reinterpret_cast<const uint8_t*>("ok\x81\xff" "end"), 7),
                      "shift_jis");
  EXPECT_TRUE(d.lossy);
  EXPECT_EQ(d.utf8.substr(0, 2), "ok");
  EXPECT_NE(d.utf8.find("\xEF\xBF\xBD"), std::string::npos);
  EXPECT_EQ(d.utf8.substr(d.utf8.size() - 3), "end");
  // A multi-byte sequence cut off at the end.
  d = DecodeText(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("x\xd6"), 2), "gb2312");
  EXPECT_EQ(d.utf8, "x\xEF\xBF\xBD");
}

TEST(CharsetTest, CodepagesOfCommonCharsets) {
  using mime::detail::CodepageOfCharset;
  EXPECT_EQ(CodepageOfCharset("UTF-8"), 65001);
  EXPECT_EQ(CodepageOfCharset("iso-8859-1"), 28591);
  EXPECT_EQ(CodepageOfCharset("windows-1251"), 1251);
  EXPECT_EQ(CodepageOfCharset("koi8-r"), 20866);
  EXPECT_EQ(CodepageOfCharset("iso-2022-jp"), 50220);
  EXPECT_EQ(CodepageOfCharset("x-unknown"), 0);
}

// An HTML body kept as sent is read by the mail client in the code page it
// is given; that code page must hold every character the import read. Mail
// labelled euc-kr routinely carries CP949's extra syllables (here U+B620,
// 0x8C63), which EUC-KR's own code page 51949 cannot show.
TEST(CharsetTest, HtmlKeptAsSentNamesTheCodepageItWasReadIn) {
  const std::string html = "<p>\xc7\xd1\xb1\xb9\xbe\xee \x8c\x63</p>";
  EXPECT_EQ(Decode(html, "euc-kr"), "<p>한국어 똠</p>");
  const auto m = Import("Content-Type: text/html; charset=euc-kr\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" +
                        html);
  EXPECT_EQ(BinAsString(m.props, tags::kHtml), html);
  EXPECT_EQ(Int(m.props, tags::kInternetCodepage), 949);
}

TEST(CharsetTest, BodiesInForeignCharsetsArriveAsUnicode) {
  auto m = Import(
      "Content-Type: text/plain; charset=koi8-r\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
      "\xf0\xd2\xc9\xd7\xc5\xd4\r\n");
  EXPECT_EQ(Str(m.props, tags::kBody), "Привет\r\n");
  EXPECT_EQ(Int(m.props, tags::kInternetCodepage), 20866);
  m = Import(
      "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
      "\x1b$BF|K\\8l\x1b(B\r\n");
  EXPECT_EQ(Str(m.props, tags::kBody), "日本語\r\n");
  m = Import(
      "Content-Type: text/plain; charset=big5\r\nContent-Transfer-Encoding: base64\r\n\r\n"
      "pKSk5Q==\r\n");
  EXPECT_EQ(Str(m.props, tags::kBody), "中文");
}

TEST(CharsetTest, UndecodableBodyIsImportedWithAWarning) {
  mime::ImportWarnings warnings;
  const auto m = Import(
      "Content-Type: text/plain; charset=shift_jis\r\n\r\nbad \x81\xff bytes\r\n", &warnings);
  const std::string body = Str(m.props, tags::kBody);
  EXPECT_EQ(body.substr(0, 4), "bad ");
  EXPECT_NE(body.find("bytes"), std::string::npos);
  EXPECT_FALSE(warnings.empty());
}

}  // namespace

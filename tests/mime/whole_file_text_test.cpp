// SPDX-License-Identifier: GPL-3.0-or-later
// Files saved by editors in forms no mail is sent in.
#include "import_helpers.h"
#include "mime/whole_file_text.h"

namespace {

using namespace mime_test;
namespace tags = model::tags;

std::optional<std::string> AsMail(const std::string& bytes, std::vector<std::string>* notes = nullptr) {
  std::vector<std::string> local;
  const auto out = mime::detail::WholeFileAsMail(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), notes ? *notes : local);
  if (!out) return std::nullopt;
  return std::string(out->begin(), out->end());
}

TEST(WholeFileTextTest, Utf16EitherOrderBecomesUtf8) {
  // "Sé" and U+1F600 as a surrogate pair, big-endian with CR LF lines.
  EXPECT_EQ(AsMail(std::string("\xFE\xFF\0S\0\xE9\xD8\x3D\xDE\x00\0\r\0\n", 14)), "S\xC3\xA9\xF0\x9F\x98\x80\r\n");
  std::vector<std::string> notes;
  // A lone surrogate is a replacement character; an odd last byte is named.
  EXPECT_EQ(AsMail(std::string("\xFF\xFE" "a\0\x00\xDC" "b\0c", 9), &notes), "a\xEF\xBF\xBD" "b");
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("odd last byte"), std::string::npos) << notes[0];
}

TEST(WholeFileTextTest, OnlyFilesWithoutAnyLineFeedHaveTheirCarriageReturnsRead) {
  EXPECT_EQ(AsMail("Subject: x\r\rbody\r"), "Subject: x\n\nbody\n");
  // Mail as it is sent, and stray carriage returns in it, stay as they are.
  EXPECT_EQ(AsMail("Subject: x\r\n\r\nbody\rmore\r\n"), std::nullopt);
  EXPECT_EQ(AsMail("Subject: x\n\nbody"), std::nullopt);
  // Both at once: a UTF-16 file with Mac line ends.
  EXPECT_EQ(AsMail(std::string("\xFF\xFE" "A\0:\0 \0b\0\r\0\r\0c\0", 16)), "A: b\n\nc");
}

TEST(WholeFileTextTest, Utf16FileImportsAsTheMessageItHolds) {
  mime::ImportWarnings warnings;
  std::string file = "\xFE\xFF";
  for (const char c : std::string("Subject: x\n\nb\xFC")) file += {'\0', c};
  const auto m = Import(file, &warnings);
  EXPECT_EQ(Str(m.props, tags::kSubject), "x");
  EXPECT_EQ(Str(m.props, tags::kBody), "b\xC3\xBC");
  ASSERT_FALSE(warnings.empty());
  EXPECT_NE(warnings[0].find("big-endian"), std::string::npos) << warnings[0];
}

}  // namespace

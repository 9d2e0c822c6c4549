// SPDX-License-Identifier: GPL-3.0-or-later
// Messages read from ranges of files: an mbox entry unquoted exactly one
// level, however the file is cut into chunks; a range the file no longer
// holds whole.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "import_helpers.h"
#include "mapi/temp_dir.h"
#include "mime/importer.h"
#include "mime/mbox_unquote.h"

namespace {

std::string Unquoted(std::string text) {
  bool atLineStart = true;
  auto* data = reinterpret_cast<uint8_t*>(text.data());
  text.resize(mime::UnquoteFromLines(data, text.size(), atLineStart));
  return text;
}

TEST(MboxUnquote, RemovesExactlyOneLevelAtLineStartsOnly) {
  EXPECT_EQ(Unquoted(">From a\n>>From b\n>>>From c\n"), "From a\n>From b\n>>From c\n");
  EXPECT_EQ(Unquoted("x >From a\n>From\n> From a\n>from a\n>\n"), "x >From a\n>From\n> From a\n>from a\n>\n");
  EXPECT_EQ(Unquoted("a\r\n>From b\r\n"), "a\r\nFrom b\r\n");

  // Through a pipe of tiny chunks: the same result wherever the cuts fall,
  // a line longer than a chunk included.
  testutil::TempDir dir;
  const std::string text = "H: v\n\n" + std::string(40, 'x') + "\n>From 1\n>>From 2\nz>From 3\n" +
                           std::string(9, '>') + "From 4\n>From 5";
  const std::string in = dir / "in", out = dir / "out";
  std::ofstream(in, std::ios::binary) << "JUNK" << text << "TAIL";
  const int from = ::open(in.c_str(), O_RDONLY);
  for (size_t chunk : {16u, 17u, 23u, 64u, 4096u}) {
    const int to = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_EQ(mime::CopyRange(from, 4, text.size(), true, to, chunk), "");
    ::close(to);
    std::ifstream f(out, std::ios::binary);
    const std::string copied((std::istreambuf_iterator<char>(f)), {});
    EXPECT_EQ(copied, Unquoted(text)) << "chunk " << chunk;
    EXPECT_NE(copied.find("\nFrom 1\n>From 2\nz>From 3\n" + std::string(8, '>') + "From 4\nFrom 5"),
              std::string::npos);
  }
  ::close(from);
}

TEST(MessageRefImport, ReadsItsRangeUnquotedAndSaysWhenTheFileIsShorter) {
  testutil::TempDir dir;
  const std::string path = dir / "box";
  const std::string first = "From: a@example.org\nSubject: one\n\nbody one\n";
  const std::string second = "From: b@example.org\nSubject: two\n\n>From here\n>>From there\n";
  const std::string sep1 = "From a@x Sun Dec  6 07:05:03 2026\n", sep2 = "From b@x Sun Dec  6 07:05:04 2026\n";
  std::ofstream(path, std::ios::binary) << sep1 << first << "\n" << sep2 << second;
  const uint64_t at = sep1.size() + first.size() + 1 + sep2.size();

  model::Message m;
  mime::ImportWarnings warnings;
  mime::ImportMessage(model::MessageRef(path, at, second.size(), model::MessageFormat::kMboxQuoted), m, {},
                      &warnings);
  EXPECT_EQ(mime_test::Str(m.props, model::tags::kSubject), "two");
  EXPECT_NE(mime_test::Str(m.props, model::tags::kBody).find("From here\r\n>From there"), std::string::npos);
  EXPECT_TRUE(warnings.empty());

  // As it stands (a Content-Length message): nothing unquoted.
  model::Message raw;
  mime::ImportMessage(model::MessageRef(path, at, second.size(), model::MessageFormat::kRfc822), raw);
  EXPECT_NE(mime_test::Str(raw.props, model::tags::kBody).find(">From here\r\n>>From there"), std::string::npos);

  // The file was cut after it was scanned: what is left, with a warning.
  model::Message cut;
  mime::ImportMessage(model::MessageRef(path, at, second.size() + 100, model::MessageFormat::kMboxQuoted), cut,
                      {}, &warnings);
  EXPECT_EQ(mime_test::Str(cut.props, model::tags::kSubject), "two");
  ASSERT_FALSE(cut.warnings.empty());
  EXPECT_NE(cut.warnings[0].find("ends 100 bytes before"), std::string::npos);

  model::Message gone;
  EXPECT_THROW(mime::ImportMessage(model::MessageRef(path, 1 << 20, 10, model::MessageFormat::kRfc822), gone),
               mime::ImportError);
  // A last entry that is only its separator line is empty, not cut short.
  try {
    mime::ImportMessage(model::MessageRef(path, at + second.size(), 0, model::MessageFormat::kMboxQuoted), gone);
    ADD_FAILURE();
  } catch (const mime::ImportError& e) {
    EXPECT_NE(std::string(e.what()).find("the message is empty"), std::string::npos) << e.what();
  }
}

}  // namespace

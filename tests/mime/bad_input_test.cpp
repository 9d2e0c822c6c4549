// SPDX-License-Identifier: GPL-3.0-or-later
// Input that is not mail, and mail that is broken in the ways real files are.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "import_helpers.h"

namespace {

using namespace mime_test;
namespace tags = model::tags;
namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() : path_(fs::temp_directory_path() / ("mime_test_" + std::to_string(::getpid()))) {
    fs::create_directories(path_);
  }
  ~TempDir() { fs::remove_all(path_); }
  std::string Write(const std::string& name, const std::string& content) const {
    const fs::path p = path_ / name;
    std::ofstream(p, std::ios::binary) << content;
    return p.string();
  }
  fs::path path() const { return path_; }

 private:
  fs::path path_;
};

std::string ErrorOf(const std::string& path) {
  model::Message m;
  try {
    mime::ImportMessageFile(path, m);
  } catch (const mime::ImportError& e) {
    return e.what();
  }
  return "no error";
}

TEST(BadInputTest, FilesReadOneAfterAnotherKeepToTheirOwnBytes) {
  // Files are read into a buffer the thread keeps: a short file after a
  // long one, an empty one and one with no header must not see what the
  // one before left there.
  TempDir dir;
  const std::string longBody(100000, 'L');
  const auto a = dir.Write("long.eml", "Subject: long\r\n\r\n" + longBody);
  const auto b = dir.Write("short.eml", "Subject: short\r\n\r\nshort body");
  const auto e = dir.Write("empty.eml", "");
  const auto n = dir.Write("blank.eml", "\r\n\r\n  \r\n");
  model::Message m;
  mime::ImportMessageFile(a, m);
  EXPECT_EQ(Str(m.props, tags::kBody), longBody);
  mime::ImportMessageFile(b, m);
  EXPECT_EQ(Str(m.props, tags::kBody), "short body");
  EXPECT_EQ(Str(m.props, tags::kSubject), "short");
  EXPECT_NE(ErrorOf(e).find("is empty"), std::string::npos);
  EXPECT_NE(ErrorOf(n).find("blank"), std::string::npos);
  mime::ImportMessageFile(b, m);
  EXPECT_EQ(Str(m.props, tags::kBody), "short body");
}

// A file cut short, or written on, between its opening and its reading:
// what was read is stored, with a warning that the file changed.
TEST(BadInputTest, AFileThatChangesWhileItIsReadIsStoredWithAWarning) {
  TempDir dir;
  const std::string body(4000, 'b');
  const auto cut = dir.Write("cut.eml", "Subject: cut\r\n\r\n" + body);
  const auto grown = dir.Write("grown.eml", "Subject: grown\r\n\r\n" + body);
  mime::detail::SetAfterOpenHookForTesting([&](const std::string& path) {
    if (path == cut) fs::resize_file(path, 1000);
    if (path == grown) std::ofstream(path, std::ios::app) << "more";
  });
  model::Message m;
  const mime::ImportResult shortened = mime::ImportMessageFile(cut, m);
  EXPECT_EQ(Str(m.props, tags::kBody).size(), 1000u - 16u);
  EXPECT_TRUE(HasWarning(shortened.warnings, "changed while it was read (4016 bytes when it was opened, 1000 now)"));
  EXPECT_TRUE(HasWarning(m.warnings, "changed while it was read"));
  const mime::ImportResult longer = mime::ImportMessageFile(grown, m);
  EXPECT_TRUE(HasWarning(longer.warnings, "4018 bytes when it was opened, 4022 now"));
  mime::detail::SetAfterOpenHookForTesting(nullptr);
  // Left alone, the same file gives no such warning.
  EXPECT_FALSE(HasWarning(mime::ImportMessageFile(grown, m).warnings, "changed"));
}

TEST(BadInputTest, FilesThatAreNotMailAreImportErrors) {
  TempDir dir;
  EXPECT_NE(ErrorOf((dir.path() / "missing.eml").string()).find("cannot open"), std::string::npos);
  EXPECT_NE(ErrorOf(dir.path().string()).find("not a regular file"), std::string::npos);
  EXPECT_NE(ErrorOf(dir.Write("empty.eml", "")).find("is empty"), std::string::npos);
  EXPECT_NE(ErrorOf(dir.Write("blank.eml", "\r\n\r\n")).find("blank"), std::string::npos);
  EXPECT_NE(ErrorOf(dir.Write("binary.eml", std::string("\x89PNG\r\n\x1a\n\0\0\0", 11)))
                .find("no header section"),
            std::string::npos);
  model::Message m;
  EXPECT_THROW(mime::ImportMessageData({}, m), mime::ImportError);
}

TEST(BadInputTest, TextWithoutHeadersIsTheBody) {
  TempDir dir;
  model::Message m;
  const mime::ImportResult result =
      mime::ImportMessageFile(dir.Write("prose.eml", "just some words\nand more\n"), m);
  EXPECT_EQ(Str(m.props, tags::kBody), "just some words\r\nand more\r\n");
  EXPECT_EQ(Str(m.props, tags::kMessageClass), "IPM.Note");
  EXPECT_FALSE(result.warnings.empty());
  // The message carries them too, through the read-ahead to the item.
  EXPECT_EQ(m.warnings, result.warnings);
}

TEST(BadInputTest, FileImportMatchesMemoryImport) {
  TempDir dir;
  const std::string text =
      "From: a@example.com\r\nSubject: same\r\nContent-Type: multipart/mixed; boundary=B\r\n\r\n"
      "--B\r\n\r\nbody\r\n--B\r\nContent-Type: image/png; name=p.png\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\niVBORw==\r\n--B--\r\n";
  model::Message fromFile;
  mime::ImportOptions options;
  options.fixedNow = kFixedNow;
  mime::ImportMessageFile(dir.Write("same.eml", text), fromFile, options, nullptr);
  const model::Message fromMemory = Import(text);
  EXPECT_EQ(Str(fromFile.props, tags::kSubject), "same");
  EXPECT_EQ(Str(fromFile.props, tags::kBody), Str(fromMemory.props, tags::kBody));
  ASSERT_EQ(fromFile.attachments.size(), 1u);
  EXPECT_EQ(Data(fromFile.attachments[0]), Data(fromMemory.attachments[0]));
}

TEST(BadInputTest, LeadingBlankLinesMboxLineAndIndentedFirstField) {
  EXPECT_EQ(Str(Import("\r\n\r\nSubject: late start\r\n\r\nb\r\n").props, tags::kSubject),
            "late start");
  EXPECT_EQ(Str(Import("\xEF\xBB\xBFSubject: bom\r\n\r\nb\r\n").props, tags::kSubject), "bom");
  EXPECT_EQ(Str(Import("From someone@example.com Mon Jan  1 00:00:00 2024\nSubject: mbox\n\nb\n")
                    .props,
                tags::kSubject),
            "mbox");
  EXPECT_EQ(Str(Import(" From: a@example.com\nSubject: indented\n\nb\n").props, tags::kSubject),
            "indented");
  // Only Content-* fields: still a header section.
  EXPECT_EQ(Str(Import("Content-Type: text/plain\n\nhello\n").props, tags::kBody), "hello\r\n");
}

TEST(BadInputTest, BrokenStructureImportsBestEffortWithWarnings) {
  mime::ImportWarnings warnings;
  // Boundary never closed, truncated base64, no separating blank line.
  auto m = Import(
      "Subject: broken\nContent-Type: multipart/mixed; boundary=X\n\n--X\nContent-Type: text/plain\n\n"
      "start\n--X\nContent-Type: image/png; name=a.png\nContent-Transfer-Encoding: base64\n\n"
      "iVBORw0KGgoAAAANSUhE",
      &warnings);
  EXPECT_EQ(Str(m.props, tags::kBody), "start");
  ASSERT_EQ(m.attachments.size(), 1u);
  EXPECT_EQ(Data(m.attachments[0]).substr(0, 4), "\x89PNG");
  EXPECT_FALSE(warnings.empty());

  // A multipart without boundary parameter, and one whose boundary never occurs.
  m = Import("Content-Type: multipart/mixed\n\nplain words\n");
  m = Import("Content-Type: multipart/mixed; boundary=nothere\n\nplain words\n");
  // Garbage content types and encodings.
  m = Import("Content-Type: ;;;===\nContent-Transfer-Encoding: rot13\n\nhello\n");
  EXPECT_NE(Str(m.props, tags::kSubject), "x");
}

TEST(BadInputTest, TenThousandHeaderFields) {
  std::string text;
  for (int i = 0; i < 10000; ++i) text += "X-Field-" + std::to_string(i) + ": value\r\n";
  text += "Subject: many\r\n\r\nbody\r\n";
  const auto m = Import(text);
  EXPECT_EQ(Str(m.props, tags::kSubject), "many");
  const std::string headers = Str(m.props, tags::kTransportMessageHeaders);
  EXPECT_NE(headers.find("X-Field-9999: value\r\n"), std::string::npos);
}

TEST(BadInputTest, ThousandLevelsOfMultipartNesting) {
  std::string text = "Subject: deep\r\n";
  for (int i = 0; i < 1000; ++i)
    text += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\r\n\r\n--b" +
            std::to_string(i) + "\r\n";
  text += "Content-Type: text/plain\r\n\r\ndeepest\r\n";
  for (int i = 999; i >= 0; --i) text += "--b" + std::to_string(i) + "--\r\n";
  mime::ImportWarnings warnings;
  const auto m = Import(text, &warnings);
  EXPECT_EQ(Str(m.props, tags::kSubject), "deep");
  EXPECT_FALSE(warnings.empty());
}

TEST(BadInputTest, ThousandLevelsOfEmbeddedMessages) {
  std::string text = "Subject: bottom\r\n\r\nbottom text\r\n";
  for (int i = 0; i < 1000; ++i)
    text = "Subject: level\r\nContent-Type: message/rfc822\r\n\r\n" + text;
  const auto m = Import(text);
  int depth = 0;
  const model::Message* cur = &m;
  while (!cur->attachments.empty() && cur->attachments[0].embedded) {
    cur = cur->attachments[0].embedded.get();
    ++depth;
  }
  EXPECT_EQ(depth, mime::ImportOptions{}.maxEmbeddedDepth);
  ASSERT_EQ(cur->attachments.size(), 1u);
  EXPECT_EQ(Str(cur->attachments[0].props, tags::kAttachMimeTag), "message/rfc822");
}

TEST(BadInputTest, LargeAttachmentFromFile) {
  TempDir dir;
  const size_t lines = 16 * 1024 * 1024 / 57;  // about 16 MB once decoded
  std::string text =
      "Subject: big\r\nContent-Type: multipart/mixed; boundary=B\r\n\r\n--B\r\n\r\nsee file\r\n"
      "--B\r\nContent-Type: application/octet-stream; name=big.bin\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\n";
  text.reserve(lines * 78 + 200);
  for (size_t i = 0; i < lines; ++i) text += std::string(76, 'A') + "\r\n";
  text += "--B--\r\n";
  const std::string path = dir.Write("big.eml", text);
  text.clear();
  text.shrink_to_fit();
  model::Message m;
  mime::ImportMessageFile(path, m);
  ASSERT_EQ(m.attachments.size(), 1u);
  ASSERT_TRUE(m.attachments[0].data);
  EXPECT_EQ(m.attachments[0].data->size(), lines * 57);
}

TEST(BadInputTest, SavedHostileInputsImportWithoutCrashing) {
  const fs::path dir = fs::path(VERDALINE_SOURCE_DIR) / "tests" / "corpus" / "regressions";
  int count = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().filename() == "README") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string data(static_cast<size_t>(fs::file_size(entry.path())), '\0');
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    SCOPED_TRACE(entry.path().string());
    try {
      Import(data);
    } catch (const mime::ImportError&) {
    }
    ++count;
  }
  SUCCEED() << count << " saved inputs";
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// Large attachments left in the message's file and decoded as they are
// stored: the decoders give in pieces what they give whole, the source
// reads as the writer does (in order, backwards, skipping), a file changed
// since is refused, and an imported message holds no large part in memory.
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <stdexcept>
#include <string_view>

#include "import_helpers.h"
#include "mime/piece_decoders.h"
#include "mime/quoted_printable.h"
#include "mime/streamed_part.h"

namespace {

using namespace mime::detail;
namespace tags = model::tags;

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(n);
  for (uint8_t& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

// Base64 in lines of `width` characters ending in `eol`.
std::string Base64Lines(std::span<const uint8_t> bytes, size_t width, const std::string& eol) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string flat;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t v = static_cast<uint32_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<uint32_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= bytes[i + 2];
    flat += kAlphabet[v >> 18 & 63];
    flat += kAlphabet[v >> 12 & 63];
    flat += i + 1 < bytes.size() ? kAlphabet[v >> 6 & 63] : '=';
    flat += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
  }
  std::string out;
  for (size_t i = 0; i < flat.size(); i += width) out += flat.substr(i, width) + eol;
  return out;
}

// Quoted-printable with soft breaks every few characters, some of them
// followed by transport padding ("= \r\n" is still a soft break).
std::string QuotedPrintable(std::span<const uint8_t> bytes, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string out;
  size_t column = 0;
  for (const uint8_t b : bytes) {
    if (b > 32 && b < 127 && b != '=') {
      out += static_cast<char>(b);
      ++column;
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "=%02X", b);
      out += escape;
      column += 3;
    }
    if (column >= 40 + rng() % 30) {
      out += rng() % 4 == 0 ? "=  \t\r\n" : "=\r\n";
      column = 0;
    }
  }
  return out;
}

// `text` fed to `decoder` in pieces of 1 to `most` bytes.
std::vector<uint8_t> InPieces(PieceDecoder& decoder, std::string_view text, std::mt19937& rng, size_t most) {
  std::vector<uint8_t> out;
  for (size_t at = 0; at < text.size();) {
    const size_t n = std::min<size_t>(1 + rng() % most, text.size() - at);
    EXPECT_TRUE(decoder.Feed(std::span(reinterpret_cast<const uint8_t*>(text.data() + at), n), out));
    at += n;
  }
  decoder.Finish(out);
  return out;
}

TEST(PieceDecoders, Base64InAnyCutGivesTheBytesEncoded) {
  std::mt19937 rng(11);
  for (const size_t width : {1u, 3u, 4u, 5u, 76u, 77u, 1000u}) {
    for (const bool garbage : {false, true}) {
      const std::vector<uint8_t> bytes = RandomBytes(rng() % 3000, static_cast<uint32_t>(width));
      std::string text = Base64Lines(bytes, width, width % 2 ? "\n" : "\r\n");
      if (garbage) {
        // Characters outside the alphabet are skipped wherever they stand.
        for (int k = 0; k < 40; ++k) text.insert(rng() % (text.size() + 1), 1, "!* \t\x80\r-"[rng() % 7]);
      }
      Base64Pieces decoder;
      EXPECT_EQ(InPieces(decoder, text, rng, 1 + width % 13), bytes) << width << " " << garbage;
    }
  }
  // '=' ends a group wherever it stands: pieces encoded apart and joined
  // each decode, whatever the cut.
  const std::string joined = "QQ==Qg==\r\nQ0Q=RQ";
  for (size_t most = 1; most <= 4; ++most) {
    Base64Pieces decoder;
    const std::vector<uint8_t> out = InPieces(decoder, joined, rng, most);
    EXPECT_EQ(std::string(out.begin(), out.end()), "ABCDE");
  }
}

TEST(PieceDecoders, QuotedPrintableInAnyCutReadsAsTheWhole) {
  std::mt19937 rng(5);
  // Escapes, soft breaks, blanks before line breaks and broken escapes in
  // every mix: what a byte means depends on the rest of its line.
  static const char kChars[] = "= \t\r\nAf3x";
  for (int round = 0; round < 3000; ++round) {
    std::string text(rng() % 120, ' ');
    for (char& c : text) c = kChars[rng() % (sizeof kChars - 1)];
    QuotedPrintablePieces decoder;
    EXPECT_EQ(InPieces(decoder, text, rng, 1 + round % 9), DecodeQuotedPrintable(text)) << text;
  }
  const std::vector<uint8_t> bytes = RandomBytes(5000, 3);
  QuotedPrintablePieces decoder;
  EXPECT_EQ(InPieces(decoder, QuotedPrintable(bytes, 4), rng, 700), bytes);

  // A line longer than the decoder keeps is given up on, not held.
  QuotedPrintablePieces shortLines(16);
  std::vector<uint8_t> out;
  const std::string line(12, 'a');
  EXPECT_TRUE(shortLines.Feed(std::span(reinterpret_cast<const uint8_t*>(line.data()), line.size()), out));
  EXPECT_FALSE(shortLines.Feed(std::span(reinterpret_cast<const uint8_t*>(line.data()), line.size()), out));
}

// A file in the temporary folder, removed when done.
class TempFile {
 public:
  explicit TempFile(const std::string& name) : path_(testing::TempDir() + name) {}
  ~TempFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }
  void Write(const std::string& text, const char* mode = "wb") const {
    FILE* f = std::fopen(path_.c_str(), mode);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), f), text.size());
    std::fclose(f);
  }
  std::shared_ptr<const ContentFile> Hold() const {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    auto file = ContentFile::Hold(fd);
    ::close(fd);  // the held file has its own descriptor
    return file;
  }

 private:
  std::string path_;
};

std::vector<uint8_t> Read(const model::ByteSource& src, uint64_t offset, size_t n) {
  std::vector<uint8_t> out(n);
  src.read(offset, out);
  return out;
}

TEST(StreamedPart, ReadsInOrderBackwardsAndSkippingAsTheWholeDecodes) {
  const std::vector<uint8_t> bytes = RandomBytes(100000, 9);
  const std::string head = "headers and a boundary\r\n\r\n", tail = "\r\n--b--\r\n";
  const std::string encodings[] = {Base64Lines(bytes, 76, "\r\n"), QuotedPrintable(bytes, 2),
                                   std::string(bytes.begin(), bytes.end())};
  const PartEncoding kinds[] = {PartEncoding::kBase64, PartEncoding::kQuotedPrintable, PartEncoding::kNone};
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    TempFile file("streamed_part_" + std::to_string(k));
    file.Write(head + encodings[k] + tail);
    const auto src = StreamedPartForTesting(file.Hold(), head.size(), head.size() + encodings[k].size(), kinds[k],
                                            1000);
    ASSERT_NE(src, nullptr);
    ASSERT_EQ(src->size(), bytes.size());
    EXPECT_EQ(src->contiguous(), nullptr);
    // As the writer reads it: blocks in order, the last one short.
    std::vector<uint8_t> again;
    for (uint64_t at = 0; at < bytes.size(); at += 8176) {
      const auto block = Read(*src, at, static_cast<size_t>(std::min<uint64_t>(8176, bytes.size() - at)));
      again.insert(again.end(), block.begin(), block.end());
    }
    EXPECT_EQ(again, bytes);
    // Back to an earlier place, then a jump ahead.
    EXPECT_EQ(Read(*src, 5000, 3000), std::vector<uint8_t>(bytes.begin() + 5000, bytes.begin() + 8000));
    EXPECT_EQ(Read(*src, 90001, 9999), std::vector<uint8_t>(bytes.begin() + 90001, bytes.end()));
    EXPECT_EQ(Read(*src, 0, 1), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 1));
    EXPECT_THROW(Read(*src, 99999, 2), std::runtime_error);
  }
}

TEST(StreamedPart, AFileChangedSinceTheImportIsNotStoredAsIfUnchanged) {
  const std::vector<uint8_t> bytes = RandomBytes(20000, 4);
  const std::string text = Base64Lines(bytes, 76, "\r\n");
  TempFile file("streamed_part_changed");
  file.Write(text);
  const auto src = StreamedPartForTesting(file.Hold(), 0, text.size(), PartEncoding::kBase64, 4096);
  ASSERT_NE(src, nullptr);
  EXPECT_EQ(Read(*src, 0, 100), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 100));
  file.Write("more", "ab");
  try {
    Read(*src, 0, 100);
    ADD_FAILURE() << "read a changed file";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("changed after it was read"), std::string::npos) << e.what();
  }
  // Rewritten within the same size and time (as on a file system of coarse
  // times): what no longer decodes to the bytes measured is refused, not
  // made up.
  file.Write(text);
  const auto same = StreamedPartForTesting(file.Hold(), 0, text.size(), PartEncoding::kBase64, 4096);
  ASSERT_NE(same, nullptr);
  struct stat st {};
  ASSERT_EQ(::stat(file.path().c_str(), &st), 0);
  file.Write(std::string(text.size(), '!'));
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.path().c_str(), times, 0), 0);
  EXPECT_THROW(Read(*same, 0, 8176), std::runtime_error);

  // Quoted-printable whose line goes on past what a decoder keeps is left
  // to the whole-content decoding.
  file.Write(std::string(1100000, 'q') + "\r\n");
  EXPECT_EQ(StreamedPartForTesting(file.Hold(), 0, 1100002, PartEncoding::kQuotedPrintable, 65536), nullptr);
}

size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// A message of more than 64 MiB (parsed from its file, not from memory)
// with a 48 MiB base64 attachment, a 12 MiB quoted-printable one and a
// small one; returns the expected bytes of the large ones.
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> WriteLargeMessage(const TempFile& file) {
  const std::vector<uint8_t> pattern = RandomBytes(57 * 1000, 21);
  const std::string line = Base64Lines(pattern, 76, "\r\n");
  std::vector<uint8_t> first, second = RandomBytes(12 << 20, 22);
  file.Write(
      "From: a@example.com\r\nSubject: large\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"B\"\r\n\r\n--B\r\nContent-Type: text/plain\r\n\r\nsee attached\r\n"
      "--B\r\nContent-Type: application/octet-stream; name=\"first.bin\"\r\nContent-ID: <first@x>\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\n");
  for (size_t i = 0; i < (48u << 20) / pattern.size(); ++i) {
    file.Write(line, "ab");
    first.insert(first.end(), pattern.begin(), pattern.end());
  }
  file.Write(
      "--B\r\nContent-Type: application/octet-stream; name=\"second.bin\"\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
          QuotedPrintable(second, 23) +
          "\r\n--B\r\nContent-Type: text/plain; name=\"small.txt\"\r\n"
          "Content-Disposition: attachment\r\n\r\nsmall\r\n--B--\r\n",
      "ab");
  return {std::move(first), std::move(second)};
}

void ExpectSameBytes(const model::ByteSource& src, const std::vector<uint8_t>& bytes) {
  ASSERT_EQ(src.size(), bytes.size());
  for (uint64_t at = 0; at < bytes.size(); at += 1 << 20) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(1 << 20, bytes.size() - at));
    ASSERT_EQ(Read(src, at, n), std::vector<uint8_t>(bytes.begin() + static_cast<ptrdiff_t>(at),
                                                     bytes.begin() + static_cast<ptrdiff_t>(at + n)))
        << "at " << at;
  }
}

TEST(StreamedPart, ALargeMessageKeepsItsLargePartsInItsFileUntilStored) {
  TempFile file("streamed_part_message.eml");
  const auto [first, second] = WriteLargeMessage(file);
  // Read whole, or as a range of a larger file (copied to a temporary
  // file first): either way only the small part is held in memory.
  struct stat st {};
  ASSERT_EQ(::stat(file.path().c_str(), &st), 0);
  const model::MessageRef refs[] = {
      model::MessageRef(file.path()),
      model::MessageRef(file.path(), 0, static_cast<uint64_t>(st.st_size), model::MessageFormat::kRfc822)};
  for (const model::MessageRef& ref : refs) {
    SCOPED_TRACE(ref.WholeFile() ? "whole file" : "range");
    model::Message m;
    const size_t before = HeapInUse();
    mime::ImportMessage(ref, m);
    EXPECT_LT(HeapInUse() - std::min(before, HeapInUse()), size_t{8} << 20);
    ASSERT_EQ(m.attachments.size(), 3u);
    const model::Attachment &a = m.attachments[0], &b = m.attachments[1], &c = m.attachments[2];
    EXPECT_EQ(mime_test::Str(a.props, tags::kAttachLongFilename), "first.bin");
    EXPECT_EQ(mime_test::Str(a.props, tags::kAttachContentId), "first@x");
    EXPECT_EQ(mime_test::Int(a.props, tags::kAttachSize), static_cast<int64_t>(first.size()));
    EXPECT_EQ(mime_test::Int(b.props, tags::kAttachSize), static_cast<int64_t>(second.size()));
    EXPECT_EQ(a.data->contiguous(), nullptr);
    EXPECT_EQ(b.data->contiguous(), nullptr);
    ExpectSameBytes(*a.data, first);
    ExpectSameBytes(*b.data, second);
    EXPECT_EQ(mime_test::Data(c), "small");
    EXPECT_EQ(mime_test::Str(m.props, tags::kBody), "see attached");
  }
}

TEST(StreamedPart, AnEncryptedMessageOfItsFileKeepsItsContentThere) {
  TempFile file("streamed_part_smime.eml");
  const std::vector<uint8_t> pattern = RandomBytes(57 * 1000, 31);
  const std::string line = Base64Lines(pattern, 76, "\r\n");
  file.Write(
      "From: a@example.com\r\nSubject: sealed\r\nMIME-Version: 1.0\r\n"
      "Content-Type: application/pkcs7-mime; smime-type=enveloped-data; name=smime.p7m\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\n");
  const size_t reps = (66u << 20) / line.size() + 1;
  for (size_t i = 0; i < reps; ++i) file.Write(line, "ab");
  model::Message m;
  mime::ImportMessage(model::MessageRef(file.path()), m);
  ASSERT_EQ(m.attachments.size(), 1u);
  const model::Attachment& a = m.attachments[0];
  EXPECT_EQ(mime_test::Str(m.props, tags::kMessageClass), "IPM.Note.SMIME");
  EXPECT_EQ(mime_test::Str(a.props, tags::kAttachLongFilename), "smime.p7m");
  EXPECT_EQ(mime_test::Int(a.props, tags::kAttachSize), static_cast<int64_t>(reps * pattern.size()));
  EXPECT_EQ(a.data->contiguous(), nullptr);
  EXPECT_EQ(Read(*a.data, (reps - 1) * pattern.size(), pattern.size()), pattern);
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// The mbox scan's reading: lines across the buffer's ends, lines longer
// than the buffer, headers longer than the bound.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mailstore/file_io.h"
#include "mailstore/line_reader.h"
#include "mailstore/mail_sources.h"
#include "mailstore/scan_fixture.h"

namespace mailstore {
namespace {

using detail::LineReader;

TEST(LineReader, LinesAcrossAndLongerThanTheBufferComeWhole) {
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  std::string bytes;
  uint32_t seed = 12345;
  const auto next = [&seed](uint32_t bound) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % bound;
  };
  for (size_t lines = 0; bytes.size() < 4 * LineReader::kChunkBytes; ++lines) {
    const uint32_t kind = lines == 5 ? 0 : next(50);  // 0: longer than the buffer, at least once
    const size_t length = kind == 0 ? LineReader::kChunkBytes + next(300000) : next(kind == 1 ? 40000 : 200);
    for (size_t i = 0; i < length; ++i) bytes += static_cast<char>('a' + (bytes.size() % 26));
    bytes += kind == 2 ? "\r\n" : "\n";
  }
  bytes += "the last line has no newline";
  const std::string path = t.Write("lines", bytes);

  const detail::ReadFile file(path);
  ASSERT_TRUE(file.ok());
  LineReader reader(file.fd());
  detail::Line line;
  uint64_t at = 0;
  size_t count = 0;
  while (reader.Next(line)) {
    ASSERT_EQ(line.start, at) << "line " << count;
    const size_t newline = bytes.find('\n', at);
    const uint64_t length = newline == std::string::npos ? bytes.size() - at : newline + 1 - at;
    ASSERT_EQ(line.length, length) << "line " << count;
    ASSERT_EQ(line.head, std::string_view(bytes).substr(at, std::min<uint64_t>(length, LineReader::kHeadBytes)));
    ASSERT_EQ(line.has_line_end, newline != std::string::npos);
    at += length;
    ++count;
  }
  EXPECT_EQ(reader.error(), 0);
  EXPECT_EQ(at, bytes.size());
  EXPECT_GT(count, 100u);
}

TEST(Mbox, SeparatorsAtTheBufferEndAndTheHeaderBound) {
  test::TempDir t;
  ASSERT_TRUE(t.ok());
  const std::string sep = "From ann@example.com Mon Jan  1 10:00:00 2024\n";
  // A header past its bound: a Status after 256 KiB of fields is not read.
  std::string first = "Subject: long\n";
  while (first.size() < 300 * 1024) first += "X-Padding: " + std::string(100, 'p') + "\n";
  first += "Status: RO\n\n";
  first += std::string(LineReader::kChunkBytes + 1000, 'b') + "\n";  // a body line longer than the buffer
  // Put the next separator's blank line across the end of the second buffer.
  while (sep.size() + first.size() + 1 < 2 * LineReader::kChunkBytes - 3) first += "body\n";
  const std::string second = "Status: O\nSubject: two\n\nB\n";
  const std::string bytes = sep + first + "\n" + sep + second;
  const std::string path = t.Write("big", bytes);

  ScanResult result;
  ASSERT_EQ(ScanPath(path, result), SourceKind::kMbox);
  ASSERT_EQ(result.entries.size(), 2u);
  EXPECT_EQ(result.entries[0].ref.offset, sep.size());
  EXPECT_EQ(result.entries[0].ref.length, first.size());
  EXPECT_EQ(result.entries[1].at, sep.size() + first.size() + 1);
  EXPECT_EQ(result.entries[1].ref.offset, 2 * sep.size() + first.size() + 1);
  EXPECT_EQ(test::BytesOf(result.entries[1].ref), second);
  // The first message's Status was past the bound: it counts as having none,
  // in a file whose other message has one.
  EXPECT_FALSE(result.entries[0].state.read);
  EXPECT_FALSE(result.entries[1].state.read);
}

}  // namespace
}  // namespace mailstore

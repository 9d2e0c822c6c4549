// SPDX-License-Identifier: GPL-3.0-or-later
// Reads a file line by line, front to back, through one fixed buffer: a
// line of any length (a 50 GB file without a newline too) costs no more
// memory than its first kHeadBytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mailstore::detail {

struct Line {
  uint64_t start = 0;       // its offset in the file
  uint64_t length = 0;      // its bytes, the line end included
  std::string_view head;    // its first bytes (at most kHeadBytes), the line end included when within
  bool has_line_end = false;  // false: the file's last line, without a newline
};

class LineReader {
 public:
  static constexpr size_t kChunkBytes = 1 << 20;
  static constexpr size_t kHeadBytes = 16 * 1024;

  explicit LineReader(int fd);
  // The next line; false at the end of the file or on a read error.
  // `line.head` stays valid until the next call.
  bool Next(Line& line);
  int error() const { return error_; }  // errno of a failed read, 0 otherwise
  uint64_t position() const { return buffer_at_ + pos_; }

 private:
  bool Fill();

  int fd_;
  std::vector<char> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
  uint64_t buffer_at_ = 0;  // file offset of buffer_[0]
  std::string carry_;       // a line's head that crossed the end of the buffer
  int error_ = 0;
};

}  // namespace mailstore::detail

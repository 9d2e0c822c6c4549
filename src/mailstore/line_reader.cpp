// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/line_reader.h"

#include <algorithm>
#include <cstring>

#include "mailstore/file_io.h"

namespace mailstore::detail {

LineReader::LineReader(int fd) : fd_(fd), buffer_(kChunkBytes) {}

bool LineReader::Fill() {
  buffer_at_ += end_;
  pos_ = 0;
  end_ = 0;
  const int64_t got = ReadFdAt(fd_, buffer_.data(), buffer_.size(), buffer_at_, error_);
  if (got < 0) return false;
  end_ = static_cast<size_t>(got);
  return got > 0;
}

bool LineReader::Next(Line& line) {
  line = Line{};
  line.start = position();
  bool carrying = false;
  for (;;) {
    if (pos_ == end_ && !Fill()) {
      if (line.length == 0) return false;
      line.head = carry_;
      return true;
    }
    const char* from = buffer_.data() + pos_;
    const size_t available = end_ - pos_;
    const void* newline = std::memchr(from, '\n', available);
    const size_t take = newline != nullptr ? static_cast<size_t>(static_cast<const char*>(newline) - from) + 1 : available;
    if (!carrying && newline != nullptr) {
      line.head = std::string_view(from, std::min(take, kHeadBytes));
      line.length = take;
      line.has_line_end = true;
      pos_ += take;
      return true;
    }
    if (!carrying) carry_.clear();
    carrying = true;
    if (carry_.size() < kHeadBytes) carry_.append(from, std::min(take, kHeadBytes - carry_.size()));
    pos_ += take;
    line.length += take;
    if (newline != nullptr) {
      line.head = carry_;
      line.has_line_end = true;
      return true;
    }
  }
}

}  // namespace mailstore::detail

// SPDX-License-Identifier: GPL-3.0-or-later
// What the file-system layer does the same everywhere; the system calls and
// the path spelling are in file_io_posix.cpp and file_io_win32.cpp.
#include "mailstore/file_io.h"

#include <algorithm>

namespace mailstore::detail {

bool IsDirectory(const std::string& path) { return StatPath(path, false).type == FileType::kDirectory; }

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  const std::string_view tail = text.substr(text.size() - suffix.size());
  return std::equal(tail.begin(), tail.end(), suffix.begin(), [](char a, char b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(a) == lower(b);
  });
}

std::string ReadFile::Head(size_t n) const {
  std::string head(n, '\0');
  const ssize_t got = ReadAt(head.data(), n, 0);
  head.resize(got < 0 ? 0 : static_cast<size_t>(got));
  return head;
}

ssize_t ReadFile::ReadAt(void* into, size_t n, uint64_t offset) const {
  size_t done = 0;
  char* out = static_cast<char*>(into);
  int error = 0;
  while (done < n) {
    const int64_t got = ReadFdAt(fd_, out + done, n - done, offset + done, error);
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace mailstore::detail

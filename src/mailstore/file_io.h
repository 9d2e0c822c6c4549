// SPDX-License-Identifier: GPL-3.0-or-later
// The few file-system calls the scan makes, in the system's own bytes:
// listing a folder (sorted), the type of a name, and reading a regular file
// that is never opened blocking (a FIFO given in its place cannot hang us).
// file_io_posix.cpp and file_io_win32.cpp make them; on Windows names are
// UTF-8, both '/' and '\' part a path, and error numbers are Windows' own.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mailstore::detail {

enum class FileType : uint8_t { kMissing, kRegular, kDirectory, kLink, kOther, kError };

struct FileInfo {
  FileType type = FileType::kMissing;
  uint64_t size = 0;
  int error = 0;  // kMissing, kError: errno
};

// follow: what a link names; otherwise the link itself.
FileInfo StatPath(const std::string& path, bool follow);
bool IsDirectory(const std::string& path);  // not through a link

struct DirEntry {
  std::string name;
  FileType type = FileType::kOther;  // kLink for any link
};

struct Listing {
  std::vector<DirEntry> entries;  // without "." and "..", in byte order of the names
  int error = 0;                  // errno when the folder could not be listed
};
Listing ListDirectory(const std::string& dir);

std::string JoinPath(const std::string& dir, std::string_view name);
std::string BaseName(const std::string& path);  // the last name; "/" for the root
std::string DirName(const std::string& path);   // "/" for a name in the root
std::string OsReason(int error);                // strerror, thread-safe
// path made absolute against the current folder, without separators at its
// end (the root keeps its own); nullopt, with the error, when the current
// folder cannot be told.
std::optional<std::string> AbsolutePath(const std::string& path, int& error);
bool IsRoot(const std::string& path);
// Up to n bytes of the open file at offset (fewer at its end); -1 with the
// error in `error`. Interrupted reads are retried.
int64_t ReadFdAt(int fd, void* into, size_t n, uint64_t offset, int& error);

bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// A regular file opened for reading. Opening never blocks and anything
// that is not a regular file is refused.
class ReadFile {
 public:
  explicit ReadFile(const std::string& path);
  ~ReadFile();
  ReadFile(const ReadFile&) = delete;
  ReadFile& operator=(const ReadFile&) = delete;

  bool ok() const { return fd_ >= 0; }
  // Why it could not be opened: an errno, or EINVAL for a file that is not regular.
  int error() const { return error_; }
  bool not_regular() const { return not_regular_; }
  int fd() const { return fd_; }
  uint64_t size() const { return size_; }

  // Up to `n` bytes at `offset`; fewer only at the end of the file. -1 on error (errno).
  ssize_t ReadAt(void* into, size_t n, uint64_t offset) const;
  // The first bytes, at most `n` ("" on error).
  std::string Head(size_t n) const;

 private:
  int fd_ = -1;
  int error_ = 0;
  bool not_regular_ = false;
  uint64_t size_ = 0;
};

}  // namespace mailstore::detail

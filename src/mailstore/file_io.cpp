// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mailstore::detail {
namespace {

FileType TypeOf(mode_t mode) {
  if (S_ISREG(mode)) return FileType::kRegular;
  if (S_ISDIR(mode)) return FileType::kDirectory;
  if (S_ISLNK(mode)) return FileType::kLink;
  return FileType::kOther;
}

}  // namespace

FileInfo StatPath(const std::string& path, bool follow) {
  struct stat st {};
  const int rc = follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
  FileInfo info;
  if (rc != 0) {
    info.error = errno;
    info.type = (errno == ENOENT || errno == ENOTDIR) ? FileType::kMissing : FileType::kError;
    return info;
  }
  info.type = TypeOf(st.st_mode);
  info.size = static_cast<uint64_t>(st.st_size);
  return info;
}

bool IsDirectory(const std::string& path) { return StatPath(path, false).type == FileType::kDirectory; }

Listing ListDirectory(const std::string& dir) {
  Listing listing;
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) {
    listing.error = errno;
    return listing;
  }
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(d);
    if (e == nullptr) {
      if (errno != 0) listing.error = errno;
      break;
    }
    const std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    DirEntry entry;
    entry.name = std::string(name);
    switch (e->d_type) {
      case DT_REG: entry.type = FileType::kRegular; break;
      case DT_DIR: entry.type = FileType::kDirectory; break;
      case DT_LNK: entry.type = FileType::kLink; break;
      case DT_UNKNOWN: {
        const FileInfo info = StatPath(JoinPath(dir, name), false);
        entry.type = info.type == FileType::kMissing || info.type == FileType::kError ? FileType::kOther : info.type;
        break;
      }
      default: entry.type = FileType::kOther; break;
    }
    listing.entries.push_back(std::move(entry));
  }
  ::closedir(d);
  // std::string compares as unsigned bytes: the order does not depend on the locale.
  std::sort(listing.entries.begin(), listing.entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return listing;
}

std::string JoinPath(const std::string& dir, std::string_view name) {
  std::string path = dir;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return path;
  if (slash + 1 == path.size()) return path == "/" ? path : BaseName(path.substr(0, slash));
  return path.substr(slash + 1);
}

std::string DirName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

std::string OsReason(int error) {
  char buffer[256] = {};
  // The GNU strerror_r returns its text, which may or may not be `buffer`.
  return std::string(::strerror_r(error, buffer, sizeof buffer));
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  const std::string_view tail = text.substr(text.size() - suffix.size());
  return std::equal(tail.begin(), tail.end(), suffix.begin(), [](char a, char b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(a) == lower(b);
  });
}

ReadFile::ReadFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    error_ = errno;
    return;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error_ = errno;
    ::close(fd);
    return;
  }
  if (!S_ISREG(st.st_mode)) {
    error_ = EINVAL;
    not_regular_ = true;
    ::close(fd);
    return;
  }
  fd_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
}

ReadFile::~ReadFile() {
  if (fd_ >= 0) ::close(fd_);
}

ssize_t ReadFile::ReadAt(void* into, size_t n, uint64_t offset) const {
  size_t done = 0;
  char* out = static_cast<char*>(into);
  while (done < n) {
    const ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

std::string ReadFile::Head(size_t n) const {
  std::string head(n, '\0');
  const ssize_t got = ReadAt(head.data(), n, 0);
  head.resize(got < 0 ? 0 : static_cast<size_t>(got));
  return head;
}

}  // namespace mailstore::detail

// SPDX-License-Identifier: GPL-3.0-or-later
// The file-system calls of the scan on Linux: paths are bytes, '/' parts them.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "mailstore/file_io.h"

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

int64_t ReadFdAt(int fd, void* into, size_t n, uint64_t offset, int& error) {
  for (;;) {
    const ssize_t got = ::pread(fd, into, n, static_cast<off_t>(offset));
    if (got < 0) {
      if (errno == EINTR) continue;
      error = errno;
    }
    return got;
  }
}

std::optional<std::string> AbsolutePath(const std::string& path, int& error) {
  std::string absolute = path;
  if (absolute.front() != '/') {
    std::string cwd(4096, '\0');
    while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
      if (errno != ERANGE || cwd.size() > (1u << 20)) {
        error = errno;
        return std::nullopt;
      }
      cwd.resize(cwd.size() * 2);
    }
    cwd.resize(cwd.find('\0'));
    absolute = JoinPath(cwd, path);
  }
  while (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
  return absolute;
}

bool IsRoot(const std::string& path) { return path == "/"; }

}  // namespace mailstore::detail

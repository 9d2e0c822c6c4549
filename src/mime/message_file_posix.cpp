// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "mime/importer.h"
#include "mime/message_file.h"

namespace mime::file {

namespace {

std::string NotRegularReason(mode_t mode) {
  if (S_ISFIFO(mode)) return "it is a FIFO (named pipe), not a regular file";
  if (S_ISDIR(mode)) return "it is a folder, not a regular file";
  if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
  return "not a regular file";
}

void Fill(const struct stat& st, Facts& facts) {
  facts.size = st.st_size;
  facts.identity = st.st_ino;
  facts.modifiedSeconds = st.st_mtim.tv_sec;
  facts.modifiedNanoseconds = st.st_mtim.tv_nsec;
}

}  // namespace

int OpenRegular(const std::string& path, Facts& facts) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throw ImportError("cannot open " + path + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw ImportError("cannot read " + path + ": " + NotRegularReason(st.st_mode));
  }
  Fill(st, facts);
  return fd;
}

bool FactsOf(const std::string& path, Facts& facts) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  Fill(st, facts);
  return true;
}

bool FactsOfOpen(int fd, Facts& facts) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  Fill(st, facts);
  return true;
}

int64_t Read(int fd, void* to, size_t n) {
  for (;;) {
    const ssize_t got = ::read(fd, to, n);
    if (got < 0 && errno == EINTR) continue;
    return got;
  }
}

int64_t ReadAt(int fd, void* to, size_t n, uint64_t offset) {
  for (;;) {
    const ssize_t got = ::pread(fd, to, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    return got;
  }
}

int64_t Write(int fd, const void* from, size_t n) {
  for (;;) {
    const ssize_t put = ::write(fd, from, n);
    if (put < 0 && errno == EINTR) continue;
    return put;
  }
}

int OpenUnnamedTemporary(const std::string& dir) { return ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600); }

int Duplicate(int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 0); }

void Close(int fd) { ::close(fd); }

std::string LastError() { return std::strerror(errno); }

}  // namespace mime::file

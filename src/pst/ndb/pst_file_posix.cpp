// SPDX-License-Identifier: GPL-3.0-or-later
// PstFile's system calls on Linux.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "pst/ndb/node_store.h"
#include "pst/ndb/pst_file.h"

namespace pst::ndb {

PstFile PstFile::CreateNew(const std::string& path, int64_t crashBeforeWrite) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int err = errno;
    if (err == EEXIST) throw PstError("The file already exists: " + path);
    throw PstError("Cannot create " + path + ": " + std::strerror(err));
  }
  // The new directory entry must survive a crash as well as the file's data.
  SyncDirectoryOf(path);
  return PstFile(fd, path, crashBeforeWrite);
}

void SyncDirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
    ::fsync(fd);  // best effort: some file systems refuse to sync directories
    ::close(fd);
  }
}

PstFile::~PstFile() {
  if (fd_ < 0) return;
  try {
    FlushBuffer();
  } catch (const PstError&) {
    // Nothing written since the last commit is referenced by the file's
    // header, so what could not be written here is not missed.
  }
  ::close(fd_);
}

void PstFile::Fail(const char* what) const {
  const int err = errno;
  throw PstWriteError(std::string(what) + " " + path_ + ": " + std::strerror(err));
}

void PstFile::CheckStillThere() const {
  struct stat info{};
  if (::fstat(fd_, &info) != 0) Fail("Cannot check");
  // Every name of the file is gone (it, or its folder, was deleted): what is
  // written from here on reaches nobody.
  if (info.st_nlink == 0)
    throw PstWriteError("Cannot write to " + path_ + ": the file was deleted while it was being written");
}

void PstFile::WriteAll(uint64_t offset, std::span<const uint8_t> bytes) const {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                         static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot write to");
    }
    if (n == 0) {
      errno = ENOSPC;  // a write that makes no progress: no room left
      Fail("Cannot write to");
    }
    done += static_cast<size_t>(n);
  }
}

void PstFile::StartWriteback(uint64_t from, uint64_t to) const {
  // Only a hint: start writing out what was written lately, without
  // waiting for it. A failure here changes nothing, and the next sync
  // reports real errors.
  (void)::sync_file_range(fd_, static_cast<off_t>(from), static_cast<off_t>(to - from), SYNC_FILE_RANGE_WRITE);
}

void PstFile::ReadAt(uint64_t offset, std::span<uint8_t> out) const {
  FlushBuffer();
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::pread(fd_, out.data() + done, out.size() - done,
                        static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot read from");
    }
    if (n == 0) throw PstError("Unexpected end of file in " + path_);
    done += static_cast<size_t>(n);
  }
}

void PstFile::Sync() {
  FlushBuffer();
  unsynced_ = 0;
  if (::fdatasync(fd_) != 0) Fail("Cannot flush");
  CheckStillThere();
}

void PstFile::Resize(uint64_t size, const char* what) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail(what);
}

bool PstFile::GiveBack(uint64_t offset, uint64_t length) noexcept {
  bufferLength_ = 0;
  if (fd_ < 0 || length == 0) return false;
  return ::fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                     static_cast<off_t>(length)) == 0;
}

void PstFile::Close() {
  if (fd_ < 0) return;
  FlushBuffer();
  // Someone may have moved the file while it was written: its name is
  // taken from the open file itself, so that the run names where it is.
  struct stat named {}, opened {};
  const bool moved = ::fstat(fd_, &opened) == 0 &&
                     (::stat(path_.c_str(), &named) != 0 || named.st_dev != opened.st_dev || named.st_ino != opened.st_ino);
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd_);
  std::string now(4096, '\0');
  const ssize_t n = moved ? ::readlink(link, now.data(), now.size()) : -1;
  if (n > 0 && static_cast<size_t>(n) < now.size()) {
    now.resize(static_cast<size_t>(n));
    const std::string deleted = " (deleted)";
    const bool gone = now.size() > deleted.size() && now.compare(now.size() - deleted.size(), deleted.size(), deleted) == 0;
    if (!gone && now != path_ && now.front() == '/') path_ = std::move(now);
  }
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) Fail("Cannot close");
}

}  // namespace pst::ndb

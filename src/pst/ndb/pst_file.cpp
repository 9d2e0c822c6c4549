#include "pst/ndb/pst_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "pst/ndb/node_store.h"

namespace pst::ndb {

PstFile PstFile::CreateNew(const std::string& path, int64_t crashBeforeWrite) {
  if (const char* env = std::getenv("VERDALINE_PST_CRASH_AFTER_WRITES"); env && *env) {
    crashBeforeWrite = std::strtoll(env, nullptr, 10);
  }
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int err = errno;
    if (err == EEXIST) throw PstError("The file already exists: " + path);
    throw PstError("Cannot create " + path + ": " + std::strerror(err));
  }
  // The new directory entry must survive a crash as well as the file's data.
  const std::string dirPath = [&] {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
  }();
  if (int dfd = ::open(dirPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
    ::fsync(dfd);  // best effort: some file systems refuse to sync directories
    ::close(dfd);
  }
  return PstFile(fd, path, crashBeforeWrite);
}

PstFile::PstFile(int fd, std::string path, int64_t crashBeforeWrite)
    : fd_(fd), path_(std::move(path)), crashBeforeWrite_(crashBeforeWrite) {}

PstFile::PstFile(PstFile&& o) noexcept
    : fd_(std::exchange(o.fd_, -1)),
      path_(std::move(o.path_)),
      crashBeforeWrite_(o.crashBeforeWrite_),
      writes_(o.writes_),
      size_(o.size_) {}

PstFile::~PstFile() {
  if (fd_ >= 0) ::close(fd_);
}

void PstFile::Fail(const char* what) const {
  const int err = errno;
  throw PstError(std::string(what) + " " + path_ + ": " + std::strerror(err));
}

void PstFile::WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
  if (fd_ < 0) throw PstError("write to a closed file: " + path_);
  ++writes_;
  if (crashBeforeWrite_ >= 1 && writes_ == crashBeforeWrite_) ::_exit(137);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                         static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot write to");
    }
    if (n == 0) {
      errno = EIO;
      Fail("Cannot write to");
    }
    done += static_cast<size_t>(n);
  }
  if (offset + bytes.size() > size_) size_ = offset + bytes.size();
}

void PstFile::ReadAt(uint64_t offset, std::span<uint8_t> out) const {
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
  if (::fdatasync(fd_) != 0) Fail("Cannot flush");
}

void PstFile::ExtendTo(uint64_t size) {
  if (size <= size_) return;
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail("Cannot extend");
  size_ = size;
}

void PstFile::Truncate(uint64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail("Cannot shorten");
  size_ = size;
}

void PstFile::Close() {
  if (fd_ < 0) return;
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) Fail("Cannot close");
}

}  // namespace pst::ndb

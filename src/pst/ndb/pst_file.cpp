// SPDX-License-Identifier: GPL-3.0-or-later
// The buffering and bookkeeping of PstFile; the system calls are in
// pst_file_posix.cpp and pst_file_win32.cpp.
#include "pst/ndb/pst_file.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "model/invariant.h"
#include "pst/ndb/node_store.h"

namespace pst::ndb {

PstFile::PstFile(Native fd, std::string path, int64_t crashBeforeWrite)
    : fd_(fd), path_(std::move(path)), crashBeforeWrite_(crashBeforeWrite) {}

PstFile::PstFile(PstFile&& o) noexcept
    : fd_(std::exchange(o.fd_, kClosed)),
      path_(std::move(o.path_)),
      crashBeforeWrite_(o.crashBeforeWrite_),
      writes_(o.writes_),
      size_(o.size_),
      buffer_(std::move(o.buffer_)),
      bufferAt_(o.bufferAt_),
      bufferLength_(std::exchange(o.bufferLength_, 0)),
      unsynced_(o.unsynced_),
      unsyncedFrom_(o.unsyncedFrom_),
      unsyncedTo_(o.unsyncedTo_) {}

namespace {

// Gathered writes reach the file in pieces of at most this size.
constexpr size_t kBufferCapacity = 1 << 20;
// After this much written data, the system is asked to start writing it out.
constexpr uint64_t kWritebackEvery = 4 << 20;

}  // namespace

void PstFile::WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
  if (bytes.size() >= kBufferCapacity) {
    CountWrite(offset, bytes.size());
    FlushBuffer();
    WriteNow(offset, bytes);
    return;
  }
  std::span<uint8_t> place = WriteInPlace(offset, bytes.size());
  std::copy(bytes.begin(), bytes.end(), place.begin());
}

std::span<uint8_t> PstFile::WriteInPlace(uint64_t offset, size_t length) {
  VERDALINE_INVARIANT(length <= kBufferCapacity, "write in place of more than the buffer holds");
  CountWrite(offset, length);
  const bool continues = bufferLength_ != 0 && offset == bufferAt_ + bufferLength_;
  if (!continues || bufferLength_ + length > kBufferCapacity) {
    FlushBuffer();
    bufferAt_ = offset;
  }
  if (!buffer_) buffer_.reset(new uint8_t[kBufferCapacity]);
  std::span<uint8_t> place(buffer_.get() + bufferLength_, length);
  bufferLength_ += length;
  return place;
}

void PstFile::CountWrite(uint64_t offset, size_t length) {
  if (fd_ == kClosed) throw PstWriteError("write to a closed file: " + path_);
  ++writes_;
  if (crashBeforeWrite_ >= 1 && writes_ == crashBeforeWrite_) std::_Exit(137);
  if (offset + length > size_) size_ = offset + length;
}

void PstFile::FlushBuffer() const {
  if (bufferLength_ == 0) return;
  // Emptied first: after a failed write the file is unusable anyway, and
  // the same bytes must not be written again by a later call.
  const size_t length = std::exchange(bufferLength_, 0);
  WriteNow(bufferAt_, std::span<const uint8_t>(buffer_.get(), length));
}

void PstFile::WriteNow(uint64_t offset, std::span<const uint8_t> bytes) const {
  WriteAll(offset, bytes);
  if (unsynced_ == 0) {
    unsyncedFrom_ = offset;
    unsyncedTo_ = offset;
  }
  unsynced_ += bytes.size();
  unsyncedFrom_ = std::min(unsyncedFrom_, offset);
  unsyncedTo_ = std::max(unsyncedTo_, offset + bytes.size());
  if (unsynced_ >= kWritebackEvery) {
    StartWriteback(unsyncedFrom_, unsyncedTo_);
    unsynced_ = 0;
  }
}

void PstFile::ExtendTo(uint64_t size) {
  if (size <= size_) return;
  FlushBuffer();
  Resize(size, "Cannot extend");
  size_ = size;
}

void PstFile::Truncate(uint64_t size) {
  FlushBuffer();
  Resize(size, "Cannot shorten");
  size_ = size;
}

}  // namespace pst::ndb

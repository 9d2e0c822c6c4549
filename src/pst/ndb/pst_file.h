// SPDX-License-Identifier: GPL-3.0-or-later
// The file a node database writes: positional reads and writes with every
// result checked, durable syncs, and a way for crash tests to end the
// process in the middle of a commit (off unless their driver asks for it).
//
// Writes that continue one another are gathered into one buffer and reach
// the file together (a block at a time would cost a system call each);
// every read, sync, resize and close first hands the buffer over. Written
// data is also pushed towards the disk in the background as it piles up,
// so that a sync finds little left to wait for.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace pst::ndb {

class PstFile {
 public:
  // Creates path only if no file has that name (O_CREAT|O_EXCL, on
  // Windows CREATE_NEW); throws PstError when it exists or cannot be
  // created. crashBeforeWrite >= 1 ends the process with exit code 137
  // just before that write (1-based).
  static PstFile CreateNew(const std::string& path, int64_t crashBeforeWrite);
  PstFile(PstFile&& other) noexcept;
  PstFile& operator=(PstFile&&) = delete;
  PstFile(const PstFile&) = delete;
  ~PstFile();

  // Each throws PstWriteError naming the path and the system's reason; a
  // buffered write may fail later, in the call that hands it over.
  void WriteAt(uint64_t offset, std::span<const uint8_t> bytes);
  // The same write made by filling the returned place, before any other
  // call on this file, instead of copying from elsewhere.
  // REQUIRES: length <= 1 MB.
  std::span<uint8_t> WriteInPlace(uint64_t offset, size_t length);
  void ReadAt(uint64_t offset, std::span<uint8_t> out) const;
  // Also fails when the file was deleted meanwhile.
  void Sync();
  // Extends the file with zeros up to size when it is shorter.
  void ExtendTo(uint64_t size);
  // Cuts the file to size.
  void Truncate(uint64_t size);
  // After a failed write: drops what is buffered and frees the disk space
  // of the range while the file keeps its size (a hole reads as zeros).
  // Best effort; false when the file system cannot do it.
  bool GiveBack(uint64_t offset, uint64_t length) noexcept;
  void Close();

  const std::string& path() const { return path_; }
  // The name the file goes by after it was renamed, for messages.
  void Renamed(std::string path) { path_ = std::move(path); }
  int64_t writes() const { return writes_; }

 private:
  // The open file: a descriptor, on Windows a HANDLE. The system calls
  // are in pst_file_posix.cpp and pst_file_win32.cpp.
#ifdef _WIN32
  using Native = void*;
  static constexpr Native kClosed = nullptr;
#else
  using Native = int;
  static constexpr Native kClosed = -1;
#endif

  PstFile(Native fd, std::string path, int64_t crashBeforeWrite);
  [[noreturn]] void Fail(const char* what) const;
  // Throws PstWriteError when the file no longer has a name.
  void CheckStillThere() const;
  void CountWrite(uint64_t offset, size_t length);
  void WriteNow(uint64_t offset, std::span<const uint8_t> bytes) const;
  // Writes all of bytes at offset, or throws.
  void WriteAll(uint64_t offset, std::span<const uint8_t> bytes) const;
  // Asks the system to start writing out the range, without waiting.
  void StartWriteback(uint64_t from, uint64_t to) const;
  void FlushBuffer() const;
  void Resize(uint64_t size, const char* what);

  Native fd_ = kClosed;
  std::string path_;
  int64_t crashBeforeWrite_ = -1;
  int64_t writes_ = 0;
  uint64_t size_ = 0;  // including what is still buffered
  std::unique_ptr<uint8_t[]> buffer_;  // made on first use, never shrinks
  mutable uint64_t bufferAt_ = 0;
  mutable size_t bufferLength_ = 0;
  // Bytes written since writeback was last started, and where they lie.
  mutable uint64_t unsynced_ = 0;
  mutable uint64_t unsyncedFrom_ = 0;
  mutable uint64_t unsyncedTo_ = 0;
};

// Makes the entry of path in its folder durable (a new name, a rename);
// best effort, since some file systems refuse to sync a folder.
void SyncDirectoryOf(const std::string& path);

}  // namespace pst::ndb

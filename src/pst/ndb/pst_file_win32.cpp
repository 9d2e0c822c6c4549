// SPDX-License-Identifier: GPL-3.0-or-later
// PstFile's system calls on Windows: the file is a HANDLE opened for
// synchronous I/O, and every read and write names its offset in an
// OVERLAPPED, so no call depends on a shared file position.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <utility>

#include "model/windows_text.h"
#include "pst/ndb/node_store.h"
#include "pst/ndb/pst_file.h"

namespace pst::ndb {

namespace {

using model::windows::ErrorText;
using model::windows::WidePath;

// One ReadFile or WriteFile moves at most this much.
constexpr size_t kMaxTransfer = 1u << 30;

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  o.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return o;
}

bool Invalid(HANDLE h) { return h == nullptr || h == INVALID_HANDLE_VALUE; }

}  // namespace

PstFile PstFile::CreateNew(const std::string& path, int64_t crashBeforeWrite) {
  // CREATE_NEW fails on any existing name, as O_EXCL does. Others may read
  // the file while it grows; FILE_SHARE_DELETE lets the writer give the
  // finished file its name while it is still open.
  HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                         nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (Invalid(h)) {
    const DWORD err = GetLastError();
    if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) throw PstError("The file already exists: " + path);
    throw PstError("Cannot create " + path + ": " + ErrorText(err));
  }
  return PstFile(h, path, crashBeforeWrite);
}

void SyncDirectoryOf(const std::string&) {
  // Windows cannot flush a folder: NTFS journals its entries itself, and the
  // rename that names the finished file is made with MOVEFILE_WRITE_THROUGH.
}

PstFile::~PstFile() {
  if (fd_ == kClosed) return;
  try {
    FlushBuffer();
  } catch (const PstError&) {
    // Nothing written since the last commit is referenced by the file's
    // header, so what could not be written here is not missed.
  }
  CloseHandle(fd_);
}

void PstFile::Fail(const char* what) const {
  const DWORD err = GetLastError();
  throw PstWriteError(std::string(what) + " " + path_ + ": " + ErrorText(err));
}

void PstFile::CheckStillThere() const {
  FILE_STANDARD_INFO info{};
  if (!GetFileInformationByHandleEx(fd_, FileStandardInfo, &info, sizeof info)) Fail("Cannot check");
  // The file was deleted (it goes when its last handle closes): what is
  // written from here on reaches nobody.
  if (info.DeletePending || info.NumberOfLinks == 0)
    throw PstWriteError("Cannot write to " + path_ + ": the file was deleted while it was being written");
}

void PstFile::WriteAll(uint64_t offset, std::span<const uint8_t> bytes) const {
  size_t done = 0;
  while (done < bytes.size()) {
    const auto want = static_cast<DWORD>(std::min(bytes.size() - done, kMaxTransfer));
    OVERLAPPED at = At(offset + done);
    DWORD n = 0;
    if (!WriteFile(fd_, bytes.data() + done, want, &n, &at)) Fail("Cannot write to");
    if (n == 0) {
      SetLastError(ERROR_DISK_FULL);  // a write that makes no progress: no room left
      Fail("Cannot write to");
    }
    done += n;
  }
}

void PstFile::StartWriteback(uint64_t, uint64_t) const {
  // Windows has no call that starts writing out a range without waiting
  // for it; the lazy writer does that on its own, and Sync waits.
}

void PstFile::ReadAt(uint64_t offset, std::span<uint8_t> out) const {
  FlushBuffer();
  size_t done = 0;
  while (done < out.size()) {
    const auto want = static_cast<DWORD>(std::min(out.size() - done, kMaxTransfer));
    OVERLAPPED at = At(offset + done);
    DWORD n = 0;
    if (!ReadFile(fd_, out.data() + done, want, &n, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) n = 0;
      else Fail("Cannot read from");
    }
    if (n == 0) throw PstError("Unexpected end of file in " + path_);
    done += n;
  }
}

void PstFile::Sync() {
  FlushBuffer();
  unsynced_ = 0;
  if (!FlushFileBuffers(fd_)) Fail("Cannot flush");
  CheckStillThere();
}

void PstFile::Resize(uint64_t size, const char* what) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFileInformationByHandle(fd_, FileEndOfFileInfo, &end, sizeof end)) Fail(what);
}

bool PstFile::GiveBack(uint64_t offset, uint64_t length) noexcept {
  bufferLength_ = 0;
  if (fd_ == kClosed || length == 0) return false;
  // Only a sparse file gives zeroed ranges back to the disk; making it
  // sparse changes nothing a reader sees.
  DWORD unused = 0;
  if (!DeviceIoControl(fd_, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &unused, nullptr)) return false;
  FILE_ZERO_DATA_INFORMATION zero{};
  zero.FileOffset.QuadPart = static_cast<LONGLONG>(offset);
  zero.BeyondFinalZero.QuadPart = static_cast<LONGLONG>(offset + length);
  return DeviceIoControl(fd_, FSCTL_SET_ZERO_DATA, &zero, sizeof zero, nullptr, 0, &unused, nullptr) != 0;
}

namespace {

// Whether path still names the file open as h.
bool NamesSameFile(const std::string& path, HANDLE h) {
  BY_HANDLE_FILE_INFORMATION opened{}, named{};
  if (!GetFileInformationByHandle(h, &opened)) return true;  // cannot tell: keep the name
  HANDLE other = CreateFileW(WidePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (Invalid(other)) return false;
  const bool same = GetFileInformationByHandle(other, &named) &&
                    named.dwVolumeSerialNumber == opened.dwVolumeSerialNumber &&
                    named.nFileIndexHigh == opened.nFileIndexHigh && named.nFileIndexLow == opened.nFileIndexLow;
  CloseHandle(other);
  return same;
}

}  // namespace

void PstFile::Close() {
  if (fd_ == kClosed) return;
  FlushBuffer();
  // Someone may have moved the file while it was written: its name is
  // taken from the open file itself, so that the run names where it is.
  if (!NamesSameFile(path_, fd_)) {
    std::wstring now(32768, L'\0');
    const DWORD n = GetFinalPathNameByHandleW(fd_, now.data(), static_cast<DWORD>(now.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n > 0 && n < now.size()) {
      now.resize(n);
      path_ = model::windows::Utf8Path(now);
    }
  }
  HANDLE h = std::exchange(fd_, kClosed);
  if (!CloseHandle(h)) Fail("Cannot close");
}

}  // namespace pst::ndb

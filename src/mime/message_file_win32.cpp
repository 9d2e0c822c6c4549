// SPDX-License-Identifier: GPL-3.0-or-later
// Message files on Windows: opened with CreateFileW (UTF-16 names, long
// paths, shared so that a mail client may go on writing or deleting), then
// handed to the C runtime as a binary descriptor for GMime's file stream.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "mime/importer.h"
#include "mime/message_file.h"
#include "model/windows_text.h"

namespace mime::file {

namespace {

using model::windows::ErrorText;
using model::windows::WidePath;

// The reason of the last failure: a Windows error code, or else errno.
thread_local DWORD t_error = 0;

// One ReadFile or _read moves at most this much.
constexpr size_t kMaxTransfer = 1u << 30;

HANDLE Native(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

void Fill(const BY_HANDLE_FILE_INFORMATION& info, Facts& facts) {
  facts.size = static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  facts.identity = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  // 100-nanosecond ticks.
  const uint64_t ticks =
      (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
  facts.modifiedSeconds = static_cast<int64_t>(ticks / 10000000);
  facts.modifiedNanoseconds = static_cast<int64_t>(ticks % 10000000 * 100);
}

HANDLE OpenForLooking(const std::string& path, DWORD access) {
  // Backup semantics let a folder be opened too, so that it is named as one.
  return CreateFileW(WidePath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

int Fail(DWORD code) {
  t_error = code;
  return -1;
}

}  // namespace

int OpenRegular(const std::string& path, Facts& facts) {
  HANDLE h = OpenForLooking(path, GENERIC_READ);
  if (h == INVALID_HANDLE_VALUE) throw ImportError("cannot open " + path + ": " + ErrorText(GetLastError()));
  BY_HANDLE_FILE_INFORMATION info{};
  const DWORD type = GetFileType(h);
  std::string notRegular;
  if (type == FILE_TYPE_PIPE) notRegular = "it is a FIFO (named pipe), not a regular file";
  else if (type == FILE_TYPE_CHAR) notRegular = "it is a device, not a regular file";
  else if (type != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info)) notRegular = "not a regular file";
  else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) notRegular = "it is a folder, not a regular file";
  if (!notRegular.empty()) {
    CloseHandle(h);
    throw ImportError("cannot read " + path + ": " + notRegular);
  }
  Fill(info, facts);
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    throw ImportError("cannot open " + path + ": " + std::strerror(errno));
  }
  return fd;
}

bool FactsOf(const std::string& path, Facts& facts) {
  HANDLE h = OpenForLooking(path, 0);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (ok) Fill(info, facts);
  return ok;
}

bool FactsOfOpen(int fd, Facts& facts) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(Native(fd), &info)) return Fail(GetLastError()) == 0;
  Fill(info, facts);
  return true;
}

int64_t Read(int fd, void* to, size_t n) {
  const int got = _read(fd, to, static_cast<unsigned>(std::min(n, kMaxTransfer)));
  if (got < 0) t_error = 0;
  return got;
}

int64_t ReadAt(int fd, void* to, size_t n, uint64_t offset) {
  // A read with an offset moves a synchronous handle's position; GMime's
  // stream over the same descriptor reads from that position, so it is put
  // back as it was.
  HANDLE h = Native(fd);
  LARGE_INTEGER zero{}, was{};
  if (!SetFilePointerEx(h, zero, &was, FILE_CURRENT)) return Fail(GetLastError());
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const bool ok = ReadFile(h, to, static_cast<DWORD>(std::min(n, kMaxTransfer)), &got, &at) != 0;
  const DWORD err = GetLastError();
  SetFilePointerEx(h, was, nullptr, FILE_BEGIN);
  if (!ok && err != ERROR_HANDLE_EOF) return Fail(err);
  return ok ? static_cast<int64_t>(got) : 0;
}

int64_t Write(int fd, const void* from, size_t n) {
  const int put = _write(fd, from, static_cast<unsigned>(std::min(n, kMaxTransfer)));
  if (put < 0) t_error = 0;
  return put;
}

int OpenUnnamedTemporary(const std::string& dir) {
  // Windows has no nameless file: a fresh name that nobody else may open,
  // deleted by the system when the last handle closes (also when the
  // process dies).
  static std::atomic<uint32_t> counter{0};
  std::string folder = dir;
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = folder + "verdaline-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(counter++) + ".tmp";
    HANDLE h = CreateFileW(WidePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return Fail(GetLastError());
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
    if (fd < 0) {
      CloseHandle(h);
      return Fail(0);
    }
    return fd;
  }
  return Fail(ERROR_FILE_EXISTS);
}

int Duplicate(int fd) {
  const int copy = _dup(fd);
  if (copy < 0) t_error = 0;
  return copy;
}

void Close(int fd) { _close(fd); }

std::string LastError() { return t_error != 0 ? ErrorText(t_error) : std::strerror(errno); }

}  // namespace mime::file

// SPDX-License-Identifier: GPL-3.0-or-later
// The file-system calls of the scan on Windows: names are UTF-8 here and
// UTF-16 for the system, '/' and '\' both part a path, a path may start at
// a drive ("C:\") or a share ("\\server\share\"), and links are the
// symbolic links and junctions of NTFS.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cctype>

#include "mailstore/file_io.h"
#include "model/windows_text.h"

namespace mailstore::detail {
namespace {

using model::windows::Utf8;
using model::windows::WidePath;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// The length of the part of path that names its root: "C:\" 3, "C:" 2,
// "\\server\share\" to its end, "\" 1, none 0.
size_t RootLength(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])))
    return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    size_t at = 2;
    for (int part = 0; part < 2 && at < path.size(); ++part) {
      while (at < path.size() && !IsSeparator(path[at])) ++at;
      if (at < path.size()) ++at;
    }
    return at;
  }
  return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

// A reparse point is a link when it is a symbolic link or a junction;
// other kinds (cloud placeholders, dedup) stand for the file itself.
bool IsLinkTag(DWORD tag) { return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT; }

FileType TypeOfFound(const WIN32_FIND_DATAW& found) {
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkTag(found.dwReserved0)) return FileType::kLink;
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return FileType::kDirectory;
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return FileType::kOther;
  return FileType::kRegular;
}

bool Missing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
         error == ERROR_DIRECTORY;
}

uint64_t Size(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

}  // namespace

FileInfo StatPath(const std::string& path, bool follow) {
  FileInfo info;
  if (!follow) {
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(WidePath(path).c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      FindClose(find);
      info.type = TypeOfFound(found);
      info.size = Size(found.nFileSizeHigh, found.nFileSizeLow);
      return info;
    }
    // A root (C:\) cannot be found as an entry of a folder; it is looked at
    // as what it names.
    if (RootLength(path) != path.size()) {
      const DWORD error = GetLastError();
      info.error = static_cast<int>(error);
      info.type = Missing(error) ? FileType::kMissing : FileType::kError;
      return info;
    }
  }
  HANDLE h = CreateFileW(WidePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION data{};
  if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &data)) {
    const DWORD error = GetLastError();
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    info.error = static_cast<int>(error);
    info.type = Missing(error) ? FileType::kMissing : FileType::kError;
    return info;
  }
  const DWORD kind = GetFileType(h);
  CloseHandle(h);
  info.type = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? FileType::kDirectory
              : kind == FILE_TYPE_DISK                         ? FileType::kRegular
                                                               : FileType::kOther;
  info.size = Size(data.nFileSizeHigh, data.nFileSizeLow);
  return info;
}

Listing ListDirectory(const std::string& dir) {
  Listing listing;
  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileExW(WidePath(JoinPath(dir, "*")).c_str(), FindExInfoBasic, &found,
                                 FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) {
    listing.error = static_cast<int>(GetLastError());
    return listing;
  }
  do {
    const std::string name = Utf8(found.cFileName);
    if (name == "." || name == "..") continue;
    listing.entries.push_back({name, TypeOfFound(found)});
  } while (FindNextFileW(find, &found));
  if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES) listing.error = static_cast<int>(error);
  FindClose(find);
  // std::string compares as unsigned bytes: the order does not depend on the locale.
  std::sort(listing.entries.begin(), listing.entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return listing;
}

std::string JoinPath(const std::string& dir, std::string_view name) {
  std::string path = dir;
  if (path.empty() || !IsSeparator(path.back())) path += '\\';
  path += name;
  return path;
}

std::string BaseName(const std::string& path) {
  const size_t root = RootLength(path);
  size_t end = path.size();
  while (end > root && IsSeparator(path[end - 1])) --end;
  if (end == root) return path.substr(0, root);
  size_t start = end;
  while (start > root && !IsSeparator(path[start - 1])) --start;
  return path.substr(start, end - start);
}

std::string DirName(const std::string& path) {
  const size_t root = RootLength(path);
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos || slash < root) return root != 0 ? path.substr(0, root) : ".";
  return path.substr(0, std::max(slash, root));
}

std::string OsReason(int error) { return model::windows::ErrorText(static_cast<uint32_t>(error)); }

std::optional<std::string> AbsolutePath(const std::string& path, int& error) {
  const std::wstring wide = model::windows::Wide(path);
  const DWORD need = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  std::wstring full(need, L'\0');
  const DWORD got = need == 0 ? 0 : GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) {
    error = static_cast<int>(GetLastError());
    return std::nullopt;
  }
  full.resize(got);
  std::string absolute = model::windows::Utf8Path(full);
  const size_t root = RootLength(absolute);
  while (absolute.size() > root && IsSeparator(absolute.back())) absolute.pop_back();
  return absolute;
}

bool IsRoot(const std::string& path) { return !path.empty() && RootLength(path) == path.size(); }

ReadFile::ReadFile(const std::string& path) {
  HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error_ = static_cast<int>(GetLastError());
    return;
  }
  BY_HANDLE_FILE_INFORMATION data{};
  if (!GetFileInformationByHandle(h, &data)) {
    error_ = static_cast<int>(GetLastError());
    CloseHandle(h);
    return;
  }
  if (GetFileType(h) != FILE_TYPE_DISK || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    error_ = ERROR_INVALID_PARAMETER;
    not_regular_ = true;
    CloseHandle(h);
    return;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    error_ = ERROR_TOO_MANY_OPEN_FILES;
    CloseHandle(h);
    return;
  }
  fd_ = fd;
  size_ = Size(data.nFileSizeHigh, data.nFileSizeLow);
}

ReadFile::~ReadFile() {
  if (fd_ >= 0) _close(fd_);
}

int64_t ReadFdAt(int fd, void* into, size_t n, uint64_t offset, int& error) {
  // The scan reads its files only at offsets, never from a position.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const auto want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
  if (!::ReadFile(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), into, want, &got, &at)) {
    const DWORD e = GetLastError();
    if (e == ERROR_HANDLE_EOF) return 0;
    error = static_cast<int>(e);
    return -1;
  }
  return got;
}

}  // namespace mailstore::detail

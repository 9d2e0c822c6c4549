// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include <cstring>

#include "model/windows_text.h"
#include "pst/file_names.h"
#include "pst/ndb/node_store.h"

namespace pst::file_names {

namespace {

using model::windows::ErrorText;
using model::windows::Utf8;
using model::windows::WidePath;

bool NotFound(DWORD err) { return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND; }

}  // namespace

void RequireFree(const std::string& path) {
  if (GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES)
    throw PstExistsError("The file already exists: " + path);
  if (const DWORD err = GetLastError(); !NotFound(err))
    throw PstError("Cannot create " + path + ": " + ErrorText(err));
}

bool Taken(const std::string& path) {
  return GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES || !NotFound(GetLastError());
}

void PublishNoReplace(const std::string& from, const std::string& to) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails on an existing name;
  // write-through makes the new name durable before the call returns.
  if (!MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
    const DWORD err = GetLastError();
    if (err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS)
      throw PstExistsError("The file already exists: " + to);
    throw PstError("Cannot create " + to + ": " + ErrorText(err));
  }
}

void Remove(const std::string& path) { DeleteFileW(WidePath(path).c_str()); }

int64_t ProcessId() { return static_cast<int64_t>(GetCurrentProcessId()); }

namespace {

bool ProcessGone(int64_t pid) {
  if (pid > 0xFFFFFFFFll) return false;
  HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (!p) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process; else it may be another user's
  DWORD code = 0;
  const bool gone = GetExitCodeProcess(p, &code) && code != STILL_ACTIVE;
  CloseHandle(p);
  return gone;
}

// Whether the file is empty or a node database. Files a user can list and
// delete in their own folder count as theirs: Windows has no owner id to
// compare as cheaply as a uid, and the folder's rights decide the delete.
bool EmptyOrOurs(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  char magic[4] = {};
  DWORD got = 0;
  bool ours = GetFileSizeEx(h, &size) != 0;
  if (ours && size.QuadPart != 0)
    ours = ReadFile(h, magic, sizeof magic, &got, nullptr) && got == 4 && std::memcmp(magic, "!BDN", 4) == 0;
  CloseHandle(h);
  return ours;
}

}  // namespace

void RemoveStalePartials(const std::string& target) {
  const size_t slash = target.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  WIN32_FIND_DATAW entry{};
  HANDLE find = FindFirstFileW(WidePath(folder + "*.partial-*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    // Only plain files: no folders, and no links to something elsewhere.
    if (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    int64_t pid = 0;
    if (!PartialNameProcess(Utf8(entry.cFileName).c_str(), pid) || !ProcessGone(pid)) continue;
    const std::wstring path = WidePath(folder + Utf8(entry.cFileName));
    if (EmptyOrOurs(path)) DeleteFileW(path.c_str());
  } while (FindNextFileW(find, &entry));
  FindClose(find);
}

}  // namespace pst::file_names

// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/windows_text.h"

#include <windows.h>

#include <limits>

namespace model::windows {

namespace {

// Paths at least this long need the \\?\ prefix: CreateDirectoryW's limit
// (MAX_PATH less room for an 8.3 name) is the lowest of the calls used.
constexpr size_t kLongPath = 248;

int Narrow(size_t n) {
  return n > static_cast<size_t>(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                                   : static_cast<int>(n);
}

}  // namespace

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), Narrow(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), Narrow(utf8.size()), out.data(), n);
  return out;
}

std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), Narrow(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), Narrow(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring WidePath(std::string_view utf8) {
  std::wstring path = Wide(utf8);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  if (path.size() < kLongPath || path.starts_with(L"\\\\?\\")) return path;
  // The prefix turns off Windows' own clean-up of the path ("..", ".",
  // relative names), so the full path is made first.
  const DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (need == 0) return path;
  std::wstring full(need, L'\0');
  const DWORD got = GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return path;
  full.resize(got);
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::string Utf8Path(std::wstring_view wide) {
  if (wide.starts_with(L"\\\\?\\UNC\\")) return "\\\\" + Utf8(wide.substr(8));
  if (wide.starts_with(L"\\\\?\\")) return Utf8(wide.substr(4));
  return Utf8(wide);
}

std::string ErrorText(uint32_t code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = n > 0 ? Utf8(std::wstring_view(text, n)) : std::string();
  if (text) LocalFree(text);
  // The system's sentences end in ".\r\n"; the run's messages go on after.
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
    out.pop_back();
  if (out.empty()) out = "error " + std::to_string(code);
  return out;
}

}  // namespace model::windows

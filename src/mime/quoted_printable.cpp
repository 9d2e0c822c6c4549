// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/quoted_printable.h"

namespace mime::detail {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Where the line break after `i` starts when only blanks stand between;
// npos otherwise. The end of the text counts as a line break.
size_t LineEndAfterBlanks(std::string_view s, size_t i) {
  while (i < s.size() && IsBlank(s[i])) ++i;
  if (i == s.size() || s[i] == '\n' || (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n'))
    return i;
  return std::string_view::npos;
}

}  // namespace

std::vector<uint8_t> DecodeQuotedPrintable(std::string_view s) {
  std::vector<uint8_t> out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '=') {
      const int hi = i + 1 < s.size() ? HexDigit(s[i + 1]) : -1;
      const int lo = i + 2 < s.size() ? HexDigit(s[i + 2]) : -1;
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
        i += 3;
        continue;
      }
      if (const size_t end = LineEndAfterBlanks(s, i + 1); end != std::string_view::npos) {
        i = end == s.size() ? end : end + (s[end] == '\r' ? 2 : 1);  // soft line break
        continue;
      }
      out.push_back('=');
      ++i;
      continue;
    }
    if (IsBlank(c)) {
      if (const size_t end = LineEndAfterBlanks(s, i); end != std::string_view::npos) {
        i = end;  // trailing white space
        continue;
      }
    }
    out.push_back(static_cast<uint8_t>(c));
    ++i;
  }
  return out;
}

}  // namespace mime::detail

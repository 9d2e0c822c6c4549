// SPDX-License-Identifier: GPL-3.0-or-later
// Small string helpers shared by the importer's files: UTF-8 validity,
// ASCII case, trimming and unfolding of header text.
#pragma once

#include <string>
#include <string_view>

namespace mime::detail {

bool IsValidUtf8(std::string_view s);
// Bytes as Windows-1252 (the five bytes that code page leaves undefined map
// to the C1 controls of the same value, as ISO 8859-1 does) to UTF-8.
std::string Utf8FromWindows1252(std::string_view s);
// s itself when it is valid UTF-8, else s read as Windows-1252.
std::string ValidUtf8(std::string_view s);

std::string AsciiLower(std::string_view s);
std::string AsciiUpper(std::string_view s);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool StartsWithIgnoreCase(std::string_view s, std::string_view prefix);
std::string Trimmed(std::string_view s);  // spaces, tabs, CR, LF at both ends
// Header folding undone (RFC 5322 2.2.3): CR and LF removed.
std::string Unfolded(std::string_view s);
// At most `max` bytes, cut at a UTF-8 character boundary.
std::string Truncated(std::string_view s, size_t max);
// Takes every NUL character out of s; returns how many there were.
size_t DropNulCharacters(std::string& s);

}  // namespace mime::detail

namespace mime::detail {
// Every line break (CRLF, bare LF or bare CR) as CRLF, the form mail
// clients expect in PidTagBody.
std::string WithCrlf(std::string_view s);
}  // namespace mime::detail

namespace mime::detail {
// Calls f(line) for each line of s, its LF or CRLF taken off.
template <typename F>
void ForEachLine(std::string_view s, F&& f) {
  size_t i = 0;
  while (i < s.size()) {
    size_t end = s.find('\n', i);
    if (end == std::string_view::npos) end = s.size();
    std::string_view line = s.substr(i, end - i);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    i = end + 1;
    f(line);
  }
}
}  // namespace mime::detail

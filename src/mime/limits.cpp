// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/limits.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace mime::detail {
namespace {

bool StartsContentField(const uint8_t* p, const uint8_t* end) {
  static constexpr char kPrefix[] = "content-";
  constexpr size_t n = sizeof kPrefix - 1;
  if (static_cast<size_t>(end - p) < n) return false;
  for (size_t i = 0; i < n; ++i)
    if ((p[i] | 0x20) != static_cast<uint8_t>(kPrefix[i])) return false;
  return true;
}

bool SameAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return (x | 0x20) == (y | 0x20); });
}

// Fields the import reads from the top-level header section.
bool ReadByImport(std::string_view name) {
  static constexpr std::array<std::string_view, 18> kRead = {
      "from",        "sender",     "reply-to",   "to",         "cc",       "bcc",
      "subject",     "date",       "message-id", "in-reply-to", "references", "mime-version",
      "importance",  "priority",   "x-priority", "sensitivity", "thread-topic", "thread-index"};
  if (name.size() >= 8 && SameAsciiCase(name.substr(0, 8), "content-")) return true;
  return std::any_of(kRead.begin(), kRead.end(), [&](std::string_view r) { return SameAsciiCase(name, r); });
}

}  // namespace

std::optional<TrimmedHeader> TrimHeaderSection(std::span<const uint8_t> input) {
  const char* const begin = reinterpret_cast<const char*>(input.data());
  const std::string_view all(begin, input.size());
  // First pass: where the section ends and whether it needs trimming.
  size_t pos = 0, fields = 0, fieldStart = 0;
  bool tooLong = false;
  for (;;) {
    const size_t eol = all.find('\n', pos);
    if (eol == std::string_view::npos) return std::nullopt;  // no end: the parser copes alone
    std::string_view line = all.substr(pos, eol - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;
    if (line[0] != ' ' && line[0] != '\t') {
      ++fields;
      fieldStart = pos;
    }
    if (eol + 1 - fieldStart > kMaxFieldBytes) tooLong = true;
    pos = eol + 1;
  }
  const size_t end = all.find('\n', pos) + 1;
  if (fields <= kMaxHeaderFields && !tooLong) return std::nullopt;

  TrimmedHeader t;
  t.end = end;
  t.fields = fields;
  bool keep = false;
  size_t kept = 0;  // bytes of the current field kept
  for (pos = 0; pos < end;) {
    const size_t eol = all.find('\n', pos) + 1;
    const std::string_view line = all.substr(pos, eol - pos);
    const bool blank = line == "\n" || line == "\r\n";
    if (blank) {
      t.parsed += line;
    } else if (line[0] != ' ' && line[0] != '\t') {
      const std::string_view name = line.substr(0, std::min(line.find(':'), line.size()));
      keep = t.keptFields < kMaxHeaderFields || ReadByImport(name);
      kept = 0;
      if (keep) ++t.keptFields;
    }
    if (!blank && keep) {
      if (kept + line.size() <= kMaxFieldBytes) {
        t.parsed += line;
      } else {
        t.cut = true;
        if (kept == 0) t.parsed.append(line.substr(0, kMaxFieldBytes)).append("\r\n");  // one endless line
      }
      kept += line.size();
    }
    pos = eol;
  }
  return t;
}

size_t MostContentParameters(std::span<const uint8_t> input) {
  const uint8_t* p = input.data();
  const uint8_t* const end = p + input.size();
  size_t most = 0;
  size_t current = 0;
  bool inField = false;
  while (p < end) {
    const uint8_t* eol = static_cast<const uint8_t*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    if (!eol) eol = end;
    const bool continuation = *p == ' ' || *p == '\t';
    if (!continuation) {
      inField = StartsContentField(p, eol);
      current = 0;
    }
    if (inField) {
      current += static_cast<size_t>(std::count(p, eol, ';'));
      most = std::max(most, current);
    }
    p = eol + 1;
  }
  return most;
}

}  // namespace mime::detail

// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/emlx.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace mailstore::detail {
namespace {

constexpr size_t kMaxPlistBytes = 256 * 1024;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view SkipSpace(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  return s;
}

bool LooksLikePlist(std::string_view tail) {
  tail = SkipSpace(tail);
  return tail.substr(0, 5) == "<?xml" || tail.substr(0, 9) == "<!DOCTYPE" || tail.substr(0, 6) == "<plist";
}

// The integer under <key>flags</key>, if there is one.
bool FindFlags(std::string_view plist, uint64_t& flags) {
  const size_t key = plist.find("<key>flags</key>");
  if (key == std::string_view::npos) return false;
  std::string_view rest = SkipSpace(plist.substr(key + 16));
  if (rest.substr(0, 9) != "<integer>") return false;
  rest = SkipSpace(rest.substr(9));
  uint64_t n = 0;
  size_t digits = 0;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9' && digits < 19) {
    n = n * 10 + static_cast<uint64_t>(rest[digits] - '0');
    ++digits;
  }
  if (digits == 0) return false;
  flags = n;
  return true;
}

}  // namespace

std::optional<EmlxLayout> ReadEmlx(const ReadFile& file, bool need_plist) {
  const std::string head = file.Head(64);
  size_t i = 0;
  while (i < head.size() && (head[i] == ' ' || head[i] == '\t')) ++i;
  uint64_t count = 0;
  size_t digits = 0;
  while (i < head.size() && head[i] >= '0' && head[i] <= '9') {
    if (++digits > 15) return std::nullopt;
    count = count * 10 + static_cast<uint64_t>(head[i++] - '0');
  }
  if (digits == 0) return std::nullopt;
  while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r')) ++i;
  if (i >= head.size() || head[i] != '\n') return std::nullopt;
  EmlxLayout layout;
  layout.offset = i + 1;
  const uint64_t available = file.size() > layout.offset ? file.size() - layout.offset : 0;
  layout.length = count < available ? count : available;
  const uint64_t plist_at = layout.offset + layout.length;
  if (count >= available) return need_plist ? std::nullopt : std::optional<EmlxLayout>(layout);
  std::string plist(static_cast<size_t>(std::min<uint64_t>(file.size() - plist_at, kMaxPlistBytes)), '\0');
  const ssize_t got = file.ReadAt(plist.data(), plist.size(), plist_at);
  plist.resize(got < 0 ? 0 : static_cast<size_t>(got));
  if (need_plist && !LooksLikePlist(plist)) return std::nullopt;
  layout.has_flags = FindFlags(plist, layout.flags);
  return layout;
}

EmlxState StateOfEmlxFlags(uint64_t flags) {
  EmlxState s;
  s.state.read = (flags & (1u << 0)) != 0;
  s.deleted = (flags & (1u << 1)) != 0;
  s.state.answered = (flags & (1u << 2)) != 0;
  s.state.flagged = (flags & (1u << 4)) != 0;
  s.state.draft = (flags & (1u << 6)) != 0;
  s.state.forwarded = (flags & (1u << 8)) != 0;
  if (s.state.draft) s.state.read = false;
  return s;
}

}  // namespace mailstore::detail

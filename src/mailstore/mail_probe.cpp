// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/mail_probe.h"

#include <array>
#include <string>
#include <vector>

#include "mailstore/file_io.h"

namespace mailstore::detail {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

bool SameNoCase(std::string_view a, std::string_view b) { return a.size() == b.size() && EndsWithNoCase(a, b); }

bool OneOf(std::string_view word, const std::array<std::string_view, 12>& names, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (SameNoCase(word, names[i])) return true;
  }
  return false;
}

bool IsWeekday(std::string_view w) {
  static constexpr std::array<std::string_view, 12> kDays = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  return OneOf(w, kDays, 7);
}

bool IsMonth(std::string_view w) {
  static constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return OneOf(w, kMonths, 12);
}

bool IsDay(std::string_view w) { return w.size() <= 2 && AllDigits(w); }

// hh:mm or hh:mm:ss (one-digit hours too).
bool IsTime(std::string_view w) {
  size_t i = 0;
  int groups = 0;
  while (i < w.size()) {
    size_t digits = 0;
    while (i < w.size() && IsDigit(w[i])) ++i, ++digits;
    if (digits == 0 || digits > 2) return false;
    ++groups;
    if (i == w.size()) break;
    if (w[i] != ':') return false;
    ++i;
    if (i == w.size()) return false;
  }
  return groups == 2 || groups == 3;
}

bool IsYear(std::string_view w) { return w.size() == 4 && AllDigits(w); }

bool IsZone(std::string_view w) {
  if (w.size() == 5 && (w[0] == '+' || w[0] == '-') && AllDigits(w.substr(1))) return true;
  if (w.empty() || w.size() > 5) return false;
  for (char c : w) {
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  }
  return true;
}

std::vector<std::string_view> Words(std::string_view s) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < s.size() && words.size() < 16) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    const size_t start = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
    if (i > start) words.push_back(s.substr(start, i - start));
  }
  return words;
}

bool IsHeaderNameChar(char c) { return c > ' ' && c < 127 && c != ':'; }

}  // namespace

std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::string_view FirstLine(std::string_view bytes) {
  const size_t nl = bytes.find('\n');
  return nl == std::string_view::npos ? bytes : bytes.substr(0, nl + 1);
}

bool IsBlankLine(std::string_view line) { return WithoutLineEnd(line).empty(); }

bool StartsWithFrom(std::string_view line) { return line.substr(0, 5) == "From "; }

bool IsSeparatorLine(std::string_view line) {
  if (!StartsWithFrom(line)) return false;
  const std::vector<std::string_view> w = Words(WithoutLineEnd(line).substr(5));
  // The sender is one word before the date, but may be missing or hold a
  // space: look for the date wherever it starts.
  for (size_t i = 0; i + 3 < w.size(); ++i) {
    if (!IsWeekday(w[i]) || !IsMonth(w[i + 1]) || !IsDay(w[i + 2]) || !IsTime(w[i + 3])) continue;
    if (i + 4 < w.size() && IsYear(w[i + 4])) return true;
    if (i + 5 < w.size() && IsZone(w[i + 4]) && IsYear(w[i + 5])) return true;
  }
  // Some writers put an RFC 5322 date there: "[Www,] dd Mmm yyyy hh:mm[:ss] [zone]".
  for (size_t i = 0; i + 3 < w.size(); ++i) {
    if (IsDay(w[i]) && IsMonth(w[i + 1]) && IsYear(w[i + 2]) && IsTime(w[i + 3])) return true;
  }
  return false;
}

bool StartsLikeMessage(std::string_view head) {
  static constexpr std::array<std::string_view, 24> kNames = {
      "Return-Path", "Received",     "From",           "Date",        "Message-ID",   "Delivered-To",
      "MIME-Version", "Subject",     "To",             "Cc",          "Bcc",          "Reply-To",
      "Sender",      "In-Reply-To",  "References",     "Content-Type", "Envelope-To", "DKIM-Signature",
      "ARC-Seal",    "Authentication-Results", "Received-SPF", "Thread-Topic", "Newsgroups", "Path"};
  size_t i = 0;
  while (i < head.size() && IsHeaderNameChar(head[i])) ++i;
  if (i == 0 || i >= head.size() || head[i] != ':') return false;
  const std::string_view name = head.substr(0, i);
  if (name.size() > 2 && SameNoCase(name.substr(0, 2), "X-")) return true;
  for (std::string_view known : kNames) {
    if (SameNoCase(name, known)) return true;
  }
  return false;
}

bool IsAppleDouble(std::string_view head) { return head.substr(0, 4) == std::string_view("\x00\x05\x16\x07", 4); }

}  // namespace mailstore::detail

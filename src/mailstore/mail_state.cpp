// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/mail_state.h"

#include "mailstore/encoded_words.h"
#include "mailstore/file_io.h"
#include "mailstore/gmail_labels.h"
#include "mailstore/mail_probe.h"

namespace mailstore::detail {
namespace {

constexpr size_t kMaxFieldBytes = 64 * 1024;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
  return s;
}

bool SameNoCase(std::string_view a, std::string_view b) { return a.size() == b.size() && EndsWithNoCase(a, b); }

bool Wanted(std::string_view name) {
  return SameNoCase(name, "Status") || SameNoCase(name, "X-Status") || SameNoCase(name, "X-Mozilla-Status") ||
         SameNoCase(name, "X-Unsent") || SameNoCase(name, "X-Gmail-Labels") || SameNoCase(name, "Content-Length");
}

}  // namespace

void ApplyStatus(std::string_view value, bool& read) { read = value.find('R') != std::string_view::npos; }

void ApplyXStatus(std::string_view value, HeaderFacts& facts) {
  for (char c : value) {
    if (c == 'A') facts.answered = true;
    if (c == 'F') facts.flagged = true;
    if (c == 'T') facts.draft = true;
    if (c == 'D') facts.expunged = true;
  }
}

bool ApplyMozillaStatus(std::string_view value, HeaderFacts& facts, bool& read) {
  value = Trim(value);
  if (value.empty() || value.size() > 8) return false;
  uint32_t flags = 0;
  for (char c : value) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    if (v < 0) return false;
    flags = (flags << 4) | static_cast<uint32_t>(v);
  }
  read = (flags & 0x0001) != 0;
  if ((flags & 0x0002) != 0) facts.answered = true;
  if ((flags & 0x0004) != 0) facts.flagged = true;
  if ((flags & 0x0008) != 0) facts.expunged = true;
  if ((flags & 0x1000) != 0) facts.forwarded = true;
  return true;
}

void HeaderParser::Line(std::string_view line) {
  if (ended_ || seen_ >= kMaxHeaderBytes) return;
  seen_ += line.size();
  if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
    if (keeping_ && value_.size() < kMaxFieldBytes) {
      const std::string_view more = WithoutLineEnd(line);
      value_.append(more.substr(0, kMaxFieldBytes - value_.size()));
    }
    return;
  }
  if (keeping_) Take(name_, value_);
  keeping_ = false;
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  const std::string_view name = Trim(line.substr(0, colon));
  if (!Wanted(name)) return;
  keeping_ = true;
  name_ = std::string(name);
  const std::string_view value = WithoutLineEnd(line.substr(colon + 1));
  value_ = std::string(value.substr(0, kMaxFieldBytes));
}

void HeaderParser::End() {
  if (ended_) return;
  if (keeping_) Take(name_, value_);
  keeping_ = false;
  ended_ = true;
  if (mozilla_read_ >= 0) {
    facts_.status_seen = true;
    facts_.read = mozilla_read_ == 1;
  } else if (status_read_ >= 0) {
    facts_.status_seen = true;
    facts_.read = status_read_ == 1;
  }
}

void HeaderParser::Take(std::string_view name, std::string_view raw) {
  const std::string_view value = Trim(raw);
  if (SameNoCase(name, "Status")) {
    bool read = false;
    ApplyStatus(value, read);
    status_read_ = read ? 1 : 0;
  } else if (SameNoCase(name, "X-Status")) {
    ApplyXStatus(value, facts_);
  } else if (SameNoCase(name, "X-Mozilla-Status")) {
    bool read = false;
    if (ApplyMozillaStatus(value, facts_, read)) mozilla_read_ = read ? 1 : 0;
  } else if (SameNoCase(name, "X-Unsent")) {
    if (value == "1") facts_.draft = true;
  } else if (SameNoCase(name, "X-Gmail-Labels")) {
    facts_.has_labels = true;
    for (std::string& label : SplitGmailLabels(DecodeEncodedWords(value))) facts_.labels.push_back(std::move(label));
  } else if (SameNoCase(name, "Content-Length")) {
    uint64_t n = 0;
    bool ok = !value.empty() && value.size() <= 18;
    for (char c : value) {
      if (c < '0' || c > '9') ok = false;
      n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    if (ok && !facts_.has_content_length) {
      facts_.has_content_length = true;
      facts_.content_length = n;
    }
  }
}

}  // namespace mailstore::detail

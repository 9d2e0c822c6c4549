// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/maildir_flags.h"

#include <algorithm>

namespace mailstore::detail {

namespace {

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x | 0x20) == (y | 0x20);  // ASCII letters only: keywords are atoms
         });
}

// An IMAP keyword as a state: those mail clients set for a message's state
// are that state, the ones for spam filters and submission say nothing a
// reader would want as a category, and every other one is a category.
void ApplyKeyword(const std::string& keyword, model::MessageState& state) {
  if (SameLetters(keyword, "$Forwarded") || SameLetters(keyword, "Forwarded")) {
    state.forwarded = true;
    return;
  }
  for (std::string_view quiet : {"$MDNSent", "$Junk", "$NotJunk", "Junk", "NonJunk", "NotJunk", "$Phishing",
                                 "$SubmitPending", "$Submitted"})
    if (SameLetters(keyword, quiet)) return;
  auto& categories = state.categories;
  if (std::find(categories.begin(), categories.end(), keyword) == categories.end()) categories.push_back(keyword);
}

}  // namespace

MaildirFlags ParseMaildirName(std::string_view name, const std::vector<std::string>& keywords) {
  MaildirFlags flags;
  flags.state.read = false;
  size_t info = std::string_view::npos;
  for (size_t i = name.size(); i >= 3; --i) {
    const char mark = name[i - 3];
    if ((mark == ':' || mark == '!' || mark == ';') && name[i - 2] == '2' && name[i - 1] == ',') {
      info = i;
      break;
    }
  }
  if (info == std::string_view::npos) return flags;
  for (char c : name.substr(info)) {
    switch (c) {
      case 'S': flags.state.read = true; break;
      case 'R': flags.state.answered = true; break;
      case 'P': flags.state.forwarded = true; break;
      case 'F': flags.state.flagged = true; break;
      case 'D': flags.state.draft = true; break;
      case 'T': flags.trashed = true; break;
      default:
        if (c >= 'a' && c <= 'z') {
          const size_t n = static_cast<size_t>(c - 'a');
          if (n < keywords.size() && !keywords[n].empty()) ApplyKeyword(keywords[n], flags.state);
        }
        break;
    }
  }
  if (flags.state.draft) flags.state.read = false;
  return flags;
}

std::vector<std::string> ParseDovecotKeywords(std::string_view text) {
  std::vector<std::string> keywords(26);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t i = 0;
    size_t n = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9' && i < 3) n = n * 10 + static_cast<size_t>(line[i++] - '0');
    if (i == 0 || i >= line.size() || line[i] != ' ' || n >= keywords.size()) continue;
    keywords[n] = std::string(line.substr(i + 1));
  }
  return keywords;
}

bool IsServerFile(std::string_view name) {
  return name.substr(0, 7) == "dovecot" || name.substr(0, 11) == "courierimap" || name == "maildirfolder" ||
         name == "subscriptions";
}

}  // namespace mailstore::detail

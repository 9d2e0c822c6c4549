// SPDX-License-Identifier: GPL-3.0-or-later
// A Maildir message's state, from its file name's info part (":2,FLAGS";
// "!2," and ";2," as tools on systems that forbid ':' write it) and the
// folder's dovecot-keywords file for its lowercase keyword letters.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/message_state.h"

namespace mailstore::detail {

struct MaildirFlags {
  model::MessageState state;
  bool trashed = false;  // T: deleted, still on disk
};

// `keywords[n]` is the keyword of letter 'a' + n ("" if none).
MaildirFlags ParseMaildirName(std::string_view name, const std::vector<std::string>& keywords);

// The "N name" lines of a dovecot-keywords file's text.
std::vector<std::string> ParseDovecotKeywords(std::string_view text);

// Files of the mail server, never messages: dovecot*, courierimap*,
// maildirfolder, subscriptions.
bool IsServerFile(std::string_view name);

}  // namespace mailstore::detail

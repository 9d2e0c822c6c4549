// SPDX-License-Identifier: GPL-3.0-or-later
// Google Takeout's X-Gmail-Labels: which folder a message goes to and what
// its labels say of it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "model/message_state.h"

namespace mailstore::detail {

// "Inbox,Important,\"Work, old\",Work/Projects" → its labels, unquoted, in order.
std::vector<std::string> SplitGmailLabels(std::string_view value);

struct TakeoutPlace {
  std::vector<std::string> folder;  // from the top of the store; empty: no label is a folder
  model::MessageState state;
};

// How deep a label nests folders ("A/B/C" is three): deeper levels stay in
// the deepest folder's name, slashes and all.
inline constexpr size_t kMaxLabelDepth = 32;

// The message goes once, to the folder of its first label that is one
// (Inbox, Sent, Drafts, Spam, Trash or the user's own, "/" nesting);
// Important, Starred, Unread, Opened, Archived, Chat and "Category ..." are
// not folders. Read unless Unread, flagged if Starred, a draft if Drafts;
// the other labels are its categories.
TakeoutPlace PlaceByLabels(const std::vector<std::string>& labels);

}  // namespace mailstore::detail

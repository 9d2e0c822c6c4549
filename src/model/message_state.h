// SPDX-License-Identifier: GPL-3.0-or-later
// What the mail store a message came from says about it besides its bytes:
// whether it was read, flagged, answered, forwarded, or is a draft, and the
// labels it carries. A message file alone says nothing of this; the window
// stores every message read.
#pragma once

#include <string>
#include <vector>

namespace model {

struct MessageState {
  bool read = true;
  bool flagged = false;    // marked for follow-up
  bool answered = false;   // replied to
  bool forwarded = false;
  bool draft = false;      // not sent: stored unsent, and not read
  std::vector<std::string> categories;  // UTF-8 labels, in the source's order, without repeats

  bool operator==(const MessageState&) const = default;
};

}  // namespace model

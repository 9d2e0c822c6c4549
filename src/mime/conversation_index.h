// SPDX-License-Identifier: GPL-3.0-or-later
// PidTagConversationIndex ([MS-OXOMSG] 2.2.1.3) for imported mail, which is
// what conversation view builds its reply tree from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mime::detail {

struct ThreadFields {
  std::string threadIndex;  // the Thread-Index field (base64), "" when absent
  std::string messageId;    // the message's own id, angle brackets included
  std::string inReplyTo;    // the parent's id
  std::string references;   // the References field as it came
  int64_t sent = 0;         // FILETIME of the Date field, 0 when unknown
  std::string fallbackKey;  // what names the message when it has no id
};

// Outlook's own index when the mail carries one (Thread-Index), else one
// built from the date: a 22-byte header (0x01, the five high bytes of the
// FILETIME, a GUID) and one 5-byte response level per ancestor. The GUID is
// derived from the thread's root message id, so that a reply and the
// message it answers share it.
std::vector<uint8_t> ConversationIndexFor(const ThreadFields& fields);

}  // namespace mime::detail

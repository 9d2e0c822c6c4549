// SPDX-License-Identifier: GPL-3.0-or-later
// Writes one message object ([MS-PST] 2.4.5 and 2.4.6): its PC, the
// recipient table (subnode 0x692), the attachment table (0x671) and one
// attachment PC subnode per attachment, with embedded messages as PtypObject
// subnodes of their attachment, nested to any depth.
#pragma once

#include <cstdint>
#include <functional>

#include "pst/ltp/table_context.h"
#include "pst/message.h"
#include "pst/messaging/name_map.h"
#include "pst/ndb/node_store.h"

namespace pst::messaging {

struct WrittenMessage {
  Bid data = 0;      // the message PC
  Bid subnodes = 0;  // its subnode tree
  uint32_t size = 0;  // PidTagMessageSize as stored
  ltp::RowValues row;  // the properties a contents-table row copies
};

struct MessageDefaults {
  int64_t now = 0;      // FILETIME for the creation/modification times when missing
  // A new PidTagSearchKey (16 bytes) for each message that lacks one, every
  // embedded message included: no two messages share a key.
  std::function<Bytes()> newSearchKey;
};

WrittenMessage WriteMessage(NodeStore& store, NameToIdMap& names, const Message& message,
                            const MessageDefaults& defaults);

// The form [MS-PST] gives a subject with a prefix: U+0001, then a character
// whose value is the prefix length + 1, then the whole subject.
std::string EncodeSubject(const std::string& subject, const std::string& prefix);

}  // namespace pst::messaging

// SPDX-License-Identifier: GPL-3.0-or-later
// A whole TNEF stream (winmail.dat) to a message object: the message's own
// properties (legacy attributes, then attMsgProps over them), its recipient
// rows (attRecipTable) and its attachments, each from its legacy attributes
// with its attAttachment properties over them; an attachment holding an
// embedded message (PidTagAttachMethod 5, an IID_IMessage object) is a
// TNEF stream of its own and becomes Attachment::embedded.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "model/message.h"

namespace mime::detail {

struct TnefDecodeLimits {
  int depthLeft = 16;  // embedded messages below this one; deeper ones stay TNEF files
  int64_t now = 0;     // FILETIME for the creation and modification times of embedded messages
};

// Fills `out` (expected empty) from `stream`. Returns false and says why
// when the stream or any property list in it (embedded messages included)
// cannot be read; `out` is then to be thrown away. What was read but left
// out goes into `notes`. Work and memory are linear in the stream's size.
bool DecodeTnef(std::span<const uint8_t> stream, const TnefDecodeLimits& limits, model::Message& out,
                std::vector<std::string>& notes, std::string& why);

}  // namespace mime::detail

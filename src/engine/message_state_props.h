// SPDX-License-Identifier: GPL-3.0-or-later
// A message's state from its mail store as the properties Outlook keeps it
// in: read or not, unsent draft, follow-up flag, last verb (replied,
// forwarded) and categories.
#pragma once

#include "mapi/rdo_mail.h"
#include "model/message_state.h"

namespace verdaline {

// Sets the state on the item before it is saved; hasAttachments decides
// the message flags' attachment bit as for any message.
void ApplyMessageState(mapi::MapiObject& item, const model::MessageState& state, bool hasAttachments);

}  // namespace verdaline

// SPDX-License-Identifier: GPL-3.0-or-later
// A message's state from its mail store as the properties Outlook keeps it
// in: read or not, unsent draft, follow-up flag, last verb (replied,
// forwarded) and categories.
#pragma once

#include "mapi/rdo_mail.h"
#include "model/message_state.h"

namespace verdaline {

// Sets the state on the item before it is saved, joined with what the
// imported message says of itself: a draft by its own header stays one,
// and its own categories are kept beside the store's. Its attachments
// decide the message flags' attachment bit as for any message.
// Whether the imported message is a draft by its own header (X-Unsent).
bool SaysUnsent(const pst::Message& imported);

void ApplyMessageState(mapi::MapiObject& item, const model::MessageState& state, const pst::Message& imported);

}  // namespace verdaline

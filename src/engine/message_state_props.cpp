// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/message_state_props.h"

#include <string>
#include <vector>

#include "pst/prop_tags.h"

namespace verdaline {

namespace tags = pst::tags;

void ApplyMessageState(mapi::MapiObject& item, const model::MessageState& state, bool hasAttachments) {
  // A draft is a message not yet sent: Outlook opens it for editing. It has
  // not been read by anybody.
  int32_t flags = state.draft ? tags::kMsgFlagUnsent : (state.read ? tags::kMsgFlagRead : 0);
  if (hasAttachments) flags |= tags::kMsgFlagHasAttach;
  item.SetProp(tags::kMessageFlags, flags);
  if (state.flagged) {
    // What Outlook itself writes for a plain "Follow up" flag.
    item.SetProp(tags::kFlagStatus, tags::kFollowupFlagged);
    item.SetProp(tags::kFollowupIcon, tags::kFollowupIconRed);
    item.SetProp(tags::kToDoItemFlags, tags::kToDoItemFlagged);
    item.SetNamedProp({tags::kPsetidCommon, tags::kLidFlagRequest, {}}, pst::PropType::Unicode,
                      std::string("Follow up"));
  }
  // A source that says both cannot say which came last: the reply is shown.
  if (state.answered) {
    item.SetProp(tags::kLastVerbExecuted, tags::kVerbReplyToSender);
    item.SetProp(tags::kIconIndex, tags::kIconMailReplied);
  } else if (state.forwarded) {
    item.SetProp(tags::kLastVerbExecuted, tags::kVerbForward);
    item.SetProp(tags::kIconIndex, tags::kIconMailForwarded);
  }
  if (!state.categories.empty())
    item.SetNamedProp({tags::kPsPublicStrings, std::nullopt, "Keywords"}, pst::PropType::MvUnicode,
                      std::vector<std::string>(state.categories));
}

}  // namespace verdaline

// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/message_state_props.h"

#include <algorithm>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "pst/prop_tags.h"

namespace verdaline {

namespace tags = pst::tags;

namespace {

const pst::NamedProp kKeywords{tags::kPsPublicStrings, std::nullopt, "Keywords"};

bool SameCategory(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return (x >= 'A' && x <= 'Z' ? x - 'A' + 'a' : x) == (y >= 'A' && y <= 'Z' ? y - 'A' + 'a' : y);
  });
}

// The store's labels, then the message's own Keywords that are not among them.
std::vector<std::string> JoinedCategories(const model::MessageState& state, const pst::Message& imported) {
  std::vector<std::string> all = state.categories;
  const pst::PropValue* own = imported.props.FindNamed(kKeywords);
  const auto* list = own ? std::get_if<std::vector<std::string>>(&own->data) : nullptr;
  for (const std::string& c : list ? *list : std::vector<std::string>{})
    if (std::none_of(all.begin(), all.end(), [&](const std::string& a) { return SameCategory(a, c); }))
      all.push_back(c);
  return all;
}

}  // namespace

bool SaysUnsent(const pst::Message& imported) {
  return (imported.props.GetInt(pst::TagId(tags::kMessageFlags)).value_or(0) & tags::kMsgFlagUnsent) != 0;
}

void ApplyMessageState(mapi::MapiObject& item, const model::MessageState& state, const pst::Message& imported) {
  // A draft is a message not yet sent: Outlook opens it for editing. It has
  // not been read by anybody. The message may say so itself (X-Unsent).
  const bool draft = state.draft || SaysUnsent(imported);
  int32_t flags = draft ? tags::kMsgFlagUnsent : (state.read ? tags::kMsgFlagRead : 0);
  if (!imported.attachments.empty()) flags |= tags::kMsgFlagHasAttach;
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
  if (std::vector<std::string> categories = JoinedCategories(state, imported); !categories.empty())
    item.SetNamedProp(kKeywords, pst::PropType::MvUnicode, std::move(categories));
}

}  // namespace verdaline

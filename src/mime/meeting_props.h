// SPDX-License-Identifier: GPL-3.0-or-later
// A meeting message from its iCalendar event ([MS-OXCICAL], [MS-OXOCAL]):
// the message class, the times, place, attendees and the global object id
// that ties the request, its updates, its cancellation and the replies to
// one meeting.
#pragma once

#include <cstdint>
#include <string_view>

#include "mime/icalendar.h"
#include "mime/message_mapping.h"
#include "model/message.h"

namespace mime::detail {

// PidLidGlobalObjectId ([MS-OXOCAL] 2.2.1.27) for an event's UID: the bytes
// the UID spells when it is a hex-encoded global object id (Outlook's UIDs),
// else the "vCal-Uid" form that wraps any other UID ([MS-OXCICAL]
// 2.1.3.1.1.20.26). `instance` (year, month, day) marks one occurrence of a
// series; all zero for the whole meeting, which is the clean id.
model::Bytes GlobalObjectId(std::string_view uid, int year = 0, int month = 0, int day = 0);

// Maps `calendar` (its METHOD, else `method`) onto the message; false, with
// the message left as it was, when it is no request, cancellation or reply
// or lacks what Outlook needs (a VEVENT with a start).
bool MapMeeting(const ical::Component& calendar, std::string_view method, model::Message& out,
                const ImportContext& ctx);

}  // namespace mime::detail

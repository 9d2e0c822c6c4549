// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/meeting_props.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "mime/gmime_session.h"
#include "mime/limits.h"
#include "mime/text_util.h"
#include "model/coding.h"
#include "model/prop_tags.h"

namespace mime::detail {
namespace {

namespace tags = model::tags;
using model::PropType;

// Named properties of appointments and meeting messages ([MS-OXPROPS]).
constexpr uint32_t kLidAppointmentSequence = 0x8201;
constexpr uint32_t kLidBusyStatus = 0x8205;
constexpr uint32_t kLidLocation = 0x8208;
constexpr uint32_t kLidAppointmentStartWhole = 0x820D;
constexpr uint32_t kLidAppointmentEndWhole = 0x820E;
constexpr uint32_t kLidAppointmentDuration = 0x8213;
constexpr uint32_t kLidAppointmentSubType = 0x8215;
constexpr uint32_t kLidAppointmentStateFlags = 0x8217;
constexpr uint32_t kLidResponseStatus = 0x8218;
constexpr uint32_t kLidRecurring = 0x8223;
constexpr uint32_t kLidIntendedBusyStatus = 0x8224;
constexpr uint32_t kLidToAttendeesString = 0x823B;
constexpr uint32_t kLidCcAttendeesString = 0x823C;
constexpr uint32_t kLidAttendeeCriticalChange = 0x0001;  // PSETID_Meeting from here
constexpr uint32_t kLidGlobalObjectId = 0x0003;
constexpr uint32_t kLidIsRecurring = 0x0005;
constexpr uint32_t kLidOwnerCriticalChange = 0x001A;
constexpr uint32_t kLidCleanGlobalObjectId = 0x0023;
constexpr uint32_t kLidAppointmentMessageClass = 0x0024;
constexpr uint32_t kLidMeetingType = 0x0026;
constexpr uint32_t kLidCommonStart = 0x8516;  // PSETID_Common
constexpr uint32_t kLidCommonEnd = 0x8517;

constexpr uint32_t kTagStartDate = model::MakeTag(0x0060, PropType::Time);
constexpr uint32_t kTagEndDate = model::MakeTag(0x0061, PropType::Time);
constexpr uint32_t kTagResponseRequested = model::MakeTag(0x0063, PropType::Boolean);

// [MS-OXOCAL] values
constexpr int32_t kBusyFree = 0, kBusyTentative = 1, kBusyBusy = 2;
constexpr int32_t kAsfMeeting = 0x1, kAsfReceived = 0x2, kAsfCanceled = 0x4;
constexpr int32_t kRespNotResponded = 5;
constexpr int32_t kMtgRequest = 0x1, kMtgFull = 0x10000;

constexpr uint8_t kGlobalIdPrefix[16] = {0x04, 0x00, 0x00, 0x00, 0x82, 0x00, 0xE0, 0x00,
                                         0x74, 0xC5, 0xB7, 0x10, 0x1A, 0x82, 0xE0, 0x08};
constexpr size_t kGlobalIdHeader = 40;  // prefix, instance date, creation time, padding, size

// Calendar parts looked at, at most, in one message's MIME tree.
constexpr int kMaxPartsVisited = 2000;
constexpr int kMaxMimeDepth = 32;

void SetNamed(model::Message& out, const model::Guid& set, uint32_t lid, PropType type, model::PropData data) {
  out.props.SetNamed(model::NamedProp{set, lid, {}}, type, std::move(data));
}

std::optional<model::Bytes> HexBytes(std::string_view hex) {
  if (hex.size() % 2 != 0 || hex.size() > 2 * 4096) return std::nullopt;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  model::Bytes out;
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<uint8_t>(hi << 4 | lo));
  }
  return out;
}

// The UID as a global object id when it spells one in hex: the fixed prefix
// and a data size that matches what follows the header.
std::optional<model::Bytes> EncodedGlobalId(std::string_view uid) {
  auto bytes = HexBytes(uid);
  if (!bytes || bytes->size() < kGlobalIdHeader ||
      !std::equal(std::begin(kGlobalIdPrefix), std::end(kGlobalIdPrefix), bytes->begin()))
    return std::nullopt;
  if (model::GetU32(*bytes, 36) != bytes->size() - kGlobalIdHeader) return std::nullopt;
  return bytes;
}

int64_t FileTime(int64_t unixSeconds) { return model::FileTimeFromUnix(unixSeconds); }

int32_t ClampedInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

struct Attendee {
  Mailbox box;
  std::string role;      // REQ-PARTICIPANT, OPT-PARTICIPANT, CHAIR, NON-PARTICIPANT
  std::string partstat;  // ACCEPTED, DECLINED, TENTATIVE, NEEDS-ACTION, ...
  std::string cutype;    // INDIVIDUAL, ROOM, RESOURCE, ...
};

Mailbox MailboxOf(const ical::Property& p) {
  std::string name = ValidUtf8(Trimmed(p.Param("CN")));
  std::string address = ValidUtf8(ical::AddressOf(p.value));
  if (address.find('@') == std::string::npos) {
    // "mailto:" may be missing or name something else; EMAIL= says it plainly.
    const std::string email = ValidUtf8(Trimmed(p.Param("EMAIL")));
    if (!email.empty()) address = email;
  }
  return Mailbox{std::move(name), std::move(address)};
}

std::vector<Attendee> AttendeesOf(const ical::Component& event) {
  std::vector<Attendee> out;
  for (const ical::Property& p : event.props) {
    if (p.name != "ATTENDEE") continue;
    out.push_back(Attendee{MailboxOf(p), AsciiUpper(p.Param("ROLE")), AsciiUpper(p.Param("PARTSTAT")),
                           AsciiUpper(p.Param("CUTYPE"))});
  }
  return out;
}

// The attendee a reply speaks for: the one whose address sent the message,
// else the only or first one.
const Attendee* Replier(const std::vector<Attendee>& attendees, const model::Message& out) {
  const std::string from = AsciiLower(out.props.GetString(model::TagId(tags::kSentRepresentingEmailAddress)).value_or(""));
  for (const Attendee& a : attendees)
    if (!from.empty() && AsciiLower(a.box.address) == from) return &a;
  return attendees.empty() ? nullptr : &attendees.front();
}

int32_t IntendedBusyStatus(const ical::Component& event) {
  if (const ical::Property* p = event.Find("X-MICROSOFT-CDO-INTENDEDSTATUS")) {
    const std::string v = AsciiUpper(Trimmed(p->value));
    if (v == "FREE") return kBusyFree;
    if (v == "TENTATIVE") return kBusyTentative;
    if (v == "OOF") return 3;
    if (v == "WORKINGELSEWHERE") return 4;
    if (v == "BUSY") return kBusyBusy;
  }
  const ical::Property* transp = event.Find("TRANSP");
  return transp && EqualsIgnoreCase(Trimmed(transp->value), "TRANSPARENT") ? kBusyFree : kBusyBusy;
}

// The first text/calendar (or application/ics) leaf outside embedded
// messages, one that names its method first: Google and Outlook send the
// same event both as a body alternative and as invite.ics.
void FindCalendarParts(GMimeObject* object, int depth, int& visited, std::vector<GMimeObject*>& found) {
  if (!object || depth > kMaxMimeDepth || ++visited > kMaxPartsVisited || found.size() >= 8) return;
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    const int count = g_mime_multipart_get_count(multipart);
    for (int i = 0; i < count; ++i) FindCalendarParts(g_mime_multipart_get_part(multipart, i), depth + 1, visited, found);
    return;
  }
  if (!GMIME_IS_PART(object)) return;
  const std::string type = MimeTypeOf(object);
  if (type == "text/calendar" || type == "application/ics" || type == "text/x-vcalendar") found.push_back(object);
}

std::string MethodParam(GMimeObject* object) {
  GMimeContentType* type = g_mime_object_get_content_type(object);  // transfer none
  const char* method = type ? g_mime_content_type_get_parameter(type, "method") : nullptr;
  return method ? AsciiUpper(Trimmed(method)) : std::string();
}

}  // namespace

model::Bytes GlobalObjectId(std::string_view uid, int year, int month, int day) {
  model::Bytes out;
  if (auto encoded = EncodedGlobalId(uid)) {
    out = std::move(*encoded);
  } else {
    out.assign(std::begin(kGlobalIdPrefix), std::end(kGlobalIdPrefix));
    out.resize(kGlobalIdHeader - 4, 0);  // instance date, creation time and padding: zero
    static constexpr std::string_view kThirdParty = "vCal-Uid";
    model::Bytes data(kThirdParty.begin(), kThirdParty.end());
    model::PutU32(data, 1);  // version
    data.insert(data.end(), uid.begin(), uid.end());
    data.push_back(0);
    model::PutU32(out, static_cast<uint32_t>(data.size()));
    model::PutBytes(out, data);
  }
  // The instance date: its year big-endian, then month and day.
  out[16] = static_cast<uint8_t>((year >> 8) & 0xFF);
  out[17] = static_cast<uint8_t>(year & 0xFF);
  out[18] = static_cast<uint8_t>(month);
  out[19] = static_cast<uint8_t>(day);
  return out;
}

bool MapMeeting(const ical::Component& calendar, std::string_view methodParam, model::Message& out,
                const ImportContext& ctx) {
  const ical::Property* methodProp = calendar.Find("METHOD");
  const std::string method = AsciiUpper(Trimmed(methodProp ? methodProp->value : methodParam));
  if (method != "REQUEST" && method != "CANCEL" && method != "REPLY") return false;
  const ical::Component* event = calendar.Child("VEVENT");
  if (!event) {
    ctx.Warn("the meeting's calendar holds no event; the message stays a plain message with the calendar attached");
    return false;
  }
  const std::vector<Attendee> attendees = AttendeesOf(*event);
  std::string messageClass;
  if (method == "REQUEST") {
    messageClass = "IPM.Schedule.Meeting.Request";
  } else if (method == "CANCEL") {
    messageClass = "IPM.Schedule.Meeting.Canceled";
  } else {
    const Attendee* replier = Replier(attendees, out);
    const std::string status = replier ? replier->partstat : "";
    if (status == "ACCEPTED") messageClass = "IPM.Schedule.Meeting.Resp.Pos";
    else if (status == "DECLINED") messageClass = "IPM.Schedule.Meeting.Resp.Neg";
    else if (status == "TENTATIVE") messageClass = "IPM.Schedule.Meeting.Resp.Tent";
    else {
      ctx.Warn("the meeting reply gives no answer Outlook shows (PARTSTAT \"" + status +
               "\"); the message stays a plain message with the calendar attached");
      return false;
    }
  }

  const ical::Property* dtstart = event->Find("DTSTART");
  const auto start = dtstart ? ical::ResolveTime(*dtstart, calendar) : std::nullopt;
  if (!start) {
    ctx.Warn("the meeting's event has no start time that can be read; the message stays a plain message with "
             "the calendar attached");
    return false;
  }
  std::vector<std::string> unknownZones;
  if (!start->zoneFound) unknownZones.push_back(dtstart->Param("TZID"));
  int64_t end = start->unixSeconds + (start->isDate ? 86400 : 0);
  if (const ical::Property* dtend = event->Find("DTEND")) {
    if (const auto e = ical::ResolveTime(*dtend, calendar)) {
      end = e->unixSeconds;
      if (!e->zoneFound) unknownZones.push_back(dtend->Param("TZID"));
    }
  } else if (const ical::Property* duration = event->Find("DURATION")) {
    if (const auto d = ical::ParseDuration(Trimmed(duration->value))) end = start->unixSeconds + *d;
  }
  if (end < start->unixSeconds) {
    ctx.Warn("the meeting ends before it starts; its end was set to its start");
    end = start->unixSeconds;
  }
  for (const std::string& zone : unknownZones)
    ctx.Warn("the meeting's time zone \"" + ValidUtf8(zone) +
             "\" is not defined in its calendar; its times were taken as UTC");

  out.props.Set(tags::kMessageClass, messageClass);
  const auto& appt = tags::kPsetidAppointment;
  const auto& meeting = tags::kPsetidMeeting;
  const int64_t startTime = FileTime(start->unixSeconds), endTime = FileTime(end);
  SetNamed(out, appt, kLidAppointmentStartWhole, PropType::Time, startTime);
  SetNamed(out, appt, kLidAppointmentEndWhole, PropType::Time, endTime);
  SetNamed(out, tags::kPsetidCommon, kLidCommonStart, PropType::Time, startTime);
  SetNamed(out, tags::kPsetidCommon, kLidCommonEnd, PropType::Time, endTime);
  out.props.Set(kTagStartDate, startTime);
  out.props.Set(kTagEndDate, endTime);
  SetNamed(out, appt, kLidAppointmentDuration, PropType::Int32, ClampedInt32((end - start->unixSeconds) / 60));
  const ical::Property* allDay = event->Find("X-MICROSOFT-CDO-ALLDAYEVENT");
  SetNamed(out, appt, kLidAppointmentSubType, PropType::Boolean,
           start->isDate || (allDay && EqualsIgnoreCase(Trimmed(allDay->value), "TRUE")));
  if (const ical::Property* location = event->Find("LOCATION"))
    SetNamed(out, appt, kLidLocation, PropType::Unicode, ValidUtf8(ical::UnescapeText(location->value)));

  int sequence = 0;
  if (const ical::Property* seq = event->Find("SEQUENCE")) {
    const std::string v = Trimmed(seq->value);
    if (!v.empty() && v.size() <= 9 && std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; }))
      sequence = std::stoi(v);
  }
  SetNamed(out, appt, kLidAppointmentSequence, PropType::Int32, sequence);

  int32_t state = kAsfMeeting | kAsfReceived;
  if (method == "CANCEL") state |= kAsfCanceled;
  SetNamed(out, appt, kLidAppointmentStateFlags, PropType::Int32, state);
  SetNamed(out, appt, kLidRecurring, PropType::Boolean, false);
  SetNamed(out, meeting, kLidIsRecurring, PropType::Boolean, false);
  if (event->Find("RRULE") || event->Find("RDATE"))
    ctx.Warn("the meeting repeats; it is stored as its first occurrence, and its calendar attachment keeps the "
             "pattern");

  if (const ical::Property* uid = event->Find("UID"); uid && !Trimmed(uid->value).empty()) {
    const std::string id = Trimmed(uid->value);
    int year = 0, month = 0, day = 0;
    if (const ical::Property* rid = event->Find("RECURRENCE-ID")) {
      const std::string v = Trimmed(rid->value);
      if (v.size() >= 8 && std::all_of(v.begin(), v.begin() + 8, [](char c) { return c >= '0' && c <= '9'; })) {
        year = std::stoi(v.substr(0, 4));
        month = std::stoi(v.substr(4, 2));
        day = std::stoi(v.substr(6, 2));
      }
    }
    SetNamed(out, meeting, kLidGlobalObjectId, PropType::Binary, GlobalObjectId(id, year, month, day));
    SetNamed(out, meeting, kLidCleanGlobalObjectId, PropType::Binary, GlobalObjectId(id));
  } else {
    ctx.Warn("the meeting has no UID; Outlook cannot tie it to its updates and replies");
  }

  const ical::Property* stamp = event->Find("DTSTAMP");
  const auto stamped = stamp ? ical::ResolveTime(*stamp, calendar) : std::nullopt;
  if (method == "REPLY") {
    if (stamped) SetNamed(out, meeting, kLidAttendeeCriticalChange, PropType::Time, FileTime(stamped->unixSeconds));
    return true;
  }
  if (stamped) SetNamed(out, meeting, kLidOwnerCriticalChange, PropType::Time, FileTime(stamped->unixSeconds));
  const int32_t intended = IntendedBusyStatus(*event);
  SetNamed(out, appt, kLidIntendedBusyStatus, PropType::Int32, intended);
  SetNamed(out, appt, kLidBusyStatus, PropType::Int32, method == "CANCEL" ? kBusyFree : kBusyTentative);
  SetNamed(out, meeting, kLidAppointmentMessageClass, PropType::Unicode, std::string("IPM.Appointment"));
  if (method == "REQUEST") {
    SetNamed(out, appt, kLidResponseStatus, PropType::Int32, kRespNotResponded);
    SetNamed(out, meeting, kLidMeetingType, PropType::Int32, sequence == 0 ? kMtgRequest : kMtgFull);
    out.props.Set(kTagResponseRequested, true);
  }

  // Who invites: the organizer, where the header named no author.
  const ical::Property* organizerProp = event->Find("ORGANIZER");
  const Mailbox organizerBox = organizerProp ? MailboxOf(*organizerProp) : Mailbox{};
  if (!organizerBox.address.empty() && !out.props.GetString(model::TagId(tags::kSentRepresentingName)))
    SetSenderAndAuthor(out.props, organizerBox);
  // Who is invited: required attendees (and the chair) on the To line,
  // optional ones on Cc; rooms and the organizer on neither.
  const std::string organizer = AsciiLower(organizerBox.address);
  std::vector<Mailbox> required, optional;
  for (const Attendee& a : attendees) {
    if (a.cutype == "ROOM" || a.cutype == "RESOURCE" || a.role == "NON-PARTICIPANT") continue;
    if (!organizer.empty() && AsciiLower(a.box.address) == organizer) continue;
    (a.role == "OPT-PARTICIPANT" ? optional : required).push_back(a.box);
  }
  SetNamed(out, appt, kLidToAttendeesString, PropType::Unicode, JoinShown(required));
  SetNamed(out, appt, kLidCcAttendeesString, PropType::Unicode, JoinShown(optional));
  if (out.recipients.empty() && (!required.empty() || !optional.empty())) {
    // The MIME header named nobody: the invitation's attendees are who it went to.
    const size_t keptRequired = std::min(required.size(), kMaxRecipientRows);
    const size_t keptOptional = std::min(optional.size(), kMaxRecipientRows - keptRequired);
    AddRecipients(out, std::span(required).first(keptRequired), tags::kRecipTo);
    AddRecipients(out, std::span(optional).first(keptOptional), tags::kRecipCc);
    out.props.Set(tags::kDisplayTo, JoinShown(required));
    out.props.Set(tags::kDisplayCc, JoinShown(optional));
  }
  return true;
}

void MapMeetingMessage(GMimeMessage* message, model::Message& out, const ImportContext& ctx) {
  if (out.props.GetString(model::TagId(tags::kMessageClass)).value_or("") != "IPM.Note") return;
  std::vector<GMimeObject*> parts;
  int visited = 0;
  FindCalendarParts(g_mime_message_get_mime_part(message), 0, visited, parts);
  if (parts.empty()) return;
  const auto named = std::find_if(parts.begin(), parts.end(), [](GMimeObject* p) { return !MethodParam(p).empty(); });
  GMimeObject* part = named != parts.end() ? *named : parts.front();
  const std::vector<uint8_t> bytes = DecodedContent(GMIME_PART(part));
  const std::string text = ValidUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  std::string error;
  const auto calendar = ical::Parse(text, error);
  if (!calendar) {
    if (!MethodParam(part).empty())
      ctx.Warn("the meeting's calendar cannot be read (" + error +
               "); the message stays a plain message with the calendar attached");
    return;
  }
  MapMeeting(*calendar, MethodParam(part), out, ctx);
}

}  // namespace mime::detail

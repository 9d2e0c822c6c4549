// SPDX-License-Identifier: GPL-3.0-or-later
// Invitations, updates, cancellations and replies as Google Calendar,
// Outlook and Thunderbird send them, read into the meeting messages Outlook
// shows: class, times in UTC through the calendar's own time zones, the
// global object id, attendees; and calendars that must not cost unbounded
// work.
#include <chrono>

#include "import_helpers.h"
#include "model/prop_tags.h"

namespace {

using namespace mime_test;
namespace tags = model::tags;

// Property ids as [MS-OXPROPS] gives them.
constexpr uint32_t kStartWhole = 0x820D, kEndWhole = 0x820E, kDuration = 0x8213, kLocation = 0x8208,
                   kSubType = 0x8215, kSequence = 0x8201, kBusy = 0x8205, kIntendedBusy = 0x8224,
                   kStateFlags = 0x8217, kResponseStatus = 0x8218, kRecurring = 0x8223,
                   kToAttendees = 0x823B, kCcAttendees = 0x823C;
constexpr uint32_t kGlobalObjectId = 0x0003, kCleanGlobalObjectId = 0x0023, kMeetingType = 0x0026;
constexpr uint32_t kCommonStart = 0x8516;
constexpr uint32_t kStartDate = model::MakeTag(0x0060, model::PropType::Time);
constexpr uint32_t kEndDate = model::MakeTag(0x0061, model::PropType::Time);

const model::PropValue* Named(const model::Message& m, const model::Guid& set, uint32_t lid) {
  return m.props.FindNamed(model::NamedProp{set, lid, {}});
}
std::optional<int64_t> NamedInt(const model::Message& m, const model::Guid& set, uint32_t lid) {
  const model::PropValue* v = Named(m, set, lid);
  if (!v) return std::nullopt;
  if (const auto* i = std::get_if<int32_t>(&v->data)) return *i;
  if (const auto* l = std::get_if<int64_t>(&v->data)) return *l;
  if (const auto* b = std::get_if<bool>(&v->data)) return *b;
  return std::nullopt;
}
std::string NamedStr(const model::Message& m, const model::Guid& set, uint32_t lid) {
  const model::PropValue* v = Named(m, set, lid);
  const auto* s = v ? std::get_if<std::string>(&v->data) : nullptr;
  return s ? *s : "<absent>";
}
std::string NamedHex(const model::Message& m, const model::Guid& set, uint32_t lid) {
  const model::PropValue* v = Named(m, set, lid);
  const auto* b = v ? std::get_if<model::Bytes>(&v->data) : nullptr;
  if (!b) return "<absent>";
  std::string out;
  for (const uint8_t c : *b) out += "0123456789ABCDEF"[c >> 4], out += "0123456789ABCDEF"[c & 15];
  return out;
}
int64_t Ft(int y, unsigned mo, unsigned d, int h, int mi) {
  using namespace std::chrono;
  const sys_days date{year{y} / month{mo} / day{d}};
  return model::FileTimeFromUnix(duration_cast<seconds>(date.time_since_epoch()).count() + h * 3600 + mi * 60);
}
std::string Class(const model::Message& m) { return Str(m.props, tags::kMessageClass); }

const auto& kAppt = tags::kPsetidAppointment;
const auto& kMeeting = tags::kPsetidMeeting;

const char kBerlin[] =
    "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\nX-LIC-LOCATION:Europe/Berlin\r\n"
    "BEGIN:DAYLIGHT\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nTZNAME:CEST\r\n"
    "DTSTART:19700329T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nEND:DAYLIGHT\r\n"
    "BEGIN:STANDARD\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nTZNAME:CET\r\n"
    "DTSTART:19701025T030000\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nEND:STANDARD\r\n"
    "END:VTIMEZONE\r\n";

const std::string kAddresses = "From: Ann Example <ann@example.com>\r\nTo: bob@example.com\r\n";

// A message in Google Calendar's shape: the calendar as a body alternative
// (method=...) and again as invite.ics.
std::string CalendarMessage(const std::string& ics, const std::string& method,
                            const std::string& addresses = kAddresses) {
  return addresses +
         "Subject: Invitation: Planning @ Fri Jul 10, 2026 3pm - 4:30pm (CEST)\r\n"
         "Date: Mon, 06 Jul 2026 09:00:00 +0000\r\nMIME-Version: 1.0\r\n"
         "Content-Type: multipart/mixed; boundary=\"m\"\r\n\r\n"
         "--m\r\nContent-Type: multipart/alternative; boundary=\"a\"\r\n\r\n"
         "--a\r\nContent-Type: text/plain; charset=\"UTF-8\"\r\n\r\nPlanning\r\n"
         "--a\r\nContent-Type: text/html; charset=\"UTF-8\"\r\n\r\n<p>Planning</p>\r\n"
         "--a\r\nContent-Type: text/calendar; charset=\"UTF-8\"; method=" + method + "\r\n\r\n" + ics +
         "--a--\r\n"
         "--m\r\nContent-Type: application/ics; name=\"invite.ics\"\r\n"
         "Content-Disposition: attachment; filename=\"invite.ics\"\r\n\r\n" + ics + "--m--\r\n";
}
std::string GoogleInvite(const std::string& calendarBody, const std::string& method = "REQUEST",
                         const std::string& addresses = kAddresses) {
  return CalendarMessage("BEGIN:VCALENDAR\r\nPRODID:-//Google Inc//Google Calendar 70.9054//EN\r\n"
                         "VERSION:2.0\r\nCALSCALE:GREGORIAN\r\nMETHOD:" + method + "\r\n" +
                             calendarBody + "END:VCALENDAR\r\n",
                         method, addresses);
}

std::string Event(const std::string& lines) {
  return "BEGIN:VEVENT\r\n" + lines + "END:VEVENT\r\n";
}

TEST(Calendar, GoogleInvitationInSummerTimeBecomesAMeetingRequest) {
  mime::ImportWarnings w;
  const model::Message m = Import(GoogleInvite(std::string(kBerlin) + Event(
      "DTSTART;TZID=Europe/Berlin:20260710T150000\r\nDTEND;TZID=Europe/Berlin:20260710T163000\r\n"
      "DTSTAMP:20260706T090000Z\r\nORGANIZER;CN=Ann Example:mailto:ann@example.com\r\n"
      "UID:{81412D3C-2A24-4E9D-B20E-11F7BBE92799}\r\n"
      "ATTENDEE;CUTYPE=INDIVIDUAL;ROLE=REQ-PARTICIPANT;PARTSTAT=ACCEPTED;CN=Ann Example:mailto:ann@example.com\r\n"
      "ATTENDEE;CUTYPE=INDIVIDUAL;ROLE=REQ-PARTICIPANT;PARTSTAT=NEEDS-ACTION;RSVP=\r\n"
      " TRUE;CN=Bob Jones:mailto:bob@example.com\r\n"
      "ATTENDEE;ROLE=OPT-PARTICIPANT;PARTSTAT=NEEDS-ACTION;CN=\"Lee, Carol\":mailto:carol@example.com\r\n"
      "ATTENDEE;CUTYPE=ROOM;ROLE=REQ-PARTICIPANT;CN=Room 4:mailto:room4@resource.example.com\r\n"
      "LOCATION:Room 4\\, Floor 2\\; west wing\r\nSEQUENCE:0\r\nSTATUS:CONFIRMED\r\nSUMMARY:Planning\r\n"
      "TRANSP:OPAQUE\r\n")), &w);
  EXPECT_EQ(Class(m), "IPM.Schedule.Meeting.Request");
  // 15:00 and 16:30 in Berlin's summer time are 13:00 and 14:30 UTC.
  EXPECT_EQ(NamedInt(m, kAppt, kStartWhole), Ft(2026, 7, 10, 13, 0));
  EXPECT_EQ(NamedInt(m, kAppt, kEndWhole), Ft(2026, 7, 10, 14, 30));
  EXPECT_EQ(NamedInt(m, tags::kPsetidCommon, kCommonStart), Ft(2026, 7, 10, 13, 0));
  EXPECT_EQ(Int(m.props, kStartDate), Ft(2026, 7, 10, 13, 0));
  EXPECT_EQ(Int(m.props, kEndDate), Ft(2026, 7, 10, 14, 30));
  EXPECT_EQ(NamedInt(m, kAppt, kDuration), 90);
  EXPECT_EQ(NamedInt(m, kAppt, kSubType), 0);
  EXPECT_EQ(NamedStr(m, kAppt, kLocation), "Room 4, Floor 2; west wing");
  EXPECT_EQ(NamedStr(m, kAppt, kToAttendees), "Bob Jones");
  EXPECT_EQ(NamedStr(m, kAppt, kCcAttendees), "Lee, Carol");
  EXPECT_EQ(NamedInt(m, kAppt, kBusy), 1);          // tentative until answered
  EXPECT_EQ(NamedInt(m, kAppt, kIntendedBusy), 2);  // busy
  EXPECT_EQ(NamedInt(m, kAppt, kStateFlags), 0x3);  // meeting, received
  EXPECT_EQ(NamedInt(m, kAppt, kResponseStatus), 5);
  EXPECT_EQ(NamedInt(m, kMeeting, kMeetingType), 1);
  EXPECT_EQ(NamedInt(m, kAppt, kRecurring), 0);
  // A UID of another program wrapped as "vCal-Uid": [MS-ASEMAIL] 4.3, example 2.
  const std::string wrapped =
      "040000008200E00074C5B7101A82E0080000000000000000000000000000000000000000330000007643616C2D556964"
      "010000007B38313431324433432D324132342D344539442D423230452D3131463742424539323739397D00";
  EXPECT_EQ(NamedHex(m, kMeeting, kGlobalObjectId), wrapped);
  EXPECT_EQ(NamedHex(m, kMeeting, kCleanGlobalObjectId), wrapped);
  // The header's recipient stays the only one; both calendar parts stay attached.
  ASSERT_EQ(m.recipients.size(), 1u);
  ASSERT_EQ(m.attachments.size(), 2u);
  EXPECT_EQ(Str(m.attachments[1].props, tags::kAttachLongFilename), "invite.ics");
  EXPECT_TRUE(w.empty()) << w.front();
}

TEST(Calendar, TimeZoneRulesAroundTheChanges) {
  struct Case {
    const char* zone;
    const char* local;
    int64_t utc;
  };
  const std::string newYork =
      "BEGIN:VTIMEZONE\r\nTZID:America/New_York\r\n"
      "BEGIN:DAYLIGHT\r\nTZOFFSETFROM:-0500\r\nTZOFFSETTO:-0400\r\nDTSTART:20070311T020000\r\n"
      "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\r\nEND:DAYLIGHT\r\n"
      "BEGIN:STANDARD\r\nTZOFFSETFROM:-0400\r\nTZOFFSETTO:-0500\r\nDTSTART:20071104T020000\r\n"
      "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
  // Outlook's own: Windows names, rules from 1601, a quoted TZID.
  const std::string outlook =
      "BEGIN:VTIMEZONE\r\nTZID:W. Europe Standard Time\r\n"
      "BEGIN:STANDARD\r\nDTSTART:16010101T030000\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\n"
      "RRULE:FREQ=YEARLY;INTERVAL=1;BYDAY=-1SU;BYMONTH=10\r\nEND:STANDARD\r\n"
      "BEGIN:DAYLIGHT\r\nDTSTART:16010101T020000\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\n"
      "RRULE:FREQ=YEARLY;INTERVAL=1;BYDAY=-1SU;BYMONTH=3\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n";
  // India: one observance, no rule, a half-hour offset.
  const std::string india =
      "BEGIN:VTIMEZONE\r\nTZID:Asia/Kolkata\r\nBEGIN:STANDARD\r\nTZOFFSETFROM:+0530\r\n"
      "TZOFFSETTO:+0530\r\nTZNAME:IST\r\nDTSTART:19700101T000000\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
  const Case cases[] = {
      {"Europe/Berlin", "20261215T090000", Ft(2026, 12, 15, 8, 0)},     // winter
      {"Europe/Berlin", "20260329T015900", Ft(2026, 3, 29, 0, 59)},     // just before the change
      {"Europe/Berlin", "20260329T030000", Ft(2026, 3, 29, 1, 0)},      // just after it
      {"Europe/Berlin", "20261025T040000", Ft(2026, 10, 25, 3, 0)},     // back in winter time
      {"Europe/Berlin", "20260101T000000", Ft(2025, 12, 31, 23, 0)},    // rule of the year before
      {"America/New_York", "20260308T120000", Ft(2026, 3, 8, 16, 0)},   // second Sunday of March
      {"America/New_York", "20260307T120000", Ft(2026, 3, 7, 17, 0)},
      {"America/New_York", "20261101T120000", Ft(2026, 11, 1, 17, 0)},  // first Sunday of November
      {"\"W. Europe Standard Time\"", "20260710T150000", Ft(2026, 7, 10, 13, 0)},
      {"W. Europe Standard Time", "20260201T150000", Ft(2026, 2, 1, 14, 0)},
      {"Asia/Kolkata", "20260710T150000", Ft(2026, 7, 10, 9, 30)},
  };
  for (const Case& c : cases) {
    mime::ImportWarnings w;
    const model::Message m = Import(GoogleInvite(std::string(kBerlin) + newYork + outlook + india + Event(
        std::string("UID:tz@example.com\r\nDTSTART;TZID=") + c.zone + ":" + c.local + "\r\n")), &w);
    EXPECT_EQ(NamedInt(m, kAppt, kStartWhole), c.utc) << c.zone << " " << c.local;
    EXPECT_TRUE(w.empty()) << c.zone << " " << c.local;
  }
}

TEST(Calendar, UtcFloatingUndefinedZoneAllDayAndDuration) {
  struct Case {
    std::string lines;
    int64_t start, end;
    bool allDay;
    const char* warning;
  };
  const Case cases[] = {
      {"DTSTART:20260710T130000Z\r\nDURATION:PT1H30M\r\n", Ft(2026, 7, 10, 13, 0), Ft(2026, 7, 10, 14, 30), false, ""},
      {"DTSTART:20260710T130000\r\nDTEND:20260710T140000\r\n", Ft(2026, 7, 10, 13, 0), Ft(2026, 7, 10, 14, 0), false, ""},
      {"DTSTART;VALUE=DATE:20261224\r\nDTEND;VALUE=DATE:20261226\r\n", Ft(2026, 12, 24, 0, 0), Ft(2026, 12, 26, 0, 0),
       true, ""},
      {"DTSTART;VALUE=DATE:20261224\r\n", Ft(2026, 12, 24, 0, 0), Ft(2026, 12, 25, 0, 0), true, ""},
      {"DTSTART:20260710T130000Z\r\nDURATION:P1W\r\n", Ft(2026, 7, 10, 13, 0), Ft(2026, 7, 17, 13, 0), false, ""},
      {"DTSTART;TZID=Mars/Olympus:20260710T130000\r\n", Ft(2026, 7, 10, 13, 0), Ft(2026, 7, 10, 13, 0), false,
       "\"Mars/Olympus\" is not defined"},
      {"DTSTART:20260710T130000Z\r\nDTEND:20260710T120000Z\r\n", Ft(2026, 7, 10, 13, 0), Ft(2026, 7, 10, 13, 0),
       false, "ends before it starts"},
  };
  for (const Case& c : cases) {
    mime::ImportWarnings w;
    const model::Message m = Import(GoogleInvite(Event("UID:x@example.com\r\n" + c.lines)), &w);
    EXPECT_EQ(Class(m), "IPM.Schedule.Meeting.Request") << c.lines;
    EXPECT_EQ(NamedInt(m, kAppt, kStartWhole), c.start) << c.lines;
    EXPECT_EQ(NamedInt(m, kAppt, kEndWhole), c.end) << c.lines;
    EXPECT_EQ(NamedInt(m, kAppt, kSubType), c.allDay ? 1 : 0) << c.lines;
    EXPECT_EQ(NamedInt(m, kAppt, kDuration), (c.end - c.start) / 600000000) << c.lines;
    if (*c.warning) {
      EXPECT_TRUE(HasWarning(w, c.warning)) << c.lines;
    } else {
      EXPECT_TRUE(w.empty()) << c.lines;
    }
  }
}

TEST(Calendar, OutlookUidIsTheGlobalObjectIdAndAnOccurrenceCarriesItsDate) {
  // [MS-OXOCAL] 4.1.2: an exception that moved from 25 March 2008; the
  // clean id has the instance date zeroed, and that is Outlook's UID.
  const std::string clean =
      "040000008200E00074C5B7101A82E008000000005025D461E473C8010000000000000000100000002A5844B3A444F74A9C246C60886F116B";
  const std::string outlookExceptionId =
      "040000008200E00074C5B7101A82E00807D803195025D461E473C8010000000000000000100000002A5844B3A444F74A9C246C60886F116B";
  mime::ImportWarnings w;
  model::Message m = Import(GoogleInvite(Event(
      "UID:" + clean + "\r\nRECURRENCE-ID;TZID=\"W. Europe Standard Time\":20080325T100000\r\n"
      "DTSTART:20080326T090000Z\r\nDTEND:20080326T100000Z\r\nSEQUENCE:2\r\n"
      "X-MICROSOFT-CDO-INTENDEDSTATUS:FREE\r\nTRANSP:OPAQUE\r\n")), &w);
  EXPECT_EQ(NamedHex(m, kMeeting, kGlobalObjectId), outlookExceptionId);
  EXPECT_EQ(NamedHex(m, kMeeting, kCleanGlobalObjectId), clean);
  EXPECT_EQ(NamedInt(m, kAppt, kSequence), 2);
  EXPECT_EQ(NamedInt(m, kMeeting, kMeetingType), 0x10000);  // a full update
  EXPECT_EQ(NamedInt(m, kAppt, kIntendedBusy), 0);          // Outlook's own status wins over TRANSP

  // Lower-case hex is the same id; a hex UID whose size field does not
  // match is somebody else's UID and is wrapped.
  std::string lower = clean;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  m = Import(GoogleInvite(Event("UID:" + lower + "\r\nDTSTART:20080326T090000Z\r\n")));
  EXPECT_EQ(NamedHex(m, kMeeting, kCleanGlobalObjectId), clean);
  const std::string badSize = clean.substr(0, 72) + "11000000" + clean.substr(80);
  m = Import(GoogleInvite(Event("UID:" + badSize + "\r\nDTSTART:20080326T090000Z\r\n")));
  EXPECT_NE(NamedHex(m, kMeeting, kCleanGlobalObjectId).find("7643616C2D556964"), std::string::npos);
}

TEST(Calendar, CancellationAndRepliesTakeTheirClasses) {
  mime::ImportWarnings w;
  model::Message m = Import(GoogleInvite(Event("UID:c@example.com\r\nDTSTART:20260710T130000Z\r\nSTATUS:CANCELLED\r\n"),
                                         "CANCEL"), &w);
  EXPECT_EQ(Class(m), "IPM.Schedule.Meeting.Canceled");
  EXPECT_EQ(NamedInt(m, kAppt, kStateFlags), 0x7);  // meeting, received, canceled
  EXPECT_EQ(NamedInt(m, kAppt, kBusy), 0);
  EXPECT_EQ(NamedInt(m, kMeeting, kMeetingType), std::nullopt);

  struct Reply {
    const char* partstat;
    const char* cls;
  };
  for (const Reply& r : {Reply{"ACCEPTED", "IPM.Schedule.Meeting.Resp.Pos"},
                         Reply{"DECLINED", "IPM.Schedule.Meeting.Resp.Neg"},
                         Reply{"TENTATIVE", "IPM.Schedule.Meeting.Resp.Tent"}}) {
    // The replier is the attendee who sent the message, not the first one listed.
    m = Import(GoogleInvite(Event(std::string("UID:c@example.com\r\nDTSTART:20260710T130000Z\r\n"
                                              "ATTENDEE;PARTSTAT=NEEDS-ACTION:mailto:zed@example.com\r\n"
                                              "ATTENDEE;PARTSTAT=") + r.partstat +
                                  ":mailto:ANN@example.com\r\n"),
                            "REPLY"));
    EXPECT_EQ(Class(m), r.cls);
  }
  w.clear();
  m = Import(GoogleInvite(Event("UID:c@example.com\r\nDTSTART:20260710T130000Z\r\n"
                                "ATTENDEE;PARTSTAT=DELEGATED:mailto:ann@example.com\r\n"),
                          "REPLY"), &w);
  EXPECT_EQ(Class(m), "IPM.Note");
  EXPECT_TRUE(HasWarning(w, "PARTSTAT \"DELEGATED\""));
  // A published calendar is no meeting message.
  m = Import(GoogleInvite(Event("UID:c@example.com\r\nDTSTART:20260710T130000Z\r\n"), "PUBLISH"));
  EXPECT_EQ(Class(m), "IPM.Note");
}

TEST(Calendar, OrganizerAndAttendeesFillWhatTheHeaderLacks) {
  const model::Message m = Import(GoogleInvite(Event(
      "UID:r@example.com\r\nDTSTART:20260710T130000Z\r\nORGANIZER;CN=Ann:mailto:ann@example.com\r\n"
      "ATTENDEE;CN=Ann:mailto:ann@example.com\r\nATTENDEE;CN=Bob:mailto:bob@example.com\r\n"
      "ATTENDEE;ROLE=OPT-PARTICIPANT;EMAIL=carol@example.com:urn:uuid:1234\r\n"), "REQUEST", "Subject: x\r\n"));
  EXPECT_EQ(Str(m.props, tags::kSentRepresentingEmailAddress), "ann@example.com");
  EXPECT_EQ(Str(m.props, tags::kSenderName), "Ann");
  ASSERT_EQ(m.recipients.size(), 2u);
  EXPECT_EQ(Str(m.recipients[0].props, tags::kEmailAddress), "bob@example.com");
  EXPECT_EQ(Int(m.recipients[0].props, tags::kRecipientType), tags::kRecipTo);
  EXPECT_EQ(Str(m.recipients[1].props, tags::kEmailAddress), "carol@example.com");
  EXPECT_EQ(Int(m.recipients[1].props, tags::kRecipientType), tags::kRecipCc);
  EXPECT_EQ(Str(m.props, tags::kDisplayTo), "Bob");
}

TEST(Calendar, HostileCalendarsStayPlainMessagesQuickly) {
  std::string deep;
  for (int i = 0; i < 1000; ++i) deep += "BEGIN:VEVENT\r\n";
  std::string lines = Event("UID:l@example.com\r\nDTSTART:20260710T130000Z\r\n");
  for (int i = 0; i < 150000; ++i) lines += "X-A:1\r\n";
  std::string manyParams = "UID:p@example.com\r\nDTSTART";
  for (int i = 0; i < 100000; ++i) manyParams += ";X=\"a:b\"";
  manyParams += ":20260710T130000Z\r\n";
  struct Case {
    std::string body;
    const char* cls;
    const char* warning;
  };
  const Case cases[] = {
      {deep, "IPM.Note", "nested more than"},
      {lines, "IPM.Note", "more than 100000 lines"},
      {"BEGIN:VEVENT\r\nDTSTART:20260710T130000Z\r\nEND:VEVENT\r\n", "IPM.Note", "holds no VCALENDAR"},
      {Event("UID:n@example.com\r\nDTSTART:2026-07-10\r\n"), "IPM.Note", "no start time"},
      {"BEGIN:VTODO\r\nEND:VTODO\r\n", "IPM.Note", "holds no event"},
      // Parameters beyond the bound are dropped, the value still read.
      {Event(manyParams), "IPM.Schedule.Meeting.Request", ""},
      // A yearly rule from year 1 with a COUNT of a billion costs two years'
      // work; a day number of twenty digits is no day.
      {"BEGIN:VTIMEZONE\r\nTZID:Z\r\nBEGIN:STANDARD\r\nDTSTART:00010101T000000\r\nTZOFFSETFROM:+0100\r\n"
       "TZOFFSETTO:+0100\r\nRRULE:FREQ=YEARLY;COUNT=1000000000;BYMONTH=12;BYMONTHDAY=99999999999999999999\r\n"
       "END:STANDARD\r\nEND:VTIMEZONE\r\n" +
           Event("UID:z@example.com\r\nDTSTART;TZID=Z:99991231T230000\r\n"),
       "IPM.Schedule.Meeting.Request", ""},
  };
  for (const Case& c : cases) {
    mime::ImportWarnings w;
    const auto began = std::chrono::steady_clock::now();
    const std::string text = c.body.substr(0, 40);
    const model::Message m = Import(c.body.starts_with("BEGIN:VEVENT\r\nDTSTART") ? CalendarMessage(c.body, "REQUEST")
                                                                                : GoogleInvite(c.body),
                                    &w);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5)) << text;
    EXPECT_EQ(Class(m), c.cls) << text;
    if (*c.warning) {
      EXPECT_TRUE(HasWarning(w, c.warning)) << text << ": " << (w.empty() ? "" : w.front());
    }
    EXPECT_EQ(m.attachments.size(), 2u) << text;  // the calendar is never lost
  }
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// Just enough of iCalendar (RFC 5545) to read a meeting invitation: content
// lines unfolded and split into name, parameters and value, components
// nested, text values unescaped, date-times resolved to UTC through the
// calendar's own VTIMEZONE definitions. Every step is bounded by the size of
// the input and by the limits below, whatever the calendar holds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mime::detail::ical {

// A calendar larger than this is not read (invitations are a few kilobytes).
inline constexpr size_t kMaxCalendarBytes = 4 << 20;
inline constexpr size_t kMaxLines = 100000;
inline constexpr size_t kMaxComponents = 5000;
inline constexpr size_t kMaxDepth = 8;
inline constexpr size_t kMaxParameters = 64;

struct Property {
  std::string name;                                         // upper case
  std::vector<std::pair<std::string, std::string>> params;  // names upper case, quotes removed
  std::string value;                                        // as written
  // The parameter's value, or "" when absent.
  std::string Param(std::string_view name) const;
};

struct Component {
  std::string name;  // upper case
  std::vector<Property> props;
  std::vector<Component> children;
  const Property* Find(std::string_view name) const;
  // The first child of this name, or nullptr.
  const Component* Child(std::string_view name) const;
};

// The VCALENDAR of `text`; nullopt with `error` set when there is none or
// the text is beyond the bounds. Unbalanced BEGIN/END lines are tolerated.
std::optional<Component> Parse(std::string_view text, std::string& error);

// A TEXT value with its backslash escapes undone (RFC 5545 3.3.11).
std::string UnescapeText(std::string_view value);

// A CAL-ADDRESS value without its "mailto:" scheme.
std::string AddressOf(std::string_view value);

// Seconds of an RFC 5545 DURATION ("P1W", "PT1H30M", "-P1D"); nullopt when
// it is not one.
std::optional<int64_t> ParseDuration(std::string_view value);

// A DATE or DATE-TIME property resolved to UTC.
struct ResolvedTime {
  int64_t unixSeconds = 0;
  bool isDate = false;   // VALUE=DATE: an all-day date, taken at midnight
  bool zoneFound = true; // false: TZID named a zone the calendar does not define
};
// `calendar` supplies the VTIMEZONE components. Times without TZID and
// without "Z" (floating) and dates are taken as UTC.
std::optional<ResolvedTime> ResolveTime(const Property& property, const Component& calendar);

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t year, int month, int day);

}  // namespace mime::detail::ical

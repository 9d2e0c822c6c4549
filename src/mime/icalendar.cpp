// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/icalendar.h"

#include <algorithm>
#include <cctype>

#include "mime/text_util.h"

namespace mime::detail::ical {
namespace {

// Content lines with folding undone (RFC 5545 3.1): a line that starts with
// a space or a tab continues the one before, less that one character.
std::vector<std::string> UnfoldedLines(std::string_view text, std::string& error) {
  std::vector<std::string> lines;
  ForEachLine(text, [&](std::string_view line) {
    if (!error.empty()) return;
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty()) {
      lines.back().append(line.substr(1));
    } else if (!line.empty()) {
      if (lines.size() >= kMaxLines) {
        error = "it has more than " + std::to_string(kMaxLines) + " lines";
        return;
      }
      lines.emplace_back(line);
    }
  });
  if (!error.empty()) lines.clear();
  return lines;
}

// "NAME;P1=a;P2="b:c":value" into its pieces; false when there is no colon.
bool SplitContentLine(const std::string& line, Property& out) {
  size_t i = 0;
  while (i < line.size() && line[i] != ';' && line[i] != ':') ++i;
  if (i == line.size()) return false;
  out.name = AsciiUpper(Trimmed(std::string_view(line).substr(0, i)));
  while (i < line.size() && line[i] == ';') {
    ++i;
    const size_t nameStart = i;
    while (i < line.size() && line[i] != '=' && line[i] != ';' && line[i] != ':') ++i;
    std::string name = AsciiUpper(line.substr(nameStart, i - nameStart));
    std::string value;
    if (i < line.size() && line[i] == '=') {
      ++i;
      // A parameter value runs to the next ';' or ':' outside quotes.
      while (i < line.size() && line[i] != ';' && line[i] != ':') {
        if (line[i] == '"') {
          const size_t close = line.find('"', i + 1);
          if (close == std::string::npos) return false;
          value.append(line, i + 1, close - i - 1);
          i = close + 1;
        } else {
          value += line[i++];
        }
      }
    }
    if (out.params.size() < kMaxParameters) out.params.emplace_back(std::move(name), std::move(value));
  }
  if (i >= line.size() || line[i] != ':') return false;
  out.value = line.substr(i + 1);
  return true;
}

// `count` decimal digits at `at`; at most nine, so that the value fits.
bool Digits(std::string_view s, size_t at, size_t count, int& out) {
  if (count == 0 || count > 9 || at + count > s.size()) return false;
  out = 0;
  for (size_t k = at; k < at + count; ++k) {
    if (s[k] < '0' || s[k] > '9') return false;
    out = out * 10 + (s[k] - '0');
  }
  return true;
}

int DaysInMonth(int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// 0 = Sunday.
int Weekday(int64_t days) { return static_cast<int>(((days % 7) + 11) % 7); }

// A wall-clock time as seconds since 1970 counted as if it were UTC.
struct WallTime {
  int year = 0, month = 0, day = 0;
  int64_t secondOfDay = 0;
  bool isDate = false;
  bool utc = false;
  int64_t Seconds() const { return DaysFromCivil(year, month, day) * 86400 + secondOfDay; }
};

// "20260310", "20260310T140000", "20260310T140000Z".
std::optional<WallTime> ParseWallTime(std::string_view s) {
  WallTime t;
  s = std::string_view(s).substr(0, std::min<size_t>(s.size(), 32));
  if (!Digits(s, 0, 4, t.year) || !Digits(s, 4, 2, t.month) || !Digits(s, 6, 2, t.day)) return std::nullopt;
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > DaysInMonth(t.year, t.month)) return std::nullopt;
  if (s.size() == 8) {
    t.isDate = true;
    return t;
  }
  int h = 0, m = 0, sec = 0;
  if (s.size() < 15 || (s[8] != 'T' && s[8] != 't') || !Digits(s, 9, 2, h) || !Digits(s, 11, 2, m) ||
      !Digits(s, 13, 2, sec) || h > 24 || m > 59 || sec > 60)
    return std::nullopt;
  t.secondOfDay = h * 3600 + m * 60 + sec;
  t.utc = s.size() > 15 && (s[15] == 'Z' || s[15] == 'z');
  return t;
}

// "+0100", "-0500", "+053000" in seconds.
std::optional<int64_t> ParseOffset(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  if (s.size() != 5 && s.size() != 7) return std::nullopt;
  if (s[0] != '+' && s[0] != '-') return std::nullopt;
  int h = 0, m = 0, sec = 0;
  if (!Digits(s, 1, 2, h) || !Digits(s, 3, 2, m) || (s.size() == 7 && !Digits(s, 5, 2, sec)))
    return std::nullopt;
  const int64_t v = h * 3600 + m * 60 + sec;
  return s[0] == '-' ? -v : v;
}

// The day of `month` in `year` that BYDAY ("-1SU", "2SU", "SU") names, with
// BYMONTHDAY narrowing a bare weekday; 0 when nothing matches.
int RuleDay(int64_t year, int month, std::string_view byDay, std::string_view byMonthDay) {
  static constexpr std::string_view kNames[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
  const int last = DaysInMonth(year, month);
  if (byDay.empty()) {
    int d = 0;
    return Digits(byMonthDay, 0, byMonthDay.size(), d) && d >= 1 && d <= last ? d : 0;
  }
  if (byDay.size() < 2) return 0;
  const std::string_view name = byDay.substr(byDay.size() - 2);
  const auto found = std::find(std::begin(kNames), std::end(kNames), name);
  if (found == std::end(kNames)) return 0;
  const int weekday = static_cast<int>(found - std::begin(kNames));
  std::string_view ordinal = byDay.substr(0, byDay.size() - 2);
  const bool fromEnd = !ordinal.empty() && ordinal[0] == '-';
  if (!ordinal.empty() && (ordinal[0] == '-' || ordinal[0] == '+')) ordinal.remove_prefix(1);
  int n = 0;
  if (!ordinal.empty() && (!Digits(ordinal, 0, ordinal.size(), n) || n < 1 || n > 5)) return 0;
  const int64_t first = DaysFromCivil(year, month, 1);
  if (ordinal.empty()) {
    // A bare weekday: the first one among BYMONTHDAY's days ("SU" with
    // 8,9,...,14 is the second Sunday), else the first of the month.
    size_t at = 0;
    while (at <= byMonthDay.size()) {
      size_t comma = byMonthDay.find(',', at);
      if (comma == std::string_view::npos) comma = byMonthDay.size();
      int d = 0;
      const std::string_view piece = byMonthDay.substr(at, comma - at);
      if (Digits(piece, 0, piece.size(), d) && d >= 1 && d <= last && Weekday(first + d - 1) == weekday)
        return d;
      at = comma + 1;
    }
    if (!byMonthDay.empty()) return 0;
    n = 1;
  }
  if (fromEnd) {
    const int lastWeekday = Weekday(first + last - 1);
    const int d = last - (lastWeekday - weekday + 7) % 7 - 7 * (n - 1);
    return d >= 1 ? d : 0;
  }
  int d = 1 + (weekday - Weekday(first) + 7) % 7 + 7 * (n - 1);
  // A fifth weekday that the month lacks means its last one.
  while (d > last) d -= 7;
  return d;
}

std::string RulePart(std::string_view rule, std::string_view key) {
  size_t at = 0;
  while (at < rule.size()) {
    size_t end = rule.find(';', at);
    if (end == std::string_view::npos) end = rule.size();
    const std::string_view part = rule.substr(at, end - at);
    const size_t eq = part.find('=');
    if (eq != std::string_view::npos && EqualsIgnoreCase(part.substr(0, eq), key))
      return AsciiUpper(part.substr(eq + 1));
    at = end + 1;
  }
  return {};
}

// One STANDARD or DAYLIGHT observance of a VTIMEZONE.
struct Observance {
  int64_t offsetFrom = 0, offsetTo = 0;
  std::optional<WallTime> start;
  std::string rule;
  std::vector<WallTime> dates;  // RDATE onsets
};

// The latest onset of the observance at or before `wall` (wall-clock
// seconds in the offset before the change), if any.
std::optional<int64_t> LatestOnset(const Observance& o, int64_t wall, int year) {
  std::optional<int64_t> best;
  auto consider = [&](int64_t onset) {
    if (onset <= wall && (!best || onset > *best)) best = onset;
  };
  if (o.start) consider(o.start->Seconds());
  for (const WallTime& d : o.dates) consider(d.Seconds());
  if (!o.start || o.rule.empty() || RulePart(o.rule, "FREQ") != "YEARLY") return best;
  std::optional<int64_t> until;
  if (const std::string u = RulePart(o.rule, "UNTIL"); !u.empty())
    if (const auto t = ParseWallTime(u)) until = t->Seconds() + (t->utc ? o.offsetFrom : 0);
  int64_t lastYear = year;
  if (const std::string c = RulePart(o.rule, "COUNT"); !c.empty()) {
    int count = 0;
    if (Digits(c, 0, c.size(), count) && count >= 1)
      lastYear = std::min<int64_t>(lastYear, o.start->year + count - 1);
  }
  int month = o.start->month;
  if (const std::string m = RulePart(o.rule, "BYMONTH"); !m.empty() && !Digits(m, 0, m.size(), month))
    return best;
  if (month < 1 || month > 12) return best;
  std::string byDay = RulePart(o.rule, "BYDAY");
  std::string byMonthDay = RulePart(o.rule, "BYMONTHDAY");
  if (byDay.empty() && byMonthDay.empty()) byMonthDay = std::to_string(o.start->day);
  for (int64_t y = std::max<int64_t>(o.start->year, year - 1); y <= lastYear; ++y) {
    const int day = RuleDay(y, month, byDay, byMonthDay);
    if (day == 0) continue;
    const int64_t onset = DaysFromCivil(y, month, day) * 86400 + o.start->secondOfDay;
    if (until && onset > *until) continue;
    consider(onset);
  }
  return best;
}

// The VTIMEZONE whose TZID is `id`; an exact match first, then ignoring case
// and a leading "/" (RFC 5545's globally unique form).
const Component* FindZone(const Component& calendar, std::string_view id) {
  auto bare = [](std::string_view s) { return s.starts_with('/') ? s.substr(1) : s; };
  const Component* loose = nullptr;
  for (const Component& c : calendar.children) {
    if (c.name != "VTIMEZONE") continue;
    const Property* tzid = c.Find("TZID");
    if (!tzid) continue;
    if (tzid->value == id) return &c;
    if (!loose && EqualsIgnoreCase(bare(Trimmed(tzid->value)), bare(Trimmed(id)))) loose = &c;
  }
  return loose;
}

// The UTC offset of the zone at local wall-clock time `wall`.
std::optional<int64_t> ZoneOffset(const Component& zone, int64_t wall, int year) {
  std::optional<int64_t> bestOnset;
  std::optional<int64_t> offset;
  std::optional<int64_t> earliest;  // before every onset: the first observance's "from"
  int64_t earliestFrom = 0;
  for (const Component& c : zone.children) {
    if (c.name != "STANDARD" && c.name != "DAYLIGHT") continue;
    Observance o;
    const Property* from = c.Find("TZOFFSETFROM");
    const Property* to = c.Find("TZOFFSETTO");
    const auto fromValue = from ? ParseOffset(from->value) : std::nullopt;
    const auto toValue = to ? ParseOffset(to->value) : std::nullopt;
    if (!toValue) continue;
    o.offsetTo = *toValue;
    o.offsetFrom = fromValue.value_or(*toValue);
    if (const Property* start = c.Find("DTSTART")) o.start = ParseWallTime(start->value);
    if (const Property* rule = c.Find("RRULE")) o.rule = rule->value;
    for (const Property& p : c.props) {
      if (p.name != "RDATE") continue;
      size_t at = 0;
      while (at < p.value.size() && o.dates.size() < 1000) {
        size_t comma = p.value.find(',', at);
        if (comma == std::string::npos) comma = p.value.size();
        if (const auto d = ParseWallTime(std::string_view(p.value).substr(at, comma - at))) o.dates.push_back(*d);
        at = comma + 1;
      }
    }
    if (o.start && (!earliest || o.start->Seconds() < *earliest)) {
      earliest = o.start->Seconds();
      earliestFrom = o.offsetFrom;
    }
    const auto onset = LatestOnset(o, wall, year);
    if (onset && (!bestOnset || *onset > *bestOnset)) {
      bestOnset = onset;
      offset = o.offsetTo;
    }
  }
  if (offset) return offset;
  if (earliest) return earliestFrom;
  return std::nullopt;
}

}  // namespace

std::string Property::Param(std::string_view wanted) const {
  for (const auto& [key, text] : params)
    if (key == wanted) return text;
  return {};
}

const Property* Component::Find(std::string_view wanted) const {
  for (const Property& p : props)
    if (p.name == wanted) return &p;
  return nullptr;
}

const Component* Component::Child(std::string_view wanted) const {
  for (const Component& c : children)
    if (c.name == wanted) return &c;
  return nullptr;
}

std::optional<Component> Parse(std::string_view text, std::string& error) {
  if (text.size() > kMaxCalendarBytes) {
    error = "it is larger than " + std::to_string(kMaxCalendarBytes >> 20) + " MiB";
    return std::nullopt;
  }
  std::vector<std::string> lines = UnfoldedLines(text, error);
  if (!error.empty()) return std::nullopt;
  // The components being filled, outermost first; a component is moved
  // into its parent when its END comes.
  std::vector<Component> open;
  std::optional<Component> calendar;
  size_t components = 0;
  auto close = [&]() {
    Component done = std::move(open.back());
    open.pop_back();
    if (!open.empty())
      open.back().children.push_back(std::move(done));
    else if (!calendar && done.name == "VCALENDAR")
      calendar = std::move(done);
  };
  for (const std::string& line : lines) {
    Property p;
    if (!SplitContentLine(line, p)) continue;  // not a content line: skipped as clients do
    if (p.name == "BEGIN") {
      if (open.size() >= kMaxDepth) {
        error = "its components are nested more than " + std::to_string(kMaxDepth) + " deep";
        return std::nullopt;
      }
      if (++components > kMaxComponents) {
        error = "it has more than " + std::to_string(kMaxComponents) + " components";
        return std::nullopt;
      }
      open.push_back(Component{AsciiUpper(Trimmed(p.value)), {}, {}});
    } else if (p.name == "END") {
      const std::string name = AsciiUpper(Trimmed(p.value));
      // An END without its BEGIN is ignored; one that skips inner ENDs
      // closes them too.
      const auto match = std::find_if(open.rbegin(), open.rend(), [&](const Component& c) { return c.name == name; });
      if (match == open.rend()) continue;
      const size_t keep = static_cast<size_t>(open.rend() - match) - 1;
      while (open.size() > keep) close();
    } else if (!open.empty()) {
      open.back().props.push_back(std::move(p));
    }
  }
  while (!open.empty()) close();
  if (!calendar) error = "it holds no VCALENDAR";
  return calendar;
}

std::string UnescapeText(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    const char next = value[++i];
    out += next == 'n' || next == 'N' ? '\n' : next;
  }
  return out;
}

std::string AddressOf(std::string_view value) {
  std::string v = Trimmed(value);
  if (StartsWithIgnoreCase(v, "mailto:")) v.erase(0, 7);
  return v;
}

std::optional<int64_t> ParseDuration(std::string_view s) {
  s = std::string_view(s).substr(0, std::min<size_t>(s.size(), 64));
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty() || (s[0] != 'P' && s[0] != 'p')) return std::nullopt;
  s.remove_prefix(1);
  int64_t total = 0;
  int64_t number = -1;
  bool inTime = false, any = false;
  for (const char raw : s) {
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(raw)));
    if (c >= '0' && c <= '9') {
      number = (number < 0 ? 0 : number) * 10 + (c - '0');
      if (number > 100000000) return std::nullopt;
      continue;
    }
    if (c == 'T') {
      inTime = true;
      continue;
    }
    if (number < 0) return std::nullopt;
    int64_t unit = 0;
    if (c == 'W' && !inTime) unit = 7 * 86400;
    else if (c == 'D' && !inTime) unit = 86400;
    else if (c == 'H' && inTime) unit = 3600;
    else if (c == 'M' && inTime) unit = 60;
    else if (c == 'S' && inTime) unit = 1;
    else return std::nullopt;
    total += number * unit;
    number = -1;
    any = true;
  }
  if (!any || number >= 0) return std::nullopt;
  return negative ? -total : total;
}

int64_t DaysFromCivil(int64_t year, int month, int day) {
  // H. Hinnant's days_from_civil.
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::optional<ResolvedTime> ResolveTime(const Property& property, const Component& calendar) {
  const auto wall = ParseWallTime(Trimmed(property.value));
  if (!wall) return std::nullopt;
  ResolvedTime out;
  out.isDate = wall->isDate || EqualsIgnoreCase(property.Param("VALUE"), "DATE");
  out.unixSeconds = wall->Seconds();
  const std::string tzid = property.Param("TZID");
  if (wall->utc || out.isDate || tzid.empty()) return out;
  const Component* zone = FindZone(calendar, tzid);
  const auto offset = zone ? ZoneOffset(*zone, out.unixSeconds, wall->year) : std::nullopt;
  if (!offset) {
    out.zoneFound = false;
    return out;
  }
  out.unixSeconds -= *offset;
  return out;
}

}  // namespace mime::detail::ical

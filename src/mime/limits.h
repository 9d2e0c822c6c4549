// SPDX-License-Identifier: GPL-3.0-or-later
// Bounds on what one message may cost, whatever its header holds: a 1 MB
// file can carry 100,000 Content-Type parameters or 60,000 addresses, and
// neither may cost minutes of work or gigabytes of memory. Whatever a bound
// leaves out is named in a warning; the header block itself is always kept
// whole (PidTagTransportMessageHeaders).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace mime::detail {

// Recipient rows made from To, Cc and Bcc together at most; the display
// lists (PidTagDisplayTo...) still name every recipient.
inline constexpr size_t kMaxRecipientRows = 2000;

// Parameters of one Content-* field above which the parser is not asked for
// its warnings on the message: its check for repeated parameters compares
// each with every other one.
inline constexpr size_t kMaxParameters = 200;

// Fields of the top-level header section the parser is given: the first
// kMaxHeaderFields of any name, and after them only those the import reads
// (addresses, subject, date, identifiers, importance, Content-*...). A
// field longer than kMaxFieldBytes is cut there for the parser.
inline constexpr size_t kMaxHeaderFields = 1000;
inline constexpr size_t kMaxFieldBytes = 1 << 20;

struct TrimmedHeader {
  std::string parsed;     // the section as the parser gets it, its blank line included
  size_t end = 0;         // where the section ends in the input, after its blank line
  size_t fields = 0;      // fields in the section as it came
  size_t keptFields = 0;  // fields in `parsed`
  bool cut = false;       // a field was cut at kMaxFieldBytes
};
// The top-level header section at the start of `input` trimmed to the
// bounds above; nullopt when it is within them (or has no end in sight).
std::optional<TrimmedHeader> TrimHeaderSection(std::span<const uint8_t> input);

// The most parameters any Content-* field of the input holds (a field runs
// on through its folded lines). Linear in the input.
size_t MostContentParameters(std::span<const uint8_t> input);

}  // namespace mime::detail

// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/utf8_repair.h"

#include <cstdint>

namespace mime::detail {
namespace {

// Bytes the sequence starting with `c` should have, 0 for a byte that
// cannot start one.
size_t ExpectedLength(uint8_t c) {
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return 2;
  if (c >= 0xE0 && c <= 0xEF) return 3;
  if (c >= 0xF0 && c <= 0xF4) return 4;
  return 0;
}

// Whether `c` may follow the lead byte `lead` as its first continuation
// (excludes overlong forms, surrogates and values past U+10FFFF).
bool FitsAfterLead(uint8_t lead, uint8_t c) {
  if ((c & 0xC0) != 0x80) return false;
  if (lead == 0xE0) return c >= 0xA0;
  if (lead == 0xED) return c <= 0x9F;
  if (lead == 0xF0) return c >= 0x90;
  if (lead == 0xF4) return c <= 0x8F;
  return true;
}

}  // namespace

RepairedUtf8 RepairUtf8(std::string_view s) {
  RepairedUtf8 out;
  out.text.reserve(s.size() + 16);
  size_t i = 0;
  while (i < s.size()) {
    const auto lead = static_cast<uint8_t>(s[i]);
    const size_t want = ExpectedLength(lead);
    if (want == 1) {
      out.text += s[i++];
      continue;
    }
    size_t have = want == 0 ? 0 : 1;
    while (have > 0 && have < want && i + have < s.size()) {
      const auto c = static_cast<uint8_t>(s[i + have]);
      if (have == 1 ? !FitsAfterLead(lead, c) : (c & 0xC0) != 0x80) break;
      ++have;
    }
    if (want != 0 && have == want) {
      out.text.append(s.substr(i, want));
      ++out.multiByte;
      i += want;
    } else {
      out.text += "\xEF\xBF\xBD";
      ++out.replaced;
      i += have == 0 ? 1 : have;
    }
  }
  return out;
}

}  // namespace mime::detail

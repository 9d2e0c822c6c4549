// SPDX-License-Identifier: GPL-3.0-or-later
// Quoted-printable (RFC 2045 6.7) decoded the forgiving way: GMime keeps a
// soft line break that follows a broken escape ("=0=" at a line end) as
// text, which puts "=" and a line break into the middle of words.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace mime::detail {

// "=XX" is a byte; "=" before a line break (or at the very end) is a soft
// break; any other "=" stays as it is. White space at the end of a line was
// added in transport and goes.
std::vector<uint8_t> DecodeQuotedPrintable(std::string_view text);

}  // namespace mime::detail

// SPDX-License-Identifier: GPL-3.0-or-later
// RFC 2047 encoded words in a header value ("=?UTF-8?Q?Gesch=C3=A4ft?="),
// as Google Takeout writes labels that are not ASCII.
#pragma once

#include <string>
#include <string_view>

namespace mailstore::detail {

// The value with its encoded words in UTF-8, ISO-8859-1 or US-ASCII decoded
// to UTF-8 (white space between two encoded words dropped); any other word
// stays as it stands.
std::string DecodeEncodedWords(std::string_view value);

}  // namespace mailstore::detail

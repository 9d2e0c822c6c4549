// SPDX-License-Identifier: GPL-3.0-or-later
// RFC 2047 encoded words made safe for GMime 3.2's decoder, which goes wrong
// in two ways that lose or garble text: adjacent base64 words of one charset
// are joined before decoding, so '=' padding at the end of the first ends
// the decoding and the words after it vanish; and in address fields, raw
// 8-bit bytes inside a word are first read as the fallback charset and then
// decoded again as the word's own.
#pragma once

#include <string>
#include <string_view>

namespace mime::detail {

// `raw` with every run of adjacent encoded words that would be misread
// rewritten as one base64 word per charset, each word's bytes decoded
// alone. Everything else is left as it is.
std::string MendEncodedWords(std::string_view raw);

// Unstructured header text with its encoded words decoded, as UTF-8.
std::string DecodedHeaderText(const std::string& raw);

}  // namespace mime::detail

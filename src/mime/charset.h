// SPDX-License-Identifier: GPL-3.0-or-later
// Text in any declared character set to UTF-8, without ever failing: bytes a
// charset cannot explain become U+FFFD, unknown or missing labels fall back
// to UTF-8 when the bytes are valid UTF-8 and to Windows-1252 otherwise.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace mime::detail {

struct DecodedText {
  std::string utf8;
  std::string charsetUsed;  // the charset the text was finally read as (lower case)
  bool lossy = false;       // some bytes were replaced by U+FFFD
  // The bytes were read in the charset their label names (Latin-1 read as
  // its Windows superset counts); false when the label was missing, unknown
  // or wrong and another charset was used.
  bool asLabelled = true;
};

// `charset` is the label as found in the message ("" when none).
DecodedText DecodeText(std::span<const uint8_t> bytes, std::string_view charset);

// The Windows code page number of a MIME charset name ([MS-OXCMAIL] stores
// it as PidTagInternetCodepage); 0 when there is none we know.
int32_t CodepageOfCharset(std::string_view charset);

}  // namespace mime::detail

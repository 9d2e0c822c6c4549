// SPDX-License-Identifier: GPL-3.0-or-later
// Text labelled UTF-8 that holds a few invalid bytes: read as UTF-8 with
// only the bad sequences replaced, the way mail clients show it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mime::detail {

struct RepairedUtf8 {
  std::string text;
  size_t multiByte = 0;  // valid sequences of two or more bytes
  size_t replaced = 0;   // U+FFFD put in for invalid sequences
};

// Each maximal invalid subsequence (a lead byte and the continuation bytes
// that fit it, or one stray byte) becomes one U+FFFD.
RepairedUtf8 RepairUtf8(std::string_view s);

}  // namespace mime::detail

// SPDX-License-Identifier: GPL-3.0-or-later
// Repairs to the raw bytes of a message made before GMime parses it, where
// GMime would lose content: a header block that runs straight into its
// content (no blank line), a second Content-Type field that hides the
// multipart structure, and line breaks before a boundary that do not match
// the boundary's own (RFC 2046 5.1.1: the line break before a boundary
// belongs to the boundary, not to the part).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mime::detail {

struct RawEdit {
  size_t at = 0;       // offset in the input
  size_t remove = 0;   // bytes taken out from `at`
  std::string insert;  // bytes put in at `at`
};

// The edits for one whole message in `data` (its header section starts at
// offset 0), in increasing order of offset, none overlapping. With
// `whole` false `data` is only the start of the message and only its own
// header block is looked at. Each repair adds a note to `notes`.
std::vector<RawEdit> PlanRawRepairs(std::string_view data, bool whole,
                                    std::vector<std::string>& notes);

// A whole message held in memory with its repairs made.
std::vector<uint8_t> Repaired(const std::vector<uint8_t>& message, std::vector<std::string>& notes);

}  // namespace mime::detail

// SPDX-License-Identifier: GPL-3.0-or-later
// Apple Mail's .emlx / .partial.emlx: a line with the message's byte count,
// the message, then an XML property list whose "flags" integer holds the
// message's state (bit 0 read, 1 deleted, 2 answered, 4 flagged, 6 draft,
// 8 forwarded).
#pragma once

#include <cstdint>
#include <optional>

#include "mailstore/file_io.h"
#include "model/message_state.h"

namespace mailstore::detail {

struct EmlxLayout {
  uint64_t offset = 0;  // the message, after the count line
  uint64_t length = 0;  // the count, or what the file holds when it is shorter
  bool has_flags = false;
  uint64_t flags = 0;
};

// nullopt: the file does not start with a count line; with `need_plist`, also
// when no property list follows the counted bytes (what a file of another
// name must show to be taken for an .emlx).
std::optional<EmlxLayout> ReadEmlx(const ReadFile& file, bool need_plist);

struct EmlxState {
  model::MessageState state;
  bool deleted = false;
};
EmlxState StateOfEmlxFlags(uint64_t flags);

}  // namespace mailstore::detail

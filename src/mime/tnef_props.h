// SPDX-License-Identifier: GPL-3.0-or-later
// The MAPI property lists inside TNEF attributes (attMsgProps, attAttachment,
// the rows of attRecipTable; [MS-OXTNEF] 2.1.3.4): a count, then each
// property's type, id, name for ids of 0x8000 and above, and its values
// padded to four bytes. Every count is checked against the bytes left before
// anything is reserved for it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/message.h"

namespace mime::detail {

// A PtypObject value: the interface it was written as and its bytes (for an
// embedded message, IID_IMessage and a TNEF stream of its own).
struct TnefObject {
  uint16_t id = 0;
  model::Guid iid{};
  std::span<const uint8_t> data;
};

struct TnefPropList {
  model::PropertyBag bag;            // PtypString8 values already read as UTF-8 (PtypString)
  std::vector<TnefObject> objects;   // PtypObject values, which a bag cannot hold
  std::vector<std::string> skipped;  // what was read but left out, for warnings
};

// Reads one property list from the start of `in` and moves `in` past it.
// PtypString8 text is read in `charset8`. Returns false with `why` when the
// list is cut short or holds a type whose size is unknown.
bool ReadTnefPropList(std::span<const uint8_t>& in, std::string_view charset8, TnefPropList& out,
                      std::string& why);

// The rows of attRecipTable, each a property list of its own.
bool ReadTnefRecipientRows(std::span<const uint8_t> in, std::string_view charset8,
                           std::vector<TnefPropList>& rows, std::string& why);

inline constexpr model::Guid kIidIMessage = {0x07, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                             0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

}  // namespace mime::detail

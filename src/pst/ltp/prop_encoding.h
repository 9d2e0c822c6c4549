// SPDX-License-Identifier: GPL-3.0-or-later
// How property values look on disk ([MS-PST] 2.3.3.3 and 2.3.3.4): fixed-size
// values as little-endian numbers, strings as UTF-16LE, multi-valued
// properties as packed arrays (fixed) or a count, offsets and data (variable).
#pragma once

#include <cstdint>
#include <vector>

#include "pst/message.h"

namespace pst::ltp {

inline constexpr uint16_t kTypeObject = 0x000D;

// The type written to disk: 8-bit strings are stored as Unicode.
PropType DiskType(PropType t);
// Bytes of a fixed-size type (1, 2, 4, 8, 16); 0 for variable-size types.
size_t FixedSize(PropType t);
// Width of the value in a table row: the fixed size up to 8 bytes, otherwise
// 4 (an HNID).
uint8_t CellSize(PropType t);
// The value's bytes in its on-disk form. Throws PstError when the variant
// member does not match the type.
std::vector<uint8_t> EncodeValue(const PropValue& v);

}  // namespace pst::ltp

// SPDX-License-Identifier: GPL-3.0-or-later
// The 32-bit CRC of [MS-PST] 5.3: the reflected CRC-32 polynomial
// (0xEDB88320) with seed 0 and no final inversion. Every page, block and
// header checksum in a .pst file uses it.
#pragma once

#include <cstdint>
#include <span>

namespace pst {

// REQUIRES: none. Continues from crc, so ComputePstCrc(b, ComputePstCrc(a))
// equals the CRC of a followed by b.
uint32_t ComputePstCrc(std::span<const uint8_t> data, uint32_t crc = 0);

}  // namespace pst

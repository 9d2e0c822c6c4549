// SPDX-License-Identifier: GPL-3.0-or-later
// NDB_CRYPT_PERMUTE ([MS-PST] 5.1): the keyless byte substitution applied to
// the payload of data blocks when the header's bCryptMethod is 1. Internal
// blocks (XBLOCK, XXBLOCK, SLBLOCK, SIBLOCK), pages and the header are never
// encoded.
#pragma once

#include <cstdint>
#include <span>

namespace pst {

void PermuteEncode(std::span<uint8_t> data);
// Encodes from into to, which has the same size.
void PermuteEncode(std::span<const uint8_t> from, std::span<uint8_t> to);
void PermuteDecode(std::span<uint8_t> data);

namespace testing {
// Set by tests to compare the wide table lookup with the plain one.
extern bool g_forceByteByByte;
}  // namespace testing

}  // namespace pst

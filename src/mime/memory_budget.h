// SPDX-License-Identifier: GPL-3.0-or-later
// What an import may still allocate. GLib ends the process when an
// allocation fails (its allocator hooks have done nothing since 2.46), so
// the parser must never be handed more than the process can afford: before
// a message is parsed, and before a part is decoded, the work asks for its
// estimated memory here, against what is left under the process's address
// space and data limits, its control group's limit and the machine's
// available memory. What cannot be afforded is refused with a reason, so a
// run under a tight limit goes on with the next message.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace mime::detail {

// Bytes the process may still allocate under its limits; UINT64_MAX when
// nothing limits it.
uint64_t MemoryLeft();

// Holds `bytes` of the budget while it lives. Imports on other threads that
// hold part of the budget are waited for; when the memory is not there even
// without them, the constructor throws ImportError naming `what`.
class MemoryReservation {
 public:
  MemoryReservation(uint64_t bytes, const std::string& what);
  ~MemoryReservation();
  MemoryReservation(const MemoryReservation&) = delete;
  MemoryReservation& operator=(const MemoryReservation&) = delete;

 private:
  uint64_t bytes_;
};

// What parsing and converting a message held whole in memory may take: its
// bytes several times over (the parser's copy, decoded parts, the text as
// UTF-8 and UTF-16) and the parser's objects for each part it may hold.
uint64_t MessageMemoryEstimate(std::span<const uint8_t> message);

// The most bytes a part's content of `encodedSize` bytes can decode to.
uint64_t DecodedSizeBound(uint64_t encodedSize, bool base64);

// Values of this size or more cannot be stored: a .pst value's size is a
// 32-bit count.
inline constexpr uint64_t kMaxValueBytes = 0xFFFFFFFFull;

}  // namespace mime::detail

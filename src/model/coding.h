// SPDX-License-Identifier: GPL-3.0-or-later
// Little-endian encoding and decoding: every byte the .pst writer writes or
// reads, and the binary values the importer builds (entry IDs), go through
// these, never through packed structs or pointer casts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace model {

inline void PutU8(std::vector<uint8_t>& out, uint8_t v) { out.push_back(v); }
inline void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutU64(std::vector<uint8_t>& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutBytes(std::vector<uint8_t>& out, std::span<const uint8_t> b) {
  out.insert(out.end(), b.begin(), b.end());
}

// Stores into an existing buffer at an offset. REQUIRES: the bytes fit.
inline void StoreU16(std::span<uint8_t> buf, size_t at, uint16_t v) {
  buf[at] = static_cast<uint8_t>(v);
  buf[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(std::span<uint8_t> buf, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) buf[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreU64(std::span<uint8_t> buf, size_t at, uint64_t v) {
  for (size_t i = 0; i < 8; ++i) buf[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// REQUIRES: at + width <= buf.size().
inline uint16_t GetU16(std::span<const uint8_t> buf, size_t at) {
  return static_cast<uint16_t>(buf[at] | (buf[at + 1] << 8));
}
inline uint32_t GetU32(std::span<const uint8_t> buf, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(buf[at + i]) << (8 * i);
  return v;
}
inline uint64_t GetU64(std::span<const uint8_t> buf, size_t at) {
  uint64_t v = 0;
  for (size_t i = 0; i < 8; ++i) v |= static_cast<uint64_t>(buf[at + i]) << (8 * i);
  return v;
}

// UTF-8 to UTF-16LE bytes and back. Invalid UTF-8 becomes U+FFFD; unpaired
// surrogates on the way back become U+FFFD as well.
std::vector<uint8_t> Utf16LeFromUtf8(const std::string& s);
std::string Utf8FromUtf16Le(std::span<const uint8_t> bytes);

}  // namespace model

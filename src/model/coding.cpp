// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/coding.h"

#include <cstring>

namespace model {

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

std::vector<uint8_t> Utf16LeFromUtf8(const std::string& s) {
  // Every input byte gives at most one UTF-16 unit (a four-byte sequence
  // gives two), so twice the input length always suffices.
  std::vector<uint8_t> out(s.size() * 2);
  uint8_t* dst = out.data();
  auto put = [&dst](uint32_t unit) {
    *dst++ = static_cast<uint8_t>(unit);
    *dst++ = static_cast<uint8_t>(unit >> 8);
  };
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    // Plain text is mostly ASCII: eight such bytes at a time.
    while (i + 8 <= n) {
      uint64_t eight;
      std::memcpy(&eight, s.data() + i, 8);
      if (eight & 0x8080808080808080ULL) break;
      for (int k = 0; k < 8; ++k) {
        dst[2 * k] = static_cast<uint8_t>(s[i + static_cast<size_t>(k)]);
        dst[2 * k + 1] = 0;
      }
      dst += 16;
      i += 8;
    }
    if (i >= n) break;
    const auto b0 = static_cast<uint8_t>(s[i]);
    if (b0 < 0x80) {
      put(b0);
      ++i;
      continue;
    }
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if ((b0 & 0xE0) == 0xC0) {
      len = 2;
    } else if ((b0 & 0xF0) == 0xE0) {
      len = 3;
    } else if ((b0 & 0xF8) == 0xF0) {
      len = 4;
    }
    if (len > 1) {
      bool ok = i + len <= n;
      uint32_t v = b0 & (0xFF >> (len + 1));
      for (size_t k = 1; ok && k < len; ++k) {
        const auto b = static_cast<uint8_t>(s[i + k]);
        if ((b & 0xC0) != 0x80) ok = false;
        v = (v << 6) | (b & 0x3F);
      }
      static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
      if (ok && v >= kMin[len] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
        cp = v;
      } else {
        cp = 0xFFFD;
        len = 1;
      }
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 | (cp >> 10));
      put(0xDC00 | (cp & 0x3FF));
    } else {
      put(cp);
    }
    i += len;
  }
  out.resize(static_cast<size_t>(dst - out.data()));
  return out;
}

std::string Utf8FromUtf16Le(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  const size_t units = bytes.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    uint32_t u = GetU16(bytes, 2 * i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      const uint32_t lo = GetU16(bytes, 2 * (i + 1));
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        ++i;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
    AppendUtf8(out, u);
  }
  return out;
}

}  // namespace model

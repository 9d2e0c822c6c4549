// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/modified_utf7.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace mailstore::detail {
namespace {

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == ',') return 63;  // modified UTF-7 has ',' where base64 has '/'
  return -1;
}

void PutUtf8(uint32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// One shifted run (between '&' and '-'), as UTF-16 in base64; nullopt if it is not.
std::optional<std::string> DecodeRun(std::string_view run) {
  std::vector<uint16_t> units;
  uint32_t bits = 0;
  int count = 0;
  for (char c : run) {
    const int v = Base64Value(c);
    if (v < 0) return std::nullopt;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    count += 6;
    if (count >= 16) {
      count -= 16;
      units.push_back(static_cast<uint16_t>((bits >> count) & 0xFFFF));
    }
  }
  // What is left over is padding: fewer than 6 bits, all zero.
  if (count >= 6 || (bits & ((1u << count) - 1)) != 0 || units.empty()) return std::nullopt;
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    const uint32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return std::nullopt;
      PutUtf8(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00u), out);
      ++i;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return std::nullopt;
    } else {
      PutUtf8(u, out);
    }
  }
  return out;
}

}  // namespace

std::string DecodeModifiedUtf7(std::string_view name) {
  std::string out;
  size_t i = 0;
  while (i < name.size()) {
    if (name[i] != '&') {
      out += name[i++];
      continue;
    }
    const size_t end = name.find('-', i + 1);
    if (end == std::string_view::npos) return std::string(name);
    if (end == i + 1) {
      out += '&';
    } else {
      const std::optional<std::string> run = DecodeRun(name.substr(i + 1, end - i - 1));
      if (!run) return std::string(name);
      out += *run;
    }
    i = end + 1;
  }
  return out;
}

}  // namespace mailstore::detail

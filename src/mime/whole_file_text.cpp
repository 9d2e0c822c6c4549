// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/whole_file_text.h"

#include <algorithm>

namespace mime::detail {
namespace {

void AppendUtf8(std::vector<uint8_t>& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<uint8_t>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<uint8_t>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<uint8_t>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<uint8_t>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<uint8_t>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<uint8_t>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<uint8_t>(0x80 | (cp & 0x3F)));
  }
}

// UTF-16 after its byte order mark to UTF-8. A lone surrogate or an odd
// last byte becomes U+FFFD; `bad` counts them.
std::vector<uint8_t> Utf16ToUtf8(std::span<const uint8_t> units, bool littleEndian, size_t& bad) {
  auto unitAt = [&](size_t i) -> uint32_t {
    const uint32_t a = units[i], b = units[i + 1];
    return littleEndian ? (a | (b << 8)) : ((a << 8) | b);
  };
  std::vector<uint8_t> out;
  out.reserve(units.size() / 2 + units.size() / 8);
  size_t i = 0;
  while (i + 1 < units.size()) {
    uint32_t cp = unitAt(i);
    i += 2;
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && unitAt(i) >= 0xDC00 && unitAt(i) <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (unitAt(i) - 0xDC00);
      i += 2;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
      ++bad;
    }
    AppendUtf8(out, cp);
  }
  if (i < units.size()) {
    AppendUtf8(out, 0xFFFD);
    ++bad;
  }
  return out;
}

}  // namespace

std::optional<std::vector<uint8_t>> WholeFileAsMail(std::span<const uint8_t> data,
                                                    std::vector<std::string>& notes) {
  std::optional<std::vector<uint8_t>> text;
  if (data.size() >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF))) {
    const bool little = data[0] == 0xFF;
    size_t bad = 0;
    text = Utf16ToUtf8(data.subspan(2), little, bad);
    notes.push_back(std::string("the file is UTF-16 text (") + (little ? "little" : "big") +
                    "-endian); it was read as UTF-8" +
                    (bad ? ", " + std::to_string(bad) + " broken character(s) replaced" : std::string()));
  }
  const std::span<const uint8_t> now = text ? std::span<const uint8_t>(*text) : data;
  // Line feeds anywhere mean the carriage returns are not the line ends.
  if (std::find(now.begin(), now.end(), uint8_t{'\n'}) == now.end() &&
      std::find(now.begin(), now.end(), uint8_t{'\r'}) != now.end()) {
    std::vector<uint8_t> lines(now.begin(), now.end());
    std::replace(lines.begin(), lines.end(), uint8_t{'\r'}, uint8_t{'\n'});
    text = std::move(lines);
    notes.push_back("the file's lines end in a carriage return alone; they were read as line breaks");
  }
  return text;
}

}  // namespace mime::detail

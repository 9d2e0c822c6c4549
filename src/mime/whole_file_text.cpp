// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/whole_file_text.h"

#include <algorithm>
#include <utility>

#include "model/coding.h"

namespace mime::detail {

std::optional<std::vector<uint8_t>> WholeFileAsMail(std::span<const uint8_t> data,
                                                    std::vector<std::string>& notes) {
  std::optional<std::vector<uint8_t>> text;
  if (data.size() >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF))) {
    const bool little = data[0] == 0xFF;
    std::vector<uint8_t> units(data.begin() + 2, data.end());
    if (!little)
      for (size_t i = 0; i + 1 < units.size(); i += 2) std::swap(units[i], units[i + 1]);
    const std::string utf8 = model::Utf8FromUtf16Le(units);  // lone surrogates become U+FFFD
    text.emplace(utf8.begin(), utf8.end());
    notes.push_back(std::string("the file is UTF-16 text (") + (little ? "little" : "big") +
                    "-endian); it was read as UTF-8" +
                    (units.size() % 2 ? std::string(", its odd last byte left out") : std::string()));
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

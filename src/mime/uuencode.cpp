// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/uuencode.h"

#include <string_view>

namespace mime::detail {
namespace {

// "begin MODE NAME" with a three- or four-digit octal mode.
bool ParseBeginLine(std::string_view line, std::string& name) {
  if (line.substr(0, 6) != "begin ") return false;
  size_t i = 6;
  const size_t modeStart = i;
  while (i < line.size() && line[i] >= '0' && line[i] <= '7') ++i;
  if (i - modeStart < 3 || i - modeStart > 4 || i >= line.size() || line[i] != ' ') return false;
  std::string_view rest = line.substr(i + 1);
  while (!rest.empty() && (rest.back() == '\r' || rest.back() == ' ' || rest.back() == '\t'))
    rest.remove_suffix(1);
  if (rest.empty()) return false;
  name = std::string(rest);
  return true;
}

int UuValue(char c) { return (c - 0x20) & 0x3F; }

// Decodes one line; returns false when it is not a uuencoded data line.
// With `padAny`, a line may have lost any number of trailing spaces (a part
// declared uuencoded); in running text at most two, so that prose is not
// taken for data.
bool DecodeLine(std::string_view line, std::vector<uint8_t>& out, bool& last, bool padAny) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  if (line.empty()) return false;
  const int count = UuValue(line[0]);
  if (count == 0) {
    last = true;
    return line.size() <= 2 && (line[0] == '`' || line[0] == ' ');
  }
  // Each group of four characters carries three bytes; some encoders drop
  // trailing spaces, so a short line is padded as if they were there.
  const size_t needed = static_cast<size_t>((count + 2) / 3) * 4;
  if (!padAny && line.size() - 1 + 2 < needed) return false;
  for (char c : line.substr(1))
    if (c < 0x20 || c > 0x60) return false;
  int produced = 0;
  for (size_t g = 0; produced < count; g += 4) {
    char q[4];
    for (size_t k = 0; k < 4; ++k) q[k] = (1 + g + k < line.size()) ? line[1 + g + k] : ' ';
    const int a = UuValue(q[0]), b = UuValue(q[1]), c = UuValue(q[2]), d = UuValue(q[3]);
    const uint8_t bytes[3] = {static_cast<uint8_t>((a << 2) | (b >> 4)),
                              static_cast<uint8_t>(((b & 0x0F) << 4) | (c >> 2)),
                              static_cast<uint8_t>(((c & 0x03) << 6) | d)};
    for (int k = 0; k < 3 && produced < count; ++k, ++produced) out.push_back(bytes[k]);
  }
  return true;
}

}  // namespace

UuSplit ExtractUuencoded(const std::string& text, bool padAny) {
  UuSplit result;
  if (text.find("begin ") == std::string::npos) {
    result.text = text;
    return result;
  }
  std::string_view rest(text);
  std::string out;
  out.reserve(text.size());
  while (!rest.empty()) {
    size_t eol = rest.find('\n');
    const size_t lineLen = eol == std::string_view::npos ? rest.size() : eol + 1;
    std::string_view line = rest.substr(0, lineLen);
    std::string name;
    if (!ParseBeginLine(line.substr(0, line.find('\n')), name)) {
      out.append(line);
      rest.remove_prefix(lineLen);
      continue;
    }
    // Look ahead: decode data lines until "end" or the first line that is
    // not uuencoded.
    std::string_view scan = rest.substr(lineLen);
    UuFile file{name, {}};
    size_t dataLines = 0;
    bool last = false;
    while (!scan.empty()) {
      size_t e = scan.find('\n');
      const size_t len = e == std::string_view::npos ? scan.size() : e + 1;
      std::string_view l = scan.substr(0, len);
      std::string_view trimmed = l;
      while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == '\r'))
        trimmed.remove_suffix(1);
      if (trimmed == "end") {
        scan.remove_prefix(len);
        break;
      }
      if (last || !DecodeLine(l, file.bytes, last, padAny)) {
        if (last && trimmed.empty()) {
          scan.remove_prefix(len);
          continue;
        }
        break;
      }
      ++dataLines;
      scan.remove_prefix(len);
    }
    if (dataLines == 0) {
      out.append(line);
      rest.remove_prefix(lineLen);
      continue;
    }
    result.files.push_back(std::move(file));
    rest = scan;
  }
  result.text = std::move(out);
  return result;
}

bool IsUuencoding(const std::string& cte) {
  std::string lower;
  for (char c : cte) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return lower == "x-uuencode" || lower == "x-uue" || lower == "uuencode" || lower == "uue" ||
         lower == "x-uuencoded";
}

std::vector<uint8_t> DecodeUuencodedPart(const std::string& raw) {
  UuSplit split = ExtractUuencoded(raw, true);
  if (split.files.empty()) return {};
  return std::move(split.files.front().bytes);
}

}  // namespace mime::detail

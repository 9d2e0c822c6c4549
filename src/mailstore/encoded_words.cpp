// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/encoded_words.h"

#include <cstdint>
#include <optional>
#include <utility>

#include "mailstore/file_io.h"

namespace mailstore::detail {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::optional<std::string> DecodeQ(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '_') {
      out += ' ';
    } else if (text[i] == '=') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int hi = HexValue(text[i + 1]);
      const int lo = HexValue(text[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::optional<std::string> DecodeB(std::string_view text) {
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    const int v = Base64Value(c);
    if (v < 0) return std::nullopt;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

std::string Latin1ToUtf8(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return out;
}

bool Same(std::string_view a, std::string_view b) { return a.size() == b.size() && EndsWithNoCase(a, b); }

// The encoded word at the start of `s` ("=?cs?E?text?="): its decoded text
// and its length; nullopt if it is none or in a charset not known here.
std::optional<std::pair<std::string, size_t>> EncodedWord(std::string_view s) {
  if (s.substr(0, 2) != "=?") return std::nullopt;
  const size_t q1 = s.find('?', 2);
  if (q1 == std::string_view::npos || q1 + 2 >= s.size() || s[q1 + 2] != '?') return std::nullopt;
  // The text holds no '?' (RFC 2047), so the word ends at the next one: a
  // search that ran on to a later "?=" would cross every "=?" in between,
  // and a value full of unclosed words would cost the square of its length.
  const size_t end = s.find('?', q1 + 3);
  if (end == std::string_view::npos || end + 1 >= s.size() || s[end + 1] != '=') return std::nullopt;
  std::string_view charset = s.substr(2, q1 - 2);
  charset = charset.substr(0, charset.find('*'));  // RFC 2231 language
  const char encoding = s[q1 + 1];
  const std::string_view text = s.substr(q1 + 3, end - q1 - 3);
  std::optional<std::string> bytes;
  if (encoding == 'Q' || encoding == 'q') bytes = DecodeQ(text);
  if (encoding == 'B' || encoding == 'b') bytes = DecodeB(text);
  if (!bytes) return std::nullopt;
  if (Same(charset, "utf-8") || Same(charset, "us-ascii")) return std::make_pair(*bytes, end + 2);
  if (Same(charset, "iso-8859-1") || Same(charset, "latin1")) return std::make_pair(Latin1ToUtf8(*bytes), end + 2);
  return std::nullopt;
}

}  // namespace

std::string DecodeEncodedWords(std::string_view value) {
  std::string out;
  size_t i = 0;
  bool after_word = false;
  size_t pending_space = std::string::npos;  // white space after an encoded word, kept unless another follows
  while (i < value.size()) {
    if (const auto word = EncodedWord(value.substr(i))) {
      if (after_word && pending_space != std::string::npos) out.resize(pending_space);
      out += word->first;
      i += word->second;
      after_word = true;
      pending_space = std::string::npos;
      continue;
    }
    const char c = value[i++];
    if (c == ' ' || c == '\t') {
      if (after_word && pending_space == std::string::npos) pending_space = out.size();
    } else {
      after_word = false;
      pending_space = std::string::npos;
    }
    out += c;
  }
  return out;
}

}  // namespace mailstore::detail

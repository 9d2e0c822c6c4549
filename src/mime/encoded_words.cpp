#include "mime/encoded_words.h"

#include <cstdint>
#include <vector>

#include "mime/text_util.h"

namespace mime::detail {
namespace {

constexpr size_t npos = std::string_view::npos;

struct Word {
  size_t end = 0;  // first byte after "?="
  std::string charset;
  std::string bytes;   // the decoded bytes, still in `charset`
  bool base64 = false;
  bool padded = false;  // base64 text ending in '='
  bool eightBit = false;
};

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

std::string DecodeBase64(std::string_view text) {
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    const int v = Base64Value(c);
    if (v < 0) continue;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xFF);
    }
  }
  return out;
}

std::string EncodeBase64(std::string_view bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t g = static_cast<uint32_t>(static_cast<uint8_t>(bytes[i]) << 16 |
                                             static_cast<uint8_t>(bytes[i + 1]) << 8 |
                                             static_cast<uint8_t>(bytes[i + 2]));
    for (int s = 18; s >= 0; s -= 6) out += kAlphabet[(g >> s) & 0x3F];
  }
  if (const size_t left = bytes.size() - i) {
    uint32_t g = static_cast<uint32_t>(static_cast<uint8_t>(bytes[i]) << 16);
    if (left == 2) g |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1]) << 8);
    out += kAlphabet[(g >> 18) & 0x3F];
    out += kAlphabet[(g >> 12) & 0x3F];
    out += left == 2 ? kAlphabet[(g >> 6) & 0x3F] : '=';
    out += '=';
  }
  return out;
}

// "=?charset?B?text?=" or "=?charset?Q?text?=" at `at`.
bool ParseWord(std::string_view s, size_t at, Word& w) {
  if (s.compare(at, 2, "=?") != 0) return false;
  const size_t q1 = s.find('?', at + 2);
  if (q1 == npos || q1 == at + 2 || q1 + 2 >= s.size() || s[q1 + 2] != '?') return false;
  const std::string_view charset = s.substr(at + 2, q1 - at - 2);
  if (charset.find_first_of(" \t\r\n\"") != npos) return false;
  const char enc = s[q1 + 1];
  if (enc != 'B' && enc != 'b' && enc != 'Q' && enc != 'q') return false;
  const size_t close = s.find("?=", q1 + 3);
  if (close == npos) return false;
  const std::string_view text = s.substr(q1 + 3, close - q1 - 3);
  if (text.find_first_of(" \t\r\n") != npos) return false;
  w.end = close + 2;
  w.charset = AsciiLower(charset.substr(0, charset.find('*')));  // RFC 2231 language dropped
  w.base64 = enc == 'B' || enc == 'b';
  w.padded = w.base64 && !text.empty() && text.back() == '=';
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) w.eightBit = true;
  if (w.base64) {
    w.bytes = DecodeBase64(text);
    return true;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '_') {
      w.bytes += ' ';
    } else if (text[i] == '=' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      w.bytes += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      w.bytes += text[i];
    }
  }
  return true;
}

bool IsFoldingSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string MendEncodedWords(std::string_view s) {
  if (s.find("=?") == npos) return std::string(s);
  std::string out;
  out.reserve(s.size());
  size_t pos = 0;
  while (pos < s.size()) {
    const size_t at = s.find("=?", pos);
    if (at == npos) break;
    Word first;
    if (!ParseWord(s, at, first)) {
      out.append(s.substr(pos, at + 2 - pos));
      pos = at + 2;
      continue;
    }
    out.append(s.substr(pos, at - pos));
    // The run: words separated by nothing but folding white space.
    std::vector<Word> run{std::move(first)};
    while (true) {
      size_t k = run.back().end;
      while (k < s.size() && IsFoldingSpace(s[k])) ++k;
      Word next;
      if (k >= s.size() || !ParseWord(s, k, next)) break;
      run.push_back(std::move(next));
    }
    bool misread = false;
    for (size_t i = 0; i < run.size(); ++i) {
      if (run[i].eightBit) misread = true;
      if (run[i].padded && i + 1 < run.size() && run[i + 1].base64 &&
          run[i + 1].charset == run[i].charset)
        misread = true;
    }
    const size_t end = run.back().end;
    if (!misread) {
      out.append(s.substr(at, end - at));
    } else {
      for (size_t i = 0; i < run.size();) {
        std::string bytes;
        size_t j = i;
        for (; j < run.size() && run[j].charset == run[i].charset; ++j) bytes += run[j].bytes;
        if (i > 0) out += ' ';
        out += "=?" + run[i].charset + "?B?" + EncodeBase64(bytes) + "?=";
        i = j;
      }
    }
    pos = end;
  }
  if (pos < s.size()) out.append(s.substr(pos));
  return out;
}

}  // namespace mime::detail

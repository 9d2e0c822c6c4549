// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/encoded_words.h"

#include <glib.h>

#include <vector>

#include "mime/gmime_session.h"
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

std::string DecodeBase64(std::string_view text) {
  const std::string copy(text);
  gsize length = 0;
  guchar* bytes = g_base64_decode(copy.c_str(), &length);  // skips what is not base64
  std::string out(reinterpret_cast<const char*>(bytes), length);
  g_free(bytes);
  return out;
}

std::string EncodeBase64(std::string_view bytes) {
  gchar* text = g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
  std::string out(text);
  g_free(text);
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

std::string DecodedHeaderText(const std::string& raw) {
  if (raw.find("=?") == std::string::npos) return raw;
  EnsureGMime();  // decoding needs GMime's charset tables
  const std::string mended = MendEncodedWords(raw);
  char* decoded = g_mime_utils_header_decode_text(nullptr, mended.c_str());  // transfer full
  std::string out = ValidUtf8(decoded ? decoded : raw.c_str());
  g_free(decoded);
  return out;
}

}  // namespace mime::detail

// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/piece_decoders.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "mime/quoted_printable.h"

namespace mime::detail {
namespace {

// Value of each byte in the base64 alphabet; -1 for bytes outside it and -2
// for '=', which ends the current group.
const std::array<int8_t, 256>& Base64Values() {
  static const std::array<int8_t, 256> table = [] {
    std::array<int8_t, 256> t{};
    t.fill(-1);
    for (int c = 'A'; c <= 'Z'; ++c) t[static_cast<size_t>(c)] = static_cast<int8_t>(c - 'A');
    for (int c = 'a'; c <= 'z'; ++c) t[static_cast<size_t>(c)] = static_cast<int8_t>(c - 'a' + 26);
    for (int c = '0'; c <= '9'; ++c) t[static_cast<size_t>(c)] = static_cast<int8_t>(c - '0' + 52);
    t['+'] = 62;
    t['/'] = 63;
    t['='] = -2;
    return t;
  }();
  return table;
}

}  // namespace

size_t Base64Pieces::Decode(std::span<const uint8_t> in, uint8_t* to) {
  const std::array<int8_t, 256>& values = Base64Values();
  uint8_t* dst = to;
  const size_t n = in.size();
  // Kept in locals: the stores through dst could otherwise alias them.
  uint32_t acc = acc_;
  int bits = bits_;
  for (size_t i = 0; i < n; ++i) {
    // Whole groups of four alphabet characters, the bulk of any part, go
    // three bytes at a time.
    while (bits == 0 && i + 4 <= n) {
      const int a = values[in[i]], b = values[in[i + 1]], c = values[in[i + 2]], d = values[in[i + 3]];
      if ((a | b | c | d) < 0) break;
      const uint32_t group = static_cast<uint32_t>(a << 18 | b << 12 | c << 6 | d);
      dst[0] = static_cast<uint8_t>(group >> 16);
      dst[1] = static_cast<uint8_t>(group >> 8);
      dst[2] = static_cast<uint8_t>(group);
      dst += 3;
      i += 4;
    }
    if (i >= n) break;
    const int v = values[in[i]];
    if (v >= 0) {
      acc = (acc << 6) | static_cast<uint32_t>(v);
      bits += 6;
      if (bits >= 8) {
        bits -= 8;
        *dst++ = static_cast<uint8_t>(acc >> bits);
        acc &= (1u << bits) - 1;
      }
    } else if (v == -2) {
      acc = 0;
      bits = 0;
    }
  }
  acc_ = acc;
  bits_ = bits;
  return static_cast<size_t>(dst - to);
}

bool Base64Pieces::Feed(std::span<const uint8_t> in, std::vector<uint8_t>& out) {
  const size_t used = out.size();
  out.resize(used + MaxDecoded(in.size()));
  out.resize(used + Decode(in, out.data() + used));
  return true;
}

bool QuotedPrintablePieces::Feed(std::span<const uint8_t> in, std::vector<uint8_t>& out) {
  const std::string_view piece(reinterpret_cast<const char*>(in.data()), in.size());
  const size_t firstBreak = piece.find('\n');
  if (line_.size() + std::min(firstBreak, piece.size()) > maxLine_) return false;
  const size_t lastBreak = piece.rfind('\n');
  if (lastBreak == std::string_view::npos) {
    line_.append(piece);
    return true;
  }
  // Every line up to the last line break is whole: decoded now, it reads
  // as it would in the whole content.
  std::vector<uint8_t> decoded;
  if (line_.empty()) {
    decoded = DecodeQuotedPrintable(piece.substr(0, lastBreak + 1));
  } else {
    line_.append(piece.substr(0, lastBreak + 1));
    decoded = DecodeQuotedPrintable(line_);
  }
  out.insert(out.end(), decoded.begin(), decoded.end());
  line_.assign(piece.substr(lastBreak + 1));
  return true;
}

void QuotedPrintablePieces::Finish(std::vector<uint8_t>& out) {
  const std::vector<uint8_t> decoded = DecodeQuotedPrintable(line_);
  out.insert(out.end(), decoded.begin(), decoded.end());
  line_.clear();
}

}  // namespace mime::detail

// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/mbox_unquote.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "mime/message_file.h"

namespace mime {

size_t UnquoteFromLines(uint8_t* data, size_t n, bool& atLineStart) {
  static constexpr std::string_view kFrom = "From ";
  size_t out = 0;
  size_t i = 0;
  while (i < n) {
    if (atLineStart && data[i] == '>') {
      size_t k = i;
      while (k < n && data[k] == '>') ++k;
      if (n - k >= kFrom.size() && std::memcmp(data + k, kFrom.data(), kFrom.size()) == 0) ++i;  // one '>' goes
    }
    // The rest of the line, its end included, moves down as it is.
    const void* nl = std::memchr(data + i, '\n', n - i);
    const size_t end = nl ? static_cast<size_t>(static_cast<const uint8_t*>(nl) - data) + 1 : n;
    if (out != i) std::memmove(data + out, data + i, end - i);
    out += end - i;
    i = end;
    atLineStart = nl != nullptr;
  }
  return out;
}

std::string CopyRange(int from, uint64_t offset, uint64_t length, bool unquote, int to, size_t chunk) {
  chunk = std::max<size_t>(chunk, 16);
  std::vector<uint8_t> buffer(chunk);
  bool atLineStart = true;
  uint64_t done = 0;
  while (done < length) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk, length - done));
    const int64_t got = file::ReadAt(from, buffer.data(), want, offset + done);
    if (got < 0) return "cannot read it: " + file::LastError();
    if (got == 0) break;
    size_t take = static_cast<size_t>(got);
    if (unquote && done + take < length) {
      // A line longer than the chunk is passed through in pieces; its start
      // was judged with the chunk it began in.
      const auto last = std::find(buffer.rbegin() + static_cast<ptrdiff_t>(chunk - take), buffer.rend(), '\n');
      if (last != buffer.rend()) take = static_cast<size_t>(buffer.rend() - last);
    }
    const size_t keep = unquote ? UnquoteFromLines(buffer.data(), take, atLineStart) : take;
    size_t written = 0;
    while (written < keep) {
      const int64_t w = file::Write(to, buffer.data() + written, keep - written);
      if (w < 0) return "cannot write a temporary copy of it: " + file::LastError();
      written += static_cast<size_t>(w);
    }
    done += take;
  }
  return {};
}

}  // namespace mime

// SPDX-License-Identifier: GPL-3.0-or-later
// Transfer encodings undone a piece at a time, so that a large part can be
// decoded while it is read instead of after it was read whole. Fed the
// same content in any cut, a decoder gives the same bytes as in one piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mime::detail {

class PieceDecoder {
 public:
  virtual ~PieceDecoder() = default;
  // Decodes the next piece of the content onto the end of `out`. False
  // when the content cannot be decoded in pieces after all (the caller
  // then decodes it whole); the decoder is of no further use then.
  virtual bool Feed(std::span<const uint8_t> in, std::vector<uint8_t>& out) = 0;
  // The bytes still held back for what might have followed.
  virtual void Finish(std::vector<uint8_t>& out) = 0;
};

// Base64 that never gives up: characters outside the alphabet are skipped,
// '=' ends the current group wherever it stands (so concatenated base64
// pieces each decode right), and a cut-off last group still yields the
// whole bytes it holds (GMime drops them).
class Base64Pieces final : public PieceDecoder {
 public:
  // The most bytes Decode writes for `n` characters.
  static size_t MaxDecoded(size_t n) { return n / 4 * 3 + 3; }
  // Decodes `in` to `to`, which has room for MaxDecoded(in.size()) bytes;
  // returns the number of bytes written.
  size_t Decode(std::span<const uint8_t> in, uint8_t* to);
  bool Feed(std::span<const uint8_t> in, std::vector<uint8_t>& out) override;
  void Finish(std::vector<uint8_t>&) override {}

 private:
  uint32_t acc_ = 0;
  int bits_ = 0;
};

// Quoted-printable as DecodeQuotedPrintable reads it. What a byte decodes to
// depends on the rest of its line (blanks before a line break go), so a
// line is decoded once its line break is there; a line longer than
// `maxLine` bytes makes Feed give up.
class QuotedPrintablePieces final : public PieceDecoder {
 public:
  explicit QuotedPrintablePieces(size_t maxLine = 1 << 20) : maxLine_(maxLine) {}
  bool Feed(std::span<const uint8_t> in, std::vector<uint8_t>& out) override;
  void Finish(std::vector<uint8_t>& out) override;

 private:
  size_t maxLine_;
  std::string line_;  // the start of a line whose line break has not come yet
};

}  // namespace mime::detail

// SPDX-License-Identifier: GPL-3.0-or-later
// Files uuencoded inline in a plain-text body ("begin 644 name" ... "end"),
// as older mailers sent attachments before MIME.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mime::detail {

struct UuFile {
  std::string name;
  std::vector<uint8_t> bytes;
};

struct UuSplit {
  std::string text;  // the body with every decoded block taken out
  std::vector<UuFile> files;
};

// Finds and decodes the blocks. A "begin" line not followed by uuencoded
// lines is left in the text; a block cut off before its "end" keeps what
// was decoded.
UuSplit ExtractUuencoded(const std::string& text, bool padAny = false);

// The file of a part sent with Content-Transfer-Encoding x-uuencode (or one
// of its other names), decoded leniently; empty when it holds no block.
bool IsUuencoding(const std::string& contentTransferEncoding);
std::vector<uint8_t> DecodeUuencodedPart(const std::string& raw);

}  // namespace mime::detail

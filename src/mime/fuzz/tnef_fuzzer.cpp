// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry: any bytes through the TNEF decoder alone. Each
// attribute's checksum is made right first, so that mutations get past the
// attribute stream into the property lists and embedded messages; a crash,
// a leak, undefined behaviour or any exception is a finding.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "mime/gmime_session.h"
#include "mime/tnef_decoder.h"
#include "model/coding.h"

namespace {

void FixChecksums(std::vector<uint8_t>& b) {
  size_t pos = 6;  // after the signature and the legacy key
  while (pos + 11 <= b.size()) {
    const uint32_t length = model::GetU32(b, pos + 5);
    if (length > b.size() - pos - 11) return;
    uint16_t sum = 0;
    for (size_t i = 0; i < length; ++i) sum = static_cast<uint16_t>(sum + b[pos + 9 + i]);
    model::StoreU16(b, pos + 9 + length, sum);
    pos += 11 + length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mime::detail::EnsureGMime();
  std::vector<uint8_t> bytes(data, data + size);
  FixChecksums(bytes);
  model::Message message;
  std::vector<std::string> notes;
  std::string why;
  const mime::detail::TnefDecodeLimits limits{8, 1};
  if (mime::detail::DecodeTnef(bytes, limits, message, notes, why))
    for (const auto& a : message.attachments)
      if (a.data) (void)model::ReadAll(*a.data);
  return 0;
}

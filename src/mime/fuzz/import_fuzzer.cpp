// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry: any bytes through the importer. An ImportError is a
// proper answer; a crash, a leak, undefined behaviour or any other
// exception is a finding.
#include <cstddef>
#include <cstdint>
#include <span>

#include "mime/importer.h"
#include "model/byte_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  model::Message message;
  mime::ImportWarnings warnings;
  mime::ImportOptions options;
  options.fixedNow = 1;
  try {
    mime::ImportMessageData(std::span<const uint8_t>(data, size), message, options, &warnings);
  } catch (const mime::ImportError&) {
    return 0;
  }
  // Touch what a writer would read, so that bad sizes or sources show up.
  for (const auto& a : message.attachments)
    if (a.data) (void)model::ReadAll(*a.data);
  return 0;
}

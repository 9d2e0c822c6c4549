// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/entry_ids.h"

#include "mime/text_util.h"
#include "model/coding.h"

namespace mime::detail {
namespace {

// MAPI_ONE_OFF_UID ([MS-OXCDATA] 2.2.5.1 ProviderUID).
constexpr uint8_t kOneOffProvider[16] = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                         0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
constexpr uint16_t kOneOffUnicode = 0x8000;     // MAPI_ONE_OFF_UNICODE
constexpr uint16_t kOneOffNoRichInfo = 0x0001;  // MAPI_ONE_OFF_NO_RICH_INFO: no TNEF

void PutUnicodeZ(model::Bytes& out, const std::string& utf8) {
  model::PutBytes(out, model::Utf16LeFromUtf8(utf8));
  model::PutU16(out, 0);
}

}  // namespace

model::Bytes OneOffEntryId(const std::string& displayName, const std::string& addressType,
                         const std::string& address) {
  model::Bytes out;
  model::PutU32(out, 0);
  model::PutBytes(out, kOneOffProvider);
  model::PutU16(out, 0);  // version
  model::PutU16(out, kOneOffUnicode | kOneOffNoRichInfo);
  PutUnicodeZ(out, displayName);
  PutUnicodeZ(out, addressType);
  PutUnicodeZ(out, address);
  return out;
}

model::Bytes SearchKey(const std::string& addressType, const std::string& address) {
  const std::string key = AsciiUpper(addressType + ":" + address);
  model::Bytes out(key.begin(), key.end());
  out.push_back(0);
  return out;
}

model::Bytes FlatEntryList(const std::vector<model::Bytes>& entryIds) {
  model::Bytes entries;
  for (const auto& id : entryIds) {
    model::PutU32(entries, static_cast<uint32_t>(id.size()));
    model::PutBytes(entries, id);
    while (entries.size() % 4 != 0) entries.push_back(0);
  }
  model::Bytes out;
  model::PutU32(out, static_cast<uint32_t>(entryIds.size()));
  model::PutU32(out, static_cast<uint32_t>(entries.size()));
  model::PutBytes(out, entries);
  return out;
}

}  // namespace mime::detail

// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/tnef_reader.h"

#include <algorithm>

#include "model/coding.h"
#include "model/message.h"

namespace mime::detail {
namespace {

// Level (1), id (4), length (4) before the data; checksum (2) after it.
constexpr size_t kAttributeHead = 9;
constexpr size_t kChecksumSize = 2;

std::string At(size_t offset) { return " at byte " + std::to_string(offset); }

}  // namespace

std::optional<std::vector<TnefAttribute>> ReadTnefAttributes(std::span<const uint8_t> stream,
                                                             std::string& why) {
  if (stream.size() < 6 || model::GetU32(stream, 0) != kTnefSignature) {
    why = "it does not start with the TNEF signature";
    return std::nullopt;
  }
  std::vector<TnefAttribute> out;
  size_t pos = 6;  // after the signature and the legacy key
  while (pos < stream.size()) {
    const std::span<const uint8_t> rest = stream.subspan(pos);
    if (std::all_of(rest.begin(), rest.end(), [](uint8_t b) { return b == 0; })) break;
    if (rest.size() < kAttributeHead + kChecksumSize) {
      why = "it is cut short" + At(pos);
      return std::nullopt;
    }
    TnefAttribute a;
    a.level = rest[0];
    a.id = model::GetU32(rest, 1);
    const uint32_t length = model::GetU32(rest, 5);
    if (a.level != kTnefLevelMessage && a.level != kTnefLevelAttachment) {
      why = "an attribute of unknown level " + std::to_string(a.level) + At(pos);
      return std::nullopt;
    }
    if (length > rest.size() - kAttributeHead - kChecksumSize) {
      why = "an attribute of " + std::to_string(length) + " bytes runs past its end" + At(pos);
      return std::nullopt;
    }
    a.data = rest.subspan(kAttributeHead, length);
    uint16_t sum = 0;
    for (const uint8_t b : a.data) sum = static_cast<uint16_t>(sum + b);
    if (model::GetU16(rest, kAttributeHead + length) != sum) {
      why = "an attribute's checksum is wrong" + At(pos);
      return std::nullopt;
    }
    out.push_back(a);
    pos += kAttributeHead + length + kChecksumSize;
  }
  return out;
}

std::optional<int64_t> TnefDateAsFileTime(std::span<const uint8_t> data) {
  if (data.size() < 12) return std::nullopt;
  const int year = model::GetU16(data, 0), month = model::GetU16(data, 2), day = model::GetU16(data, 4);
  const int hour = model::GetU16(data, 6), minute = model::GetU16(data, 8), second = model::GetU16(data, 10);
  if (year < 1601 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
      minute > 59 || second > 59)
    return std::nullopt;
  // Days since 1970-01-01 of a proleptic Gregorian date (the era-based method).
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = y / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days = static_cast<int64_t>(era) * 146097 + doe - 719468;
  return model::FileTimeFromUnix(days * 86400 + hour * 3600 + minute * 60 + second);
}

std::span<const uint8_t> TnefCString(std::span<const uint8_t> data) {
  const auto nul = std::find(data.begin(), data.end(), uint8_t{0});
  return data.first(static_cast<size_t>(nul - data.begin()));
}

}  // namespace mime::detail

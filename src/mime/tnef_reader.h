// SPDX-License-Identifier: GPL-3.0-or-later
// The attribute stream of a TNEF body (winmail.dat, [MS-OXTNEF] 2.1.3):
// the signature, the legacy key, then attributes, each a level, an id, a
// length, the data and a checksum over the data. Nothing here allocates more
// than one entry per attribute read; the data stays in the caller's buffer.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mime::detail {

inline constexpr uint32_t kTnefSignature = 0x223E9F78;
inline constexpr uint8_t kTnefLevelMessage = 0x01;
inline constexpr uint8_t kTnefLevelAttachment = 0x02;

// Attribute ids as they appear in the stream: the type in the high word, the
// id in the low word ([MS-OXTNEF] 2.1.3.3).
namespace tnef_att {
inline constexpr uint32_t kSubject = 0x00018004;
inline constexpr uint32_t kDateSent = 0x00038005;
inline constexpr uint32_t kDateReceived = 0x00038006;
inline constexpr uint32_t kMessageClass = 0x00078008;
inline constexpr uint32_t kBody = 0x0002800C;
inline constexpr uint32_t kPriority = 0x0004800D;
inline constexpr uint32_t kAttachData = 0x0006800F;
inline constexpr uint32_t kAttachTitle = 0x00018010;
inline constexpr uint32_t kAttachCreateDate = 0x00038012;
inline constexpr uint32_t kAttachModifyDate = 0x00038013;
inline constexpr uint32_t kAttachTransportFilename = 0x00069001;
inline constexpr uint32_t kAttachRendData = 0x00069002;
inline constexpr uint32_t kMsgProps = 0x00069003;
inline constexpr uint32_t kRecipTable = 0x00069004;
inline constexpr uint32_t kAttachment = 0x00069005;
inline constexpr uint32_t kOemCodepage = 0x00069007;
}  // namespace tnef_att

struct TnefAttribute {
  uint8_t level = 0;
  uint32_t id = 0;
  std::span<const uint8_t> data;
};

// The attributes of a whole TNEF stream. On a stream that is not TNEF, is
// cut short, has an attribute of unknown level or a wrong checksum, returns
// nullopt and says why in `why`. Zero bytes after the last attribute (padding
// some gateways add) are allowed.
std::optional<std::vector<TnefAttribute>> ReadTnefAttributes(std::span<const uint8_t> stream,
                                                             std::string& why);

// A TNEF date ([MS-OXTNEF] 2.1.3.3.2: year, month, day, hour, minute, second,
// day of week, each 16 bits) as a FILETIME; nullopt when out of range.
std::optional<int64_t> TnefDateAsFileTime(std::span<const uint8_t> data);

// The text of a legacy string attribute: up to its first NUL.
std::span<const uint8_t> TnefCString(std::span<const uint8_t> data);

}  // namespace mime::detail

// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory form of a message object: what the importer fills and the
// writer stores. Property values are typed as in [MS-OXCDATA] 2.11.1; strings
// are UTF-8 here and become UTF-16LE on disk.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "model/byte_source.h"

namespace model {

enum class PropType : uint16_t {
  Int16 = 0x0002,
  Int32 = 0x0003,
  Float = 0x0004,
  Double = 0x0005,
  Currency = 0x0006,
  AppTime = 0x0007,
  ErrorCode = 0x000A,
  Boolean = 0x000B,
  Int64 = 0x0014,
  String8 = 0x001E,
  Unicode = 0x001F,
  Time = 0x0040,  // FILETIME: 100 ns ticks since 1601-01-01 UTC
  Guid = 0x0048,
  Binary = 0x0102,
  MvInt16 = 0x1002,
  MvInt32 = 0x1003,
  MvInt64 = 0x1014,
  MvString8 = 0x101E,
  MvUnicode = 0x101F,
  MvTime = 0x1040,
  MvGuid = 0x1048,
  MvBinary = 0x1102,
};

using Bytes = std::vector<uint8_t>;
using Guid = std::array<uint8_t, 16>;  // in on-disk (little-endian) byte order

// Which member of the variant holds which type:
//   Int16, Int32, ErrorCode -> int32_t;  Int64, Currency, Time -> int64_t
//   Float, Double, AppTime  -> double;   Boolean -> bool
//   String8, Unicode        -> std::string (UTF-8)
//   Binary                  -> Bytes;    Guid -> Guid
//   Mv*                     -> the vector of the single type's member
using PropData = std::variant<int32_t, int64_t, double, bool, std::string, Bytes, Guid,
                              std::vector<int32_t>, std::vector<int64_t>,
                              std::vector<std::string>, std::vector<Bytes>, std::vector<Guid>>;

struct PropValue {
  PropType type;
  PropData data;
};

inline constexpr uint32_t MakeTag(uint16_t id, PropType type) {
  return (static_cast<uint32_t>(id) << 16) | static_cast<uint16_t>(type);
}
inline constexpr uint16_t TagId(uint32_t tag) { return static_cast<uint16_t>(tag >> 16); }
inline constexpr PropType TagType(uint32_t tag) { return static_cast<PropType>(tag & 0xFFFF); }

// A named property ([MS-OXPROPS] 1.3.2): a property set GUID with either a
// numeric id (LID) or a string name. The writer maps it to an id of 0x8000
// and above through the store's name-to-id map.
struct NamedProp {
  Guid guid;
  std::optional<uint32_t> lid;  // set for numeric names
  std::string name;             // used when lid is empty (UTF-8)
  auto operator<=>(const NamedProp&) const = default;
};

class PropertyBag {
 public:
  void Set(uint32_t tag, PropData data) { props_[TagId(tag)] = {TagType(tag), std::move(data)}; }
  void SetNamed(const NamedProp& name, PropType type, PropData data) {
    named_[name] = {type, std::move(data)};
  }
  void Remove(uint16_t id) { props_.erase(id); }
  // The value under this id, whatever its type; nullptr when absent.
  const PropValue* Find(uint16_t id) const {
    auto it = props_.find(id);
    return it == props_.end() ? nullptr : &it->second;
  }
  const PropValue* FindNamed(const NamedProp& name) const {
    auto it = named_.find(name);
    return it == named_.end() ? nullptr : &it->second;
  }
  // Convenience readers; nullopt when absent or of another type.
  std::optional<std::string> GetString(uint16_t id) const;
  std::optional<int64_t> GetInt(uint16_t id) const;  // Int16/Int32/Int64/Time/Boolean
  const Bytes* GetBinary(uint16_t id) const;

  const std::map<uint16_t, PropValue>& props() const { return props_; }
  const std::map<NamedProp, PropValue>& named() const { return named_; }
  bool empty() const { return props_.empty() && named_.empty(); }

 private:
  std::map<uint16_t, PropValue> props_;  // keyed by property id (tag >> 16)
  std::map<NamedProp, PropValue> named_;
};

struct Message;

struct Recipient {
  PropertyBag props;  // PidTagRecipientType, PidTagDisplayName, PidTagEmailAddress, ...
};

struct Attachment {
  PropertyBag props;  // PidTagAttachMethod, PidTagAttachLongFilename, PidTagAttachMimeTag, ...
  // For attach-by-value: the contents (written as PidTagAttachDataBinary).
  std::shared_ptr<const ByteSource> data;
  // For an embedded message (PidTagAttachMethod 5): the message itself.
  std::unique_ptr<Message> embedded;
};

struct Message {
  PropertyBag props;  // PidTagMessageClass, PidTagSubject, bodies, times, ...
  std::vector<Recipient> recipients;
  std::vector<Attachment> attachments;
  // What the importer noticed and repaired or left out, for the run to
  // report per file; never written to the store.
  std::vector<std::string> warnings;
};

// FILETIME helpers: 100 ns ticks since 1601-01-01 UTC.
int64_t FileTimeFromUnix(int64_t unixSeconds);
int64_t UnixFromFileTime(int64_t fileTime);

}  // namespace model

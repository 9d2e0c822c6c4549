// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/message.h"

namespace model {

std::optional<std::string> PropertyBag::GetString(uint16_t id) const {
  const PropValue* v = Find(id);
  if (!v || (v->type != PropType::Unicode && v->type != PropType::String8)) return std::nullopt;
  return std::get<std::string>(v->data);
}

std::optional<int64_t> PropertyBag::GetInt(uint16_t id) const {
  const PropValue* v = Find(id);
  if (!v) return std::nullopt;
  switch (v->type) {
    case PropType::Int16:
    case PropType::Int32:
    case PropType::ErrorCode:
      return std::get<int32_t>(v->data);
    case PropType::Int64:
    case PropType::Currency:
    case PropType::Time:
      return std::get<int64_t>(v->data);
    case PropType::Boolean:
      return std::get<bool>(v->data) ? 1 : 0;
    default:
      return std::nullopt;
  }
}

const Bytes* PropertyBag::GetBinary(uint16_t id) const {
  const PropValue* v = Find(id);
  if (!v || v->type != PropType::Binary) return nullptr;
  return &std::get<Bytes>(v->data);
}

namespace {
constexpr int64_t kUnixEpochAsFileTime = 116444736000000000LL;
}

int64_t FileTimeFromUnix(int64_t unixSeconds) { return unixSeconds * 10000000LL + kUnixEpochAsFileTime; }
int64_t UnixFromFileTime(int64_t fileTime) { return (fileTime - kUnixEpochAsFileTime) / 10000000LL; }

}  // namespace model

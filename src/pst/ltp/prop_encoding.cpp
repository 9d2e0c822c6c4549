// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/ltp/prop_encoding.h"

#include <bit>
#include <string>

#include "pst/coding.h"
#include "pst/ndb/node_store.h"

namespace pst::ltp {

PropType DiskType(PropType t) {
  if (t == PropType::String8) return PropType::Unicode;
  if (t == PropType::MvString8) return PropType::MvUnicode;
  return t;
}

size_t FixedSize(PropType t) {
  switch (t) {
    case PropType::Boolean:
      return 1;
    case PropType::Int16:
      return 2;
    case PropType::Int32:
    case PropType::Float:
    case PropType::ErrorCode:
      return 4;
    case PropType::Double:
    case PropType::Currency:
    case PropType::AppTime:
    case PropType::Int64:
    case PropType::Time:
      return 8;
    case PropType::Guid:
      return 16;
    default:
      return 0;
  }
}

uint8_t CellSize(PropType t) {
  size_t n = FixedSize(DiskType(t));
  return static_cast<uint8_t>(n == 0 || n > 8 ? 4 : n);
}

namespace {

template <typename T>
const T& As(const PropValue& v) {
  const T* p = std::get_if<T>(&v.data);
  if (!p) {
    throw PstError("property value of type 0x" + std::to_string(static_cast<int>(v.type)) +
                   " holds another kind of data");
  }
  return *p;
}

void PutScalar(std::vector<uint8_t>& out, PropType t, const PropValue& v) {
  switch (t) {
    case PropType::Boolean:
      PutU8(out, As<bool>(v) ? 1 : 0);
      break;
    case PropType::Int16:
      PutU16(out, static_cast<uint16_t>(As<int32_t>(v)));
      break;
    case PropType::Int32:
    case PropType::ErrorCode:
      PutU32(out, static_cast<uint32_t>(As<int32_t>(v)));
      break;
    case PropType::Float:
      PutU32(out, std::bit_cast<uint32_t>(static_cast<float>(As<double>(v))));
      break;
    case PropType::Double:
    case PropType::AppTime:
      PutU64(out, std::bit_cast<uint64_t>(As<double>(v)));
      break;
    case PropType::Currency:
    case PropType::Int64:
    case PropType::Time:
      PutU64(out, static_cast<uint64_t>(As<int64_t>(v)));
      break;
    case PropType::Guid:
      PutBytes(out, As<Guid>(v));
      break;
    default:
      throw PstError("not a scalar type");
  }
}

// Count, offsets, then the values ([MS-PST] 2.3.3.4.2).
std::vector<uint8_t> VariableArray(const std::vector<std::vector<uint8_t>>& items) {
  std::vector<uint8_t> out;
  PutU32(out, static_cast<uint32_t>(items.size()));
  uint32_t at = static_cast<uint32_t>(4 + 4 * items.size());
  for (const auto& i : items) {
    PutU32(out, at);
    at += static_cast<uint32_t>(i.size());
  }
  for (const auto& i : items) PutBytes(out, i);
  return out;
}

}  // namespace

std::vector<uint8_t> EncodeValue(const PropValue& v) {
  PropType t = DiskType(v.type);
  std::vector<uint8_t> out;
  switch (t) {
    case PropType::Unicode:
      return Utf16LeFromUtf8(As<std::string>(v));
    case PropType::Binary:
      return As<Bytes>(v);
    case PropType::MvInt16:
      for (int32_t x : As<std::vector<int32_t>>(v)) PutU16(out, static_cast<uint16_t>(x));
      return out;
    case PropType::MvInt32:
      for (int32_t x : As<std::vector<int32_t>>(v)) PutU32(out, static_cast<uint32_t>(x));
      return out;
    case PropType::MvInt64:
    case PropType::MvTime:
      for (int64_t x : As<std::vector<int64_t>>(v)) PutU64(out, static_cast<uint64_t>(x));
      return out;
    case PropType::MvGuid:
      for (const Guid& g : As<std::vector<Guid>>(v)) PutBytes(out, g);
      return out;
    case PropType::MvUnicode: {
      std::vector<std::vector<uint8_t>> items;
      for (const std::string& s : As<std::vector<std::string>>(v)) items.push_back(Utf16LeFromUtf8(s));
      return VariableArray(items);
    }
    case PropType::MvBinary:
      return VariableArray(As<std::vector<Bytes>>(v));
    default:
      if (FixedSize(t) == 0) throw PstError("unsupported property type " + std::to_string(static_cast<int>(t)));
      PutScalar(out, t, v);
      return out;
  }
}

}  // namespace pst::ltp

// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/tnef_props.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>

#include "mime/charset.h"
#include "model/coding.h"

namespace mime::detail {
namespace {

using model::PropType;

constexpr uint16_t kMvFlag = 0x1000;
constexpr uint16_t kTypeNull = 0x0001;
constexpr uint16_t kTypeObject = 0x000D;
constexpr uint16_t kTypeServerId = 0x00FB;
constexpr uint16_t kFirstNamedId = 0x8000;

char Hex(unsigned v) { return "0123456789ABCDEF"[v & 0xF]; }
std::string Hex16(uint16_t v) {
  return std::string("0x") + Hex(v >> 12) + Hex(v >> 8) + Hex(v >> 4) + Hex(v);
}

// Reads forward through one list; every read checks the bytes left.
class Cursor {
 public:
  explicit Cursor(std::span<const uint8_t> in) : in_(in) {}
  size_t left() const { return in_.size() - pos_; }
  size_t pos() const { return pos_; }
  bool U16(uint16_t& v) {
    if (left() < 2) return false;
    v = model::GetU16(in_, pos_);
    pos_ += 2;
    return true;
  }
  bool U32(uint32_t& v) {
    if (left() < 4) return false;
    v = model::GetU32(in_, pos_);
    pos_ += 4;
    return true;
  }
  bool Take(size_t n, std::span<const uint8_t>& out) {
    if (left() < n) return false;
    out = in_.subspan(pos_, n);
    pos_ += n;
    return true;
  }
  // Variable-length values are padded to four bytes; a writer that leaves
  // the padding off at the very end loses nothing.
  void SkipPadding(size_t valueSize) { pos_ += std::min(left(), (4 - valueSize % 4) % 4); }

 private:
  std::span<const uint8_t> in_;
  size_t pos_ = 0;
};

// Bytes one value of a fixed-size type takes in the stream (Int16 and
// Boolean are padded to four); 0 for a type that is not fixed-size.
size_t FixedSize(uint16_t base) {
  switch (base) {
    case 0x0002: case 0x0003: case 0x0004: case 0x000A: case 0x000B: case kTypeNull:
      return 4;
    case 0x0005: case 0x0006: case 0x0007: case 0x0014: case 0x0040:
      return 8;
    case 0x0048:
      return 16;
    default:
      return 0;
  }
}

bool IsVariable(uint16_t base) {
  return base == 0x001E || base == 0x001F || base == 0x0102 || base == kTypeObject ||
         base == kTypeServerId;
}

std::string Utf16Text(std::span<const uint8_t> bytes) {
  std::string s = model::Utf8FromUtf16Le(bytes.first(bytes.size() & ~size_t{1}));
  while (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

std::string EightBitText(std::span<const uint8_t> bytes, std::string_view charset) {
  const auto nul = std::find(bytes.begin(), bytes.end(), uint8_t{0});
  return DecodeText(bytes.first(static_cast<size_t>(nul - bytes.begin())), charset).utf8;
}

struct Values {
  std::vector<int32_t> i32;
  std::vector<int64_t> i64;
  std::vector<double> real;
  std::vector<std::string> text;
  std::vector<model::Bytes> bin;
  std::vector<model::Guid> guid;
};

void AddFixed(uint16_t base, std::span<const uint8_t> v, Values& out) {
  switch (base) {
    case 0x0002: out.i32.push_back(static_cast<int16_t>(model::GetU16(v, 0))); break;
    case 0x000B: out.i32.push_back(model::GetU16(v, 0) != 0); break;
    case 0x0003: case 0x000A: out.i32.push_back(static_cast<int32_t>(model::GetU32(v, 0))); break;
    case 0x0004: out.real.push_back(std::bit_cast<float>(model::GetU32(v, 0))); break;
    case 0x0005: case 0x0007: out.real.push_back(std::bit_cast<double>(model::GetU64(v, 0))); break;
    case 0x0006: case 0x0014: case 0x0040: out.i64.push_back(static_cast<int64_t>(model::GetU64(v, 0))); break;
    case 0x0048: {
      model::Guid g{};
      std::copy(v.begin(), v.begin() + 16, g.begin());
      out.guid.push_back(g);
      break;
    }
    default: break;  // PT_NULL holds nothing
  }
}

// The value(s) read, as the bag holds them; nullopt for a type the bag
// cannot hold.
std::optional<model::PropValue> AsPropValue(uint16_t type, Values& v) {
  const bool mv = (type & kMvFlag) != 0;
  const uint16_t base = type & ~kMvFlag;
  if (!mv) {
    switch (base) {
      case 0x0002: return model::PropValue{PropType::Int16, v.i32.at(0)};
      case 0x0003: return model::PropValue{PropType::Int32, v.i32.at(0)};
      case 0x000A: return model::PropValue{PropType::ErrorCode, v.i32.at(0)};
      case 0x000B: return model::PropValue{PropType::Boolean, v.i32.at(0) != 0};
      case 0x0004: return model::PropValue{PropType::Float, v.real.at(0)};
      case 0x0005: return model::PropValue{PropType::Double, v.real.at(0)};
      case 0x0007: return model::PropValue{PropType::AppTime, v.real.at(0)};
      case 0x0006: return model::PropValue{PropType::Currency, v.i64.at(0)};
      case 0x0014: return model::PropValue{PropType::Int64, v.i64.at(0)};
      case 0x0040: return model::PropValue{PropType::Time, v.i64.at(0)};
      case 0x0048: return model::PropValue{PropType::Guid, v.guid.at(0)};
      case 0x001E: case 0x001F: return model::PropValue{PropType::Unicode, std::move(v.text.at(0))};
      case 0x0102: return model::PropValue{PropType::Binary, std::move(v.bin.at(0))};
      default: return std::nullopt;
    }
  }
  switch (base) {
    case 0x0002: return model::PropValue{PropType::MvInt16, std::move(v.i32)};
    case 0x0003: return model::PropValue{PropType::MvInt32, std::move(v.i32)};
    case 0x0014: return model::PropValue{PropType::MvInt64, std::move(v.i64)};
    case 0x0040: return model::PropValue{PropType::MvTime, std::move(v.i64)};
    case 0x0048: return model::PropValue{PropType::MvGuid, std::move(v.guid)};
    case 0x001E: case 0x001F: return model::PropValue{PropType::MvUnicode, std::move(v.text)};
    case 0x0102: return model::PropValue{PropType::MvBinary, std::move(v.bin)};
    default: return std::nullopt;
  }
}

bool ReadName(Cursor& c, model::NamedProp& name, std::string& why) {
  std::span<const uint8_t> guid;
  uint32_t kind = 0;
  if (!c.Take(16, guid) || !c.U32(kind)) return false;
  std::copy(guid.begin(), guid.end(), name.guid.begin());
  if (kind == 0) {
    uint32_t lid = 0;
    if (!c.U32(lid)) return false;
    name.lid = lid;
    return true;
  }
  uint32_t length = 0;
  std::span<const uint8_t> text;
  if (kind != 1 || !c.U32(length) || !c.Take(length, text)) {
    if (kind > 1) why = "a property name of unknown kind " + std::to_string(kind);
    return false;
  }
  c.SkipPadding(length);
  name.name = Utf16Text(text);
  return true;
}

// One property; false with `why` (or an empty `why`: cut short) on failure.
bool ReadProperty(Cursor& c, std::string_view charset8, TnefPropList& out, std::string& why) {
  uint16_t type = 0, id = 0;
  if (!c.U16(type) || !c.U16(id)) return false;
  std::optional<model::NamedProp> name;
  if (id >= kFirstNamedId && !ReadName(c, name.emplace(), why)) return false;
  const uint16_t base = type & ~kMvFlag;
  const bool mv = (type & kMvFlag) != 0;
  const size_t fixed = FixedSize(base);
  if (fixed == 0 && !IsVariable(base)) {
    why = "a property of unknown type " + Hex16(type);
    return false;
  }
  uint32_t count = 1;
  if ((mv || IsVariable(base)) && !c.U32(count)) return false;
  // Every value takes at least four bytes: a count the rest cannot hold is
  // refused before anything is reserved for it.
  if (count > c.left() / 4) return false;
  if (!mv && count != 1) {
    why = "a single-valued property with " + std::to_string(count) + " values";
    return false;
  }
  Values values;
  bool tookObject = false;
  for (uint32_t i = 0; i < count; ++i) {
    std::span<const uint8_t> v;
    if (fixed != 0) {
      if (!c.Take(fixed, v)) return false;
      AddFixed(base, v, values);
      continue;
    }
    uint32_t size = 0;
    if (!c.U32(size) || !c.Take(size, v)) return false;
    c.SkipPadding(size);
    if (base == 0x001F) values.text.push_back(Utf16Text(v));
    else if (base == 0x001E) values.text.push_back(EightBitText(v, charset8));
    else if (base == 0x0102) values.bin.emplace_back(v.begin(), v.end());
    else if (base == kTypeObject && !mv && v.size() >= 16) {
      TnefObject o;
      o.id = id;
      std::copy(v.begin(), v.begin() + 16, o.iid.begin());
      o.data = v.subspan(16);
      out.objects.push_back(o);
      tookObject = true;
    }
  }
  if (tookObject || base == kTypeNull) return true;
  std::optional<model::PropValue> value = AsPropValue(type, values);
  if (!value) {
    out.skipped.push_back("property " + Hex16(id) + " of type " + Hex16(type));
    return true;
  }
  if (name)
    out.bag.SetNamed(*name, value->type, std::move(value->data));
  else
    out.bag.Set(model::MakeTag(id, value->type), std::move(value->data));
  return true;
}

}  // namespace

bool ReadTnefPropList(std::span<const uint8_t>& in, std::string_view charset8, TnefPropList& out,
                      std::string& why) {
  Cursor c(in);
  uint32_t count = 0;
  bool ok = c.U32(count);
  // A property takes at least eight bytes (type, id, one value).
  if (ok && count > c.left() / 8) {
    why = "a property list counts " + std::to_string(count) + " properties in " +
          std::to_string(c.left()) + " bytes";
    return false;
  }
  for (uint32_t i = 0; ok && i < count; ++i) ok = ReadProperty(c, charset8, out, why);
  if (!ok) {
    if (why.empty()) why = "a property list is cut short";
    return false;
  }
  in = in.subspan(c.pos());
  return true;
}

bool ReadTnefRecipientRows(std::span<const uint8_t> in, std::string_view charset8,
                           std::vector<TnefPropList>& rows, std::string& why) {
  if (in.size() < 4) {
    why = "the recipient table is cut short";
    return false;
  }
  const uint32_t count = model::GetU32(in, 0);
  in = in.subspan(4);
  if (count > in.size() / 4) {
    why = "the recipient table counts " + std::to_string(count) + " rows in " +
          std::to_string(in.size()) + " bytes";
    return false;
  }
  for (uint32_t i = 0; i < count; ++i)
    if (!ReadTnefPropList(in, charset8, rows.emplace_back(), why)) return false;
  return true;
}

}  // namespace mime::detail

// Shared by the importer tests: import a message held in a string and read
// properties back.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>

#include "mime/importer.h"
#include "pst/prop_tags.h"

namespace mime_test {

inline constexpr int64_t kFixedNow = 133000000000000000;  // a FILETIME in 2022

inline pst::Message Import(const std::string& text, mime::ImportWarnings* warnings = nullptr,
                           mime::ImportOptions options = {}) {
  options.fixedNow = kFixedNow;
  pst::Message m;
  mime::ImportMessageData(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()), m,
      options, warnings);
  return m;
}

inline std::string Str(const pst::PropertyBag& bag, uint32_t tag) {
  return bag.GetString(pst::TagId(tag)).value_or("<absent>");
}
inline std::optional<int64_t> Int(const pst::PropertyBag& bag, uint32_t tag) {
  return bag.GetInt(pst::TagId(tag));
}
inline std::string BinAsString(const pst::PropertyBag& bag, uint32_t tag) {
  const pst::Bytes* b = bag.GetBinary(pst::TagId(tag));
  return b ? std::string(b->begin(), b->end()) : "<absent>";
}
inline std::string Data(const pst::Attachment& a) {
  if (!a.data) return "<no data>";
  const auto bytes = pst::ReadAll(*a.data);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace mime_test

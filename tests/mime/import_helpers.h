// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the importer tests: import a message held in a string and read
// properties back.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>

#include "mime/importer.h"
#include "model/prop_tags.h"

namespace mime_test {

inline constexpr int64_t kFixedNow = 133000000000000000;  // a FILETIME in 2022

inline model::Message Import(const std::string& text, mime::ImportWarnings* warnings = nullptr,
                           mime::ImportOptions options = {}) {
  options.fixedNow = kFixedNow;
  model::Message m;
  mime::ImportMessageData(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()), m,
      options, warnings);
  return m;
}

inline std::string Str(const model::PropertyBag& bag, uint32_t tag) {
  return bag.GetString(model::TagId(tag)).value_or("<absent>");
}
inline std::optional<int64_t> Int(const model::PropertyBag& bag, uint32_t tag) {
  return bag.GetInt(model::TagId(tag));
}
inline std::string BinAsString(const model::PropertyBag& bag, uint32_t tag) {
  const model::Bytes* b = bag.GetBinary(model::TagId(tag));
  return b ? std::string(b->begin(), b->end()) : "<absent>";
}
inline bool HasWarning(const mime::ImportWarnings& warnings, const std::string& part) {
  for (const auto& w : warnings)
    if (w.find(part) != std::string::npos) return true;
  return false;
}
inline std::string Data(const model::Attachment& a) {
  if (!a.data) return "<no data>";
  const auto bytes = model::ReadAll(*a.data);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace mime_test

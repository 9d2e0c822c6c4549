// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/size_limit.h"

#include <variant>

#include "pst/prop_tags.h"

namespace verdaline {

namespace {

// What each message, recipient and attachment costs beyond its values: its
// property context's heap and B-tree, its node and subnode entries, its row
// in a table, and the folder tables a new message rewrites.
constexpr uint64_t kPerMessage = 64 * 1024;
constexpr uint64_t kPerRecipient = 1024;
constexpr uint64_t kPerAttachment = 16 * 1024;
constexpr uint64_t kPerProperty = 32;  // the property's B-tree record and heap entry

// Text is stored as UTF-16: at most two bytes for each byte of UTF-8.
uint64_t TextBytes(const std::string& text) { return 2 * static_cast<uint64_t>(text.size()) + 2; }

uint64_t ValueBytes(const pst::PropData& data) {
  return std::visit(
      [](const auto& v) -> uint64_t {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return TextBytes(v);
        } else if constexpr (std::is_same_v<T, pst::Bytes>) {
          return v.size();
        } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
          uint64_t n = 8;
          for (const std::string& s : v) n += TextBytes(s) + 8;
          return n;
        } else if constexpr (std::is_same_v<T, std::vector<pst::Bytes>>) {
          uint64_t n = 8;
          for (const pst::Bytes& b : v) n += b.size() + 8;
          return n;
        } else if constexpr (std::is_same_v<T, std::vector<int32_t>> || std::is_same_v<T, std::vector<int64_t>> ||
                             std::is_same_v<T, std::vector<pst::Guid>>) {
          return 8 + v.size() * sizeof(typename T::value_type);
        } else {
          return 16;
        }
      },
      data);
}

uint64_t BagBytes(const pst::PropertyBag& bag) {
  uint64_t n = 0;
  for (const auto& [id, value] : bag.props()) {
    n += ValueBytes(value.data) + kPerProperty;
    // Short texts (subject, names, addresses) are repeated in the row of a
    // table; the bodies are not.
    if (std::holds_alternative<std::string>(value.data) && id != pst::TagId(pst::tags::kBody))
      n += ValueBytes(value.data);
  }
  for (const auto& [name, value] : bag.named())
    n += ValueBytes(value.data) + kPerProperty + TextBytes(name.name) + 24;  // and its name map entry
  return n;
}

uint64_t ValuesBound(const pst::Message& message) {
  uint64_t n = BagBytes(message.props) + kPerMessage;
  for (const pst::Recipient& r : message.recipients) n += BagBytes(r.props) * 2 + kPerRecipient;
  for (const pst::Attachment& a : message.attachments) {
    n += BagBytes(a.props) * 2 + kPerAttachment;
    if (a.data) n += a.data->size();
    if (a.embedded) n += ValuesBound(*a.embedded);
  }
  return n;
}

}  // namespace

uint64_t StoredSizeBound(const pst::Message& message) {
  const uint64_t values = ValuesBound(message);
  // A block of 8,192 bytes holds 8,176; with its B-tree entry, the data
  // trees over the blocks, small values' 64-byte rounding and the map pages
  // of new sections, 1/32 more covers what the values do not. The file
  // grows by whole sections of 253,952 bytes: the last one may be new and
  // hold little.
  constexpr uint64_t kSection = 253952;
  return values + values / 32 + kSection;
}

QString SizeText(uint64_t bytes) {
  constexpr double kMB = 1048576.0, kGB = 1073741824.0;
  const double value = static_cast<double>(bytes);
  if (value >= kGB) return QStringLiteral("%1 GB").arg(value / kGB, 0, 'f', 1);
  return QStringLiteral("%1 MB").arg(value / kMB, 0, 'f', 1);
}

QString TooLargeReason(uint64_t needed, uint64_t limit) {
  return QStringLiteral("it is too large for a .pst file of at most %1: it needs about %2")
      .arg(SizeText(limit), SizeText(needed));
}

}  // namespace verdaline

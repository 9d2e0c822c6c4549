// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapi/message_memory.h"

#include <variant>

namespace mapi {
namespace {

// A map node with its key and value, and what an allocation costs beside
// the bytes asked for.
constexpr uint64_t kNodeBytes = sizeof(pst::PropValue) + 48;
constexpr uint64_t kAllocBytes = 16;

uint64_t HeapBytes(const std::string& s) { return s.capacity() > 15 ? s.capacity() + kAllocBytes : 0; }
uint64_t HeapBytes(const pst::Bytes& b) { return b.capacity() ? b.capacity() + kAllocBytes : 0; }
template <typename T>
uint64_t HeapBytes(const std::vector<T>& v) {
  uint64_t n = v.capacity() * sizeof(T) + kAllocBytes;
  if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, pst::Bytes>)
    for (const T& e : v) n += HeapBytes(e);
  return n;
}
template <typename T>
uint64_t HeapBytes(const T&) {
  return 0;
}

uint64_t BagBytes(const pst::PropertyBag& bag) {
  uint64_t n = 0;
  for (const auto& [id, value] : bag.props())
    n += kNodeBytes + std::visit([](const auto& v) { return HeapBytes(v); }, value.data);
  for (const auto& [name, value] : bag.named())
    n += kNodeBytes + sizeof(pst::NamedProp) + HeapBytes(name.name) +
         std::visit([](const auto& v) { return HeapBytes(v); }, value.data);
  return n;
}

}  // namespace

uint64_t MessageMemory(const pst::Message& message) {
  uint64_t n = sizeof(pst::Message) + BagBytes(message.props);
  n += message.recipients.capacity() * sizeof(pst::Recipient);
  for (const pst::Recipient& r : message.recipients) n += BagBytes(r.props);
  n += message.attachments.capacity() * sizeof(pst::Attachment);
  for (const pst::Attachment& a : message.attachments) {
    n += BagBytes(a.props);
    if (a.data && a.data->contiguous()) n += a.data->size();
    if (a.embedded) n += MessageMemory(*a.embedded);
  }
  return n;
}

}  // namespace mapi

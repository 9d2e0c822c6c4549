// SPDX-License-Identifier: GPL-3.0-or-later
#include "message_list.h"

#include <stdexcept>

namespace verdaline::cli {
namespace {

enum Mark : uint8_t { kRead = 1, kFlagged = 2, kAnswered = 4, kForwarded = 8, kDraft = 16 };

uint8_t MarksOf(const model::MessageState& s) {
  return static_cast<uint8_t>((s.read ? kRead : 0) | (s.flagged ? kFlagged : 0) | (s.answered ? kAnswered : 0) |
                              (s.forwarded ? kForwarded : 0) | (s.draft ? kDraft : 0));
}

}  // namespace

uint32_t MessageList::Checked(size_t n, size_t limit) {
  if (n >= limit) throw std::length_error("too many messages for one run");
  return static_cast<uint32_t>(n);
}

// The position of `key` in `values`, added at the end when it is not there.
template <typename Map, typename Key, typename Vector>
uint32_t MessageList::Intern(Map& index, const Key& key, Vector& values) {
  // Messages come folder by folder: the last one is the likely one.
  if (!values.empty() && values.back() == key) return Checked(values.size() - 1);
  auto it = index.find(key);
  if (it != index.end()) return it->second;
  const uint32_t at = Checked(values.size());
  values.push_back(key);
  index.emplace(key, at);
  return at;
}

void MessageList::Add(const model::MessageRef& ref, const QString& storeFolder, const model::MessageState& state,
                      qint64 index, qint64 at) {
  const size_t slash = ref.path.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  Item item{};
  item.name = names_.size();
  item.dir = Intern(dirIndex_, ref.path.substr(0, nameStart), dirs_);
  item.folder = Intern(folderIndex_, storeFolder, folders_);
  constexpr size_t kLabelSets = size_t{1} << 27;
  item.labels = state.categories.empty() ? 0 : Checked(Intern(labelIndex_, state.categories, labels_), kLabelSets);
  item.flags = MarksOf(state) & 31u;
  item.range = kWhole;
  if (!ref.WholeFile() || index >= 0 || at >= 0) {
    item.range = Checked(ranges_.size());
    ranges_.push_back(Range{ref.offset, ref.length, index, at, ref.format});
  }
  names_.append(ref.path, nameStart);
  items_.push_back(item);
}

std::string MessageList::Path(size_t i) const {
  const uint64_t end = i + 1 < items_.size() ? items_[i + 1].name : names_.size();
  return dirs_[items_[i].dir] + names_.substr(items_[i].name, end - items_[i].name);
}

SourceMessage MessageList::At(size_t i) const {
  const Item& item = items_[i];
  SourceMessage m;
  m.ref.path = Path(i);
  if (item.range != kWhole) {
    const Range& r = ranges_[item.range];
    m.ref.offset = r.offset;
    m.ref.length = r.length;
    m.ref.format = r.format;
  }
  m.storeFolder = folders_[item.folder];
  m.state.read = (item.flags & kRead) != 0;
  m.state.flagged = (item.flags & kFlagged) != 0;
  m.state.answered = (item.flags & kAnswered) != 0;
  m.state.forwarded = (item.flags & kForwarded) != 0;
  m.state.draft = (item.flags & kDraft) != 0;
  m.state.categories = labels_[item.labels];
  return m;
}

qint64 MessageList::Index(size_t i) const {
  return items_[i].range == kWhole ? -1 : ranges_[items_[i].range].index;
}

qint64 MessageList::Offset(size_t i) const {
  return items_[i].range == kWhole ? -1 : ranges_[items_[i].range].at;
}

}  // namespace verdaline::cli

// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/scan_context.h"

namespace mailstore::detail {

Levels With(Levels levels, std::string name, std::string container) {
  levels.push_back(Level{std::move(name), std::move(container)});
  return levels;
}

ScanContext::ScanContext(ScanResult& out, const ScanOptions& options) : out_(out), options_(options) {
  for (uint32_t i = 0; i < out_.folders.size(); ++i) index_.emplace(out_.folders[i].names, i);
}

bool ScanContext::Cancelled() const {
  return options_.cancel != nullptr && options_.cancel->load(std::memory_order_relaxed);
}

uint32_t ScanContext::FolderOf(const Levels& levels) {
  std::vector<std::string> names;
  uint32_t folder = 0;
  for (const Level& level : levels) {
    names.push_back(level.name);
    // Looked up before it is added: emplace would copy the names of every
    // level above for each level, whether or not the folder is new.
    auto it = index_.find(names);
    if (it == index_.end()) {
      it = index_.emplace(names, static_cast<uint32_t>(out_.folders.size())).first;
      out_.folders.push_back(Folder{names, level.container});
    }
    folder = it->second;
  }
  return folder;
}

void ScanContext::DropFoldersFrom(size_t count) {
  while (out_.folders.size() > count) {
    index_.erase(out_.folders.back().names);
    out_.folders.pop_back();
  }
}

void ScanContext::Message(model::MessageRef ref, uint32_t folder, model::MessageState state, bool expunged) {
  Entry entry;
  entry.kind = expunged ? EntryKind::kExpunged : EntryKind::kMessage;
  entry.ref = std::move(ref);
  entry.folder = folder;
  entry.state = std::move(state);
  out_.entries.push_back(std::move(entry));
  Settle();
}

void ScanContext::Settle() {
  // Handed over in batches: one call per message would cost more than the
  // entries it saves.
  constexpr size_t kBatch = 4096;
  if (!options_.take || out_.entries.size() < kBatch) return;
  handedOver_ += out_.entries.size();
  options_.take(out_.entries);
  out_.entries.clear();
}

void ScanContext::Problem(const std::string& path, std::string reason) {
  Entry entry;
  entry.kind = EntryKind::kProblem;
  entry.ref = model::MessageRef(path);
  entry.reason = std::move(reason);
  out_.entries.push_back(std::move(entry));
  Settle();
}

std::optional<Listing> ScanContext::ListFolder(const std::string& dir, int depth) {
  if (depth > kMaxDepth) {
    Problem(dir, "not read: its folders nest too deep");
    return std::nullopt;
  }
  Listing listing = ListDirectory(dir);
  if (listing.error != 0) {
    Problem(dir, "cannot list it: " + OsReason(listing.error));
    return std::nullopt;
  }
  return listing;
}

}  // namespace mailstore::detail

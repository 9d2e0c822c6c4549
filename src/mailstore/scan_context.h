// SPDX-License-Identifier: GPL-3.0-or-later
// What one ScanPath call shares between the walkers: the result it appends
// to, the folders already there, the cancel flag.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "mailstore/file_io.h"
#include "mailstore/mail_sources.h"

namespace mailstore::detail {

// One level of a folder's place in the store: its name and the directory or
// mbox file it stands for.
struct Level {
  std::string name;
  std::string container;
};
using Levels = std::vector<Level>;

Levels With(Levels levels, std::string name, std::string container);

class ScanContext {
 public:
  // How deep a walk goes: links to folders are never followed, so only a
  // tree mounted into itself could go deeper.
  static constexpr int kMaxDepth = 200;

  ScanContext(ScanResult& out, const ScanOptions& options);

  bool Cancelled() const;
  const std::atomic<bool>* cancel() const { return options_.cancel; }

  // The folder of `levels` (not empty), made with every level above it that
  // is not there yet.
  uint32_t FolderOf(const Levels& levels);

  void Add(Entry entry) { out_.entries.push_back(std::move(entry)); }
  // `i` counts every entry of the scan, those handed over included; only
  // entries added since the last Settle are still here.
  Entry& EntryAt(size_t i) { return out_.entries[i - handedOver_]; }
  // The entries added so far are final: a caller that takes them as the
  // scan goes may have them now.
  void Settle();
  void Message(model::MessageRef ref, uint32_t folder, model::MessageState state, bool expunged);
  void Problem(const std::string& path, std::string reason);
  // The entries of folder `dir`, met `depth` levels down a walk; nothing,
  // with a problem entry that says why, when it nests too deep or cannot
  // be listed.
  std::optional<Listing> ListFolder(const std::string& dir, int depth);

  size_t EntryCount() const { return handedOver_ + out_.entries.size(); }
  // Forgets the folders made after the first `count`: a path that yields
  // nothing leaves no empty folders behind.
  void DropFoldersFrom(size_t count);
  size_t FolderCount() const { return out_.folders.size(); }

 private:
  ScanResult& out_;
  const ScanOptions& options_;
  std::map<std::vector<std::string>, uint32_t> index_;
  size_t handedOver_ = 0;
};

}  // namespace mailstore::detail

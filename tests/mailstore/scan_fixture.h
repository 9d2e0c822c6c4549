// SPDX-License-Identifier: GPL-3.0-or-later
// Real mail trees in a temporary folder, and what a scan made of them, for
// the mailstore tests.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mailstore/mail_sources.h"

namespace mailstore::test {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "mailstore-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) root_ = pattern;
  }
  ~TempDir() {
    if (root_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool ok() const { return !root_.empty(); }
  const std::string& Root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

  std::string Dir(const std::string& relative) const {
    std::filesystem::create_directories(Path(relative));
    return Path(relative);
  }
  std::string Write(const std::string& relative, const std::string& bytes) const {
    const std::string path = Path(relative);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

 private:
  std::string root_;
};

// The bytes a reference names, as the importer will read them.
inline std::string BytesOf(const model::MessageRef& ref) {
  std::ifstream in(ref.path, std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (ref.offset > all.size()) return "<offset past the end>";
  return ref.length == model::MessageRef::kToEnd ? all.substr(ref.offset) : all.substr(ref.offset, ref.length);
}

inline std::string FolderText(const ScanResult& result, uint32_t folder) {
  if (folder >= result.folders.size()) return "<no folder>";
  std::string text;
  for (const std::string& name : result.folders[folder].names) text += (text.empty() ? "" : " > ") + name;
  return text;
}

inline std::string FolderOf(const ScanResult& result, const Entry& entry) { return FolderText(result, entry.folder); }

inline std::vector<std::string> AllFolders(const ScanResult& result) {
  std::vector<std::string> all;
  for (uint32_t i = 0; i < result.folders.size(); ++i) all.push_back(FolderText(result, i));
  return all;
}

inline std::vector<const Entry*> OfKind(const ScanResult& result, EntryKind kind) {
  std::vector<const Entry*> found;
  for (const Entry& e : result.entries) {
    if (e.kind == kind) found.push_back(&e);
  }
  return found;
}

inline model::MessageState State(bool read, bool flagged = false, bool answered = false, bool forwarded = false,
                                 bool draft = false, std::vector<std::string> categories = {}) {
  model::MessageState s;
  s.read = read;
  s.flagged = flagged;
  s.answered = answered;
  s.forwarded = forwarded;
  s.draft = draft;
  s.categories = std::move(categories);
  return s;
}

}  // namespace mailstore::test

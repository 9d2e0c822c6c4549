// SPDX-License-Identifier: GPL-3.0-or-later
// An in-memory stand-in for pst::PstWriter: keeps the folder tree and the
// messages it is given, so tests of the layers above the writer can check
// what reached the store without reading a file back. It creates its file
// (empty) so that "the path exists" behaves as with the real writer, and can
// be told to fail.
#pragma once

#include "mapi/profile.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pst/ndb/node_store.h"
#include "pst/pst_writer.h"

namespace fake {

struct Store {
  std::string path;
  std::string displayName;
  struct Folder {
    pst::Nid parent;
    std::string name;
    std::string containerClass;
  };
  std::map<pst::Nid, Folder> folders;
  std::vector<std::pair<pst::Nid, pst::Message>> messages;
  bool closed = false;
  int closeCount = 0;
  bool failAddMessage = false;
  // From this many messages on, every write fails as on a full disk; the
  // file then holds what the last commit (every `commitEvery` messages) had.
  size_t diskFullAt = SIZE_MAX;
  size_t commitEvery = 1;
  size_t committed = 0;
  std::string failFolderName;  // CreateFolder of this name fails
  // Set: the file's size as SizeIfClosed tells it, this much and each
  // message's attachment bytes and 4 KiB; 0: a size it cannot tell.
  uint64_t emptySize = 0;
  uint64_t size = 0;

  // The folder path of nid below the top of personal folders ("A\B").
  std::string PathOf(pst::Nid nid) const {
    std::string out;
    while (nid != kIpm) {
      auto it = folders.find(nid);
      if (it == folders.end()) return "?";
      out = out.empty() ? it->second.name : it->second.name + "\\" + out;
      nid = it->second.parent;
    }
    return out;
  }
  std::vector<std::string> FolderPaths() const {
    std::vector<std::string> out;
    for (const auto& [nid, f] : folders) out.push_back(PathOf(nid));
    return out;
  }
  static constexpr pst::Nid kRoot = 0x122, kIpm = 0x8022;
};

class Writer final : public pst::PstWriter {
 public:
  explicit Writer(std::shared_ptr<Store> store) : s_(std::move(store)) {}
  pst::Nid RootFolder() const override { return Store::kRoot; }
  pst::Nid IpmSubtree() const override { return Store::kIpm; }
  std::string DisplayName() const override { return s_->displayName; }
  pst::Bytes StoreEntryId() const override {
    pst::Bytes id(20, 0);
    for (size_t i = 0; i < s_->path.size(); ++i) id[i % 20] = static_cast<uint8_t>(id[i % 20] * 31 + s_->path[i]);
    return id;
  }
  pst::Bytes EntryIdOf(pst::Nid nid) const override {
    auto id = StoreEntryId();
    id.push_back(static_cast<uint8_t>(nid));
    return id;
  }
  pst::Nid CreateFolder(pst::Nid parent, const std::string& name, const std::string& cls) override {
    Check();
    if (parent != Store::kIpm && !s_->folders.count(parent)) throw pst::PstError("no such parent");
    if (name == s_->failFolderName) throw pst::PstError("the folder table is full");
    pst::Nid nid = next_;
    next_ += 0x20;
    s_->folders[nid] = {parent, name, cls};
    return nid;
  }
  std::vector<FolderInfo> SubFolders(pst::Nid parent) const override {
    std::vector<FolderInfo> out;
    for (const auto& [nid, f] : s_->folders)
      if (f.parent == parent) out.push_back({nid, f.name});
    return out;
  }
  pst::Nid AddMessage(pst::Nid folder, const pst::Message& message) override {
    Check();
    if (s_->failAddMessage) throw pst::PstError("disk full");
    if (s_->messages.size() >= s_->diskFullAt)
      throw pst::PstWriteError("Cannot write to " + s_->path + ": No space left on device");
    pst::Message copy;
    copy.props = message.props;
    copy.recipients = message.recipients;
    s_->messages.emplace_back(folder, std::move(copy));
    s_->size += 4096;
    for (const auto& a : message.attachments) s_->size += a.data ? a.data->size() : 0;
    if (s_->messages.size() % s_->commitEvery == 0) s_->committed = s_->messages.size();
    return 0x200024 + static_cast<pst::Nid>(s_->messages.size()) * 0x20;
  }
  void Commit() override { Check(); }
  void Close() override {
    if (s_->closed) return;
    if (s_->messages.size() >= s_->diskFullAt)
      throw pst::PstWriteError("an earlier write to " + s_->path + " failed: No space left on device");
    s_->closed = true;
    ++s_->closeCount;
    s_->committed = s_->messages.size();
  }
  int64_t MessagesInFile() const override { return static_cast<int64_t>(s_->committed); }
  uint64_t SizeIfClosed() const override { return s_->emptySize ? s_->emptySize + s_->size : 0; }

 private:
  void Check() const {
    if (s_->closed) throw pst::PstError("closed");
  }
  std::shared_ptr<Store> s_;
  pst::Nid next_ = 0x8042;
};

// A writer factory for a session (SessionOptions::writer) that makes fake
// writers and keeps their stores; it must outlive the sessions given it.
class Factory {
 public:
  // setUp adjusts each new store before anything is written to it (to
  // make it fail, say).
  mapi::WriterFactory Writer(std::function<void(Store&)> setUp = {});
  std::vector<std::shared_ptr<Store>> stores;
  bool fail = false;
};

}  // namespace fake

inline mapi::WriterFactory fake::Factory::Writer(std::function<void(Store&)> setUp) {
  return [this, setUp](const std::string& path, const std::string& name) {
    if (fail) throw pst::PstError("cannot open file for writing: Permission denied");
    std::ofstream file(path, std::ios::binary);
    if (!file) throw pst::PstError("cannot create " + path + ": " + std::strerror(errno));
    file.put('!');
    auto s = std::make_shared<Store>();
    s->path = path;
    s->displayName = name;
    if (setUp) setUp(*s);
    stores.push_back(s);
    return std::unique_ptr<pst::PstWriter>(std::make_unique<fake::Writer>(s));
  };
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The messages of one run, held compactly: a run of a million messages keeps
// for each a few numbers and its file's own name, while the folder a file is
// in, its store folder and its labels are held once for all the messages
// that share them.
#pragma once

#include <QString>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/conversion_engine.h"
#include "model/message_ref.h"
#include "model/message_state.h"

namespace verdaline::cli {

class MessageList {
 public:
  // `index` and `at`: the message's place in a file of many (-1: none).
  void Add(const model::MessageRef& ref, const QString& storeFolder, const model::MessageState& state, qint64 index,
           qint64 at);

  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  // Safe from any thread while nothing is added.
  SourceMessage At(size_t i) const;
  std::string Path(size_t i) const;
  const QString& StoreFolder(size_t i) const { return folders_[items_[i].folder]; }
  qint64 Index(size_t i) const;
  qint64 Offset(size_t i) const;

 private:
  struct Range {
    uint64_t offset, length;
    qint64 index, at;
    model::MessageFormat format;
  };
  struct Item {
    uint64_t name;  // where its file's name starts in names_; it ends where the next one starts
    uint32_t dir;       // into dirs_
    uint32_t folder;    // into folders_
    uint32_t range;     // into ranges_; kWhole: the whole file, one message
    uint32_t labels : 27;  // into labels_
    uint32_t flags : 5;    // the state's marks
  };
  static constexpr uint32_t kWhole = UINT32_MAX;
  static uint32_t Checked(size_t n, size_t limit = kWhole);
  template <typename Map, typename Key, typename Vector>
  static uint32_t Intern(Map& index, const Key& key, Vector& values);

  std::vector<Item> items_;
  std::string names_;
  std::vector<std::string> dirs_;
  std::unordered_map<std::string, uint32_t> dirIndex_;
  std::vector<QString> folders_;
  std::unordered_map<QString, uint32_t> folderIndex_;
  std::vector<std::vector<std::string>> labels_{{}};  // 0: none
  std::map<std::vector<std::string>, uint32_t> labelIndex_{{{}, 0}};
  std::vector<Range> ranges_;
};

}  // namespace verdaline::cli

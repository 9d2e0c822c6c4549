// SPDX-License-Identifier: GPL-3.0-or-later
// Each message's result as the run gives it: a byte for its outcome, and a
// reason and warnings only for the messages that have them, so that a run
// of a million messages holds no text for each.
#pragma once

#include <QString>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "engine/conversion_engine.h"

namespace verdaline::cli {

class ResultList {
 public:
  explicit ResultList(size_t count = 0) : outcomes_(count, kUnseen) {}

  void Set(size_t i, const FileResult& result);
  size_t size() const { return outcomes_.size(); }
  bool Seen(size_t i) const { return outcomes_[i] != kUnseen; }
  // Its outcome, reason, warnings and file (path and store folder are not
  // kept).
  FileResult At(size_t i) const;
  // Every message has a result, and none is "not stored".
  bool AllStored() const;

 private:
  static constexpr uint8_t kUnseen = 0xFF;
  struct Details {
    QString reason;
    std::vector<QString> warnings;
  };
  std::vector<uint8_t> outcomes_;
  // Where each of the run's files begins: messages go into them in list
  // order, so the first message of each tells every message's file.
  std::vector<size_t> fileStarts_;
  std::unordered_map<size_t, Details> details_;
};

}  // namespace verdaline::cli

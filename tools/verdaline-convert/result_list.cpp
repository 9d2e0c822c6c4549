// SPDX-License-Identifier: GPL-3.0-or-later
#include "result_list.h"

#include <algorithm>

namespace verdaline::cli {

void ResultList::Set(size_t i, const FileResult& result) {
  outcomes_[i] = static_cast<uint8_t>(result.outcome);
  if (result.outcome != FileOutcome::kNotStored && result.pstFile >= 0)
    while (fileStarts_.size() <= static_cast<size_t>(result.pstFile)) fileStarts_.push_back(i);
  if (result.reason.isEmpty() && result.warnings.empty())
    details_.erase(i);
  else
    details_[i] = Details{result.reason, result.warnings};
}

FileResult ResultList::At(size_t i) const {
  FileResult result;
  if (!Seen(i)) return result;
  result.outcome = static_cast<FileOutcome>(outcomes_[i]);
  if (result.outcome != FileOutcome::kNotStored && !fileStarts_.empty() && fileStarts_.front() <= i)
    result.pstFile =
        static_cast<int>(std::upper_bound(fileStarts_.begin(), fileStarts_.end(), i) - fileStarts_.begin()) - 1;
  if (auto it = details_.find(i); it != details_.end()) {
    result.reason = it->second.reason;
    result.warnings = it->second.warnings;
  }
  return result;
}

bool ResultList::AllStored() const {
  for (const uint8_t outcome : outcomes_)
    if (outcome == kUnseen || static_cast<FileOutcome>(outcome) == FileOutcome::kNotStored) return false;
  return true;
}

}  // namespace verdaline::cli

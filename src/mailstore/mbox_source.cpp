// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/mbox_source.h"

#include <vector>

#include "mailstore/gmail_labels.h"
#include "mailstore/mbox_scan.h"

namespace mailstore::detail {

std::string MboxFolderName(const std::string& file_name) {
  if (file_name.size() > 5 && EndsWithNoCase(file_name, ".mbox")) return file_name.substr(0, file_name.size() - 5);
  return file_name;
}

void AddMboxMessages(ScanContext& context, const ReadFile& file, const std::string& path, const Levels& levels,
                     const std::atomic<bool>* cancel) {
  const size_t first_entry = context.EntryCount();
  // Whether a message is read when its header says nothing is known only
  // at the end of the file: one bit per message until then.
  std::vector<bool> says_nothing;
  bool file_uses_status = false;
  int64_t own_folder = -1;
  int64_t index = 0;
  const MboxScan scan = ScanMbox(file, cancel, [&](MboxMessage&& m) {
    const HeaderFacts& facts = m.facts;
    model::MessageState state;
    int64_t folder = -1;
    if (facts.has_labels) {
      TakeoutPlace place = PlaceByLabels(facts.labels);
      state = std::move(place.state);
      if (!place.folder.empty()) {
        Levels label_levels;
        for (std::string& name : place.folder) label_levels.push_back(Level{std::move(name), path});
        folder = context.FolderOf(label_levels);
      }
    } else {
      state.read = !facts.status_seen || facts.read;
    }
    if (folder < 0) {
      if (own_folder < 0) own_folder = context.FolderOf(levels);
      folder = own_folder;
    }
    file_uses_status = file_uses_status || facts.status_seen;
    says_nothing.push_back(!facts.has_labels && !facts.status_seen);
    state.flagged = state.flagged || facts.flagged;
    state.answered = state.answered || facts.answered;
    state.forwarded = state.forwarded || facts.forwarded;
    state.draft = state.draft || facts.draft;
    if (state.draft) state.read = false;
    Entry entry;
    entry.kind = facts.expunged ? EntryKind::kExpunged : EntryKind::kMessage;
    entry.ref = model::MessageRef(path, m.offset, m.length, m.format);
    entry.index = index++;
    entry.at = m.at;
    entry.folder = static_cast<uint32_t>(folder);
    entry.state = std::move(state);
    context.Add(std::move(entry));
  });
  // Status headers on some messages of a file mean the others are new mail
  // (mutt writes none until a message is seen).
  if (file_uses_status) {
    for (size_t i = 0; i < says_nothing.size(); ++i) {
      if (says_nothing[i]) context.EntryAt(first_entry + i).state.read = false;
    }
  }
  context.Settle();
  if (scan.read_error != 0) {
    context.Problem(path, "reading it failed after " + std::to_string(scan.messages) +
                              " messages: " + OsReason(scan.read_error));
  }
}

}  // namespace mailstore::detail

#include "mailstore/mbox_source.h"

#include <optional>

#include "mailstore/gmail_labels.h"
#include "mailstore/mbox_scan.h"

namespace mailstore::detail {

std::string MboxFolderName(const std::string& file_name) {
  if (file_name.size() > 5 && EndsWithNoCase(file_name, ".mbox")) return file_name.substr(0, file_name.size() - 5);
  return file_name;
}

void AddMboxMessages(ScanContext& context, const ReadFile& file, const std::string& path, const Levels& levels,
                     const std::atomic<bool>* cancel) {
  MboxScan scan = ScanMbox(file, cancel);
  bool file_uses_status = false;
  for (const MboxMessage& m : scan.messages) file_uses_status = file_uses_status || m.facts.status_seen;
  int64_t own_folder = -1;
  int64_t index = 0;
  for (MboxMessage& m : scan.messages) {
    const HeaderFacts& facts = m.facts;
    model::MessageState state;
    uint32_t folder = 0;
    bool placed = false;
    if (facts.has_labels) {
      TakeoutPlace place = PlaceByLabels(facts.labels);
      state = std::move(place.state);
      if (!place.folder.empty()) {
        Levels label_levels;
        for (std::string& name : place.folder) label_levels.push_back(Level{std::move(name), path});
        folder = context.FolderOf(label_levels);
        placed = true;
      }
    } else {
      state.read = facts.status_seen ? facts.read : !file_uses_status;
    }
    if (!placed) {
      if (own_folder < 0) own_folder = context.FolderOf(levels);
      folder = static_cast<uint32_t>(own_folder);
    }
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
    entry.folder = folder;
    entry.state = std::move(state);
    context.Add(std::move(entry));
  }
  if (scan.read_error != 0) {
    context.Problem(path, "reading it failed after " + std::to_string(scan.messages.size()) +
                              " messages: " + OsReason(scan.read_error));
  }
}

}  // namespace mailstore::detail

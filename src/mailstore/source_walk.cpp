// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/source_walk.h"

#include <optional>
#include <string_view>

#include "mailstore/emlx.h"
#include "mailstore/mail_probe.h"
#include "mailstore/maildir_scan.h"
#include "mailstore/mbox_source.h"

namespace mailstore::detail {
namespace {

constexpr size_t kProbeBytes = 4096;

std::string WithoutSuffix(const std::string& name, size_t suffix) { return name.substr(0, name.size() - suffix); }

bool IsMboxBundleName(const std::string& name) { return name.size() > 5 && EndsWithNoCase(name, ".mbox"); }

// The folder of the loose files of a walked folder, made when its first
// message is found.
class LooseFolder {
 public:
  LooseFolder(ScanContext& context, const Levels& levels) : context_(context), levels_(levels) {}
  uint32_t Get() {
    if (folder_ < 0) folder_ = context_.FolderOf(levels_);
    return static_cast<uint32_t>(folder_);
  }

 private:
  ScanContext& context_;
  const Levels& levels_;
  int64_t folder_ = -1;
};

// A regular file met in a walk: what it holds decides what it is.
bool IsAppleDoubleFile(const std::string& path, const std::string& name) {
  if (name.substr(0, 2) != "._") return false;
  const ReadFile file(path);
  return file.ok() && IsAppleDouble(file.Head(4));
}

void WalkFile(ScanContext& context, const std::string& path, const std::string& name, const Levels& base,
              LooseFolder& loose, WalkSeen& seen) {
  if (EndsWithNoCase(name, ".msf")) return;  // Thunderbird's index of its mbox: no mail in it
  if (IsAppleDoubleFile(path, name)) return;
  if (EndsWithNoCase(name, ".eml")) {
    context.Message(model::MessageRef(path), loose.Get(), model::MessageState{}, false);
    seen.loose = true;
    return;
  }
  const ReadFile file(path);
  if (!file.ok()) {
    context.Problem(path, file.not_regular() ? "not a regular file" : "cannot read it: " + OsReason(file.error()));
    return;
  }
  if (EndsWithNoCase(name, ".emlx")) {
    AddEmlx(context, file, path, loose.Get());
    seen.loose = true;
    return;
  }
  if (file.size() == 0) return;  // an empty Thunderbird folder, or nothing at all
  const std::string head = file.Head(kProbeBytes);
  if (IsSeparatorLine(FirstLine(head))) {
    AddMboxMessages(context, file, path, With(base, MboxFolderName(name), path), context.cancel());
    seen.mbox = true;
  } else if (StartsLikeMessage(head)) {
    context.Message(model::MessageRef(path), loose.Get(), model::MessageState{}, false);
    seen.loose = true;
  }
  // Anything else (popstate.dat, msgFilterRules.dat, .DS_Store, ...) holds no mail.
}

// The .emlx files below an Apple Mail mailbox that has no mbox file.
void CollectEmlx(ScanContext& context, const std::string& dir, const Levels& levels, LooseFolder& folder,
                 int depth) {
  const std::optional<Listing> listed = context.ListFolder(dir, depth);
  if (!listed) return;
  const Listing& listing = *listed;
  for (const DirEntry& entry : listing.entries) {
    if (context.Cancelled()) return;
    const std::string path = JoinPath(dir, entry.name);
    if (entry.type == FileType::kDirectory) {
      if (IsMboxBundleName(entry.name)) {
        ScanAppleMailbox(context, path, With(levels, WithoutSuffix(entry.name, 5), path), depth + 1);
      } else {
        CollectEmlx(context, path, levels, folder, depth + 1);
      }
      continue;
    }
    if (!EndsWithNoCase(entry.name, ".emlx") || IsAppleDoubleFile(path, entry.name)) continue;
    if (entry.type != FileType::kRegular && StatPath(path, true).type != FileType::kRegular) {
      context.Problem(path, "not a regular file");
      continue;
    }
    const ReadFile file(path);
    if (!file.ok()) {
      context.Problem(path, file.not_regular() ? "not a regular file" : "cannot read it: " + OsReason(file.error()));
      continue;
    }
    AddEmlx(context, file, path, folder.Get());
  }
}

}  // namespace

void AddEmlx(ScanContext& context, const ReadFile& file, const std::string& path, uint32_t folder) {
  const std::optional<EmlxLayout> layout = ReadEmlx(file, false);
  if (!layout) {
    context.Message(model::MessageRef(path), folder, model::MessageState{}, false);
    return;
  }
  EmlxState state = layout->has_flags ? StateOfEmlxFlags(layout->flags) : EmlxState{};
  context.Message(model::MessageRef(path, layout->offset, layout->length, model::MessageFormat::kRfc822), folder,
                  std::move(state.state), state.deleted);
}

void ScanAppleMailbox(ScanContext& context, const std::string& dir, const Levels& levels, int depth) {
  if (depth > ScanContext::kMaxDepth) {
    context.Problem(dir, "not read: its folders nest too deep");
    return;
  }
  const std::string mbox = JoinPath(dir, "mbox");
  if (StatPath(mbox, true).type != FileType::kRegular) {
    LooseFolder folder(context, levels);
    CollectEmlx(context, dir, levels, folder, depth + 1);
    return;
  }
  const ReadFile file(mbox);
  if (!file.ok()) {
    context.Problem(mbox, "cannot read it: " + OsReason(file.error()));
  } else if (file.size() > 0) {
    Levels own = levels;
    own.back().container = mbox;
    AddMboxMessages(context, file, mbox, own, context.cancel());
  }
  // Its table_of_contents and Info.plist hold no mail; Child.mbox folders nest.
  const Listing listing = ListDirectory(dir);
  for (const DirEntry& entry : listing.entries) {
    if (context.Cancelled()) return;
    if (entry.type != FileType::kDirectory || !IsMboxBundleName(entry.name)) continue;
    const std::string child = JoinPath(dir, entry.name);
    ScanAppleMailbox(context, child, With(levels, WithoutSuffix(entry.name, 5), child), depth + 1);
  }
}

void WalkFolder(ScanContext& context, const std::string& dir, const Levels& base, const Levels& loose_levels,
                int depth, WalkSeen& seen) {
  const std::optional<Listing> listed = context.ListFolder(dir, depth);
  if (!listed) return;
  const Listing& listing = *listed;
  LooseFolder loose(context, loose_levels);
  for (const DirEntry& entry : listing.entries) {
    if (context.Cancelled()) return;
    const std::string path = JoinPath(dir, entry.name);
    FileType type = entry.type;
    if (type == FileType::kLink) {
      const FileInfo target = StatPath(path, true);
      if (target.type == FileType::kDirectory) {
        // Not followed: a link back up the tree would make the walk endless.
        context.Problem(path, "a link to a folder: not followed");
        continue;
      }
      if (target.type == FileType::kMissing || target.type == FileType::kError) {
        context.Problem(path, "cannot read it: " + OsReason(target.error));
        continue;
      }
      type = target.type;
    }
    if (type == FileType::kRegular) {
      WalkFile(context, path, entry.name, base, loose, seen);
      continue;
    }
    if (type != FileType::kDirectory) {
      context.Problem(path, "not a regular file");
      continue;
    }
    if (IsMaildir(path)) {
      ScanMaildir(context, path, With(base, entry.name, path), depth + 1);
      seen.maildir = true;
    } else if (entry.name.size() > 4 && EndsWithNoCase(entry.name, ".sbd")) {
      // Thunderbird: NAME.sbd holds the folders below the mbox NAME.
      const std::string stem = WithoutSuffix(entry.name, 4);
      const std::string mbox = JoinPath(dir, stem);
      const bool has_mbox = StatPath(mbox, true).type == FileType::kRegular;
      const Levels levels = With(base, MboxFolderName(stem), has_mbox ? mbox : path);
      WalkFolder(context, path, levels, levels, depth + 1, seen);
    } else if (IsMboxBundleName(entry.name)) {
      ScanAppleMailbox(context, path, With(base, WithoutSuffix(entry.name, 5), path), depth + 1);
      seen.mbox = true;
    } else {
      const Levels levels = With(base, entry.name, path);
      WalkFolder(context, path, levels, levels, depth + 1, seen);
    }
  }
}

}  // namespace mailstore::detail

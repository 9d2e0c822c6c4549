// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/maildir_scan.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "mailstore/file_io.h"
#include "mailstore/maildir_flags.h"
#include "mailstore/modified_utf7.h"

namespace mailstore::detail {
namespace {

constexpr size_t kMaxKeywordFileBytes = 64 * 1024;

std::vector<std::string> ReadKeywords(const std::string& dir) {
  const std::string path = JoinPath(dir, "dovecot-keywords");
  if (StatPath(path, true).type != FileType::kRegular) return {};
  const ReadFile file(path);
  if (!file.ok()) return {};
  return ParseDovecotKeywords(file.Head(kMaxKeywordFileBytes));
}

bool IsMailSubdir(std::string_view name) { return name == "cur" || name == "new" || name == "tmp"; }

// The messages of one Maildir folder (cur/ and new/), into `levels`.
void ScanMaildirFolder(ScanContext& context, const std::string& dir, const Levels& levels) {
  const uint32_t folder = context.FolderOf(levels);
  const std::vector<std::string> keywords = ReadKeywords(dir);
  // Both folders' files in one name order: Maildir names start with the
  // delivery time, so this is the order the mail came in.
  std::vector<std::pair<std::string, std::string>> files;  // name, its path
  for (const char* sub : {"cur", "new"}) {
    const std::string subdir = JoinPath(dir, sub);
    if (!IsDirectory(subdir)) continue;
    const Listing listing = ListDirectory(subdir);
    if (listing.error != 0) {
      context.Problem(subdir, "cannot list it: " + OsReason(listing.error));
      continue;
    }
    for (const DirEntry& entry : listing.entries) {
      if (entry.name.front() == '.' || IsServerFile(entry.name)) continue;
      const std::string path = JoinPath(subdir, entry.name);
      FileType type = entry.type;
      if (type == FileType::kLink) type = StatPath(path, true).type;
      if (type == FileType::kDirectory) continue;
      if (type != FileType::kRegular) {
        context.Problem(path, "not a regular file");
        continue;
      }
      files.emplace_back(entry.name, path);
    }
  }
  std::sort(files.begin(), files.end());
  for (const auto& [name, path] : files) {
    if (context.Cancelled()) return;
    MaildirFlags flags = ParseMaildirName(name, keywords);
    context.Message(model::MessageRef(path), folder, std::move(flags.state), flags.trashed);
  }
}

// Dovecot LAYOUT=fs: the folders below `dir`, each a Maildir or a level
// that holds them, named in modified UTF-7.
void ScanFsLayout(ScanContext& context, const std::string& dir, const Levels& levels, int depth) {
  const std::optional<Listing> listed = context.ListFolder(dir, depth);
  if (!listed) return;
  const Listing& listing = *listed;
  for (const DirEntry& entry : listing.entries) {
    if (context.Cancelled()) return;
    if (entry.type != FileType::kDirectory || entry.name.front() == '.' || IsMailSubdir(entry.name)) continue;
    const std::string child = JoinPath(dir, entry.name);
    const Levels child_levels = With(levels, DecodeModifiedUtf7(entry.name), child);
    if (IsMaildir(child)) ScanMaildirFolder(context, child, child_levels);
    ScanFsLayout(context, child, child_levels, depth + 1);
  }
}

// ".Archive.2023" below `base`: a level per '.', each in modified UTF-7;
// the levels above the last stand for the Maildir `root`.
Levels MaildirPlusPlusLevels(const std::string& name, Levels levels, const std::string& root,
                             const std::string& dir) {
  const size_t above = levels.size();
  size_t start = 1;
  while (start <= name.size()) {
    size_t dot = name.find('.', start);
    if (dot == std::string::npos) dot = name.size();
    if (dot > start) levels.push_back(Level{DecodeModifiedUtf7(name.substr(start, dot - start)), root});
    start = dot + 1;
  }
  if (levels.size() > above) levels.back().container = dir;
  return levels;
}

}  // namespace

bool IsMaildir(const std::string& dir) {
  return IsDirectory(JoinPath(dir, "cur")) || IsDirectory(JoinPath(dir, "new"));
}

void ScanMaildir(ScanContext& context, const std::string& root, const Levels& base, int depth) {
  ScanMaildirFolder(context, root, With(base, "Inbox", root));
  const Listing listing = ListDirectory(root);
  if (listing.error != 0) {
    context.Problem(root, "cannot list it: " + OsReason(listing.error));
    return;
  }
  // Maildir++: ".Sent", ".Archive.2023" ('.' between levels), beside Inbox.
  for (const DirEntry& entry : listing.entries) {
    if (context.Cancelled()) return;
    if (entry.type != FileType::kDirectory || entry.name.size() < 2 || entry.name.front() != '.' ||
        entry.name == "..") {
      continue;
    }
    const std::string sub = JoinPath(root, entry.name);
    if (!IsMaildir(sub)) continue;
    const Levels levels = MaildirPlusPlusLevels(entry.name, base, root, sub);
    if (levels.size() == base.size()) continue;
    ScanMaildirFolder(context, sub, levels);
  }
  ScanFsLayout(context, root, base, depth + 1);
}

void ScanMaildirSubfolder(ScanContext& context, const std::string& dir) {
  const std::string name = BaseName(dir);
  if (name.front() != '.') {
    const Levels levels{{DecodeModifiedUtf7(name), dir}};
    ScanMaildirFolder(context, dir, levels);
    ScanFsLayout(context, dir, levels, 1);
    return;
  }
  const Levels levels = MaildirPlusPlusLevels(name, {}, DirName(dir), dir);
  if (levels.empty()) {
    ScanMaildirFolder(context, dir, {{name, dir}});
  } else {
    ScanMaildirFolder(context, dir, levels);
  }
}

}  // namespace mailstore::detail

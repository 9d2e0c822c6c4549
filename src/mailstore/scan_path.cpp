// SPDX-License-Identifier: GPL-3.0-or-later
#include <optional>

#include "mailstore/emlx.h"
#include "mailstore/file_io.h"
#include "mailstore/mail_probe.h"
#include "mailstore/mail_sources.h"
#include "mailstore/maildir_scan.h"
#include "mailstore/mbox_source.h"
#include "mailstore/scan_context.h"
#include "mailstore/source_walk.h"

namespace mailstore {
namespace {

using detail::FileType;

constexpr size_t kProbeBytes = 4096;

// A file named on its own: an mbox, an .emlx, or one message whatever it holds.
SourceKind ScanFile(detail::ScanContext& context, const std::string& path, const ScanOptions& options) {
  const detail::ReadFile file(path);
  if (!file.ok()) {
    context.Problem(path, file.not_regular() ? "not a regular file" : "cannot read it: " + detail::OsReason(file.error()));
    return SourceKind::kNone;
  }
  if (file.size() == 0) {
    context.Problem(path, "holds no messages: the file is empty");
    return SourceKind::kNone;
  }
  const std::string name = detail::BaseName(path);
  const std::string head = file.Head(kProbeBytes);
  if (detail::IsSeparatorLine(detail::FirstLine(head))) {
    const detail::Levels levels{{detail::MboxFolderName(name), path}};
    detail::AddMboxMessages(context, file, path, levels, options.cancel);
    // Thunderbird keeps the folders below the mbox NAME in NAME.sbd.
    const std::string children = path + ".sbd";
    if (detail::IsDirectory(children) && !context.Cancelled()) {
      detail::WalkSeen seen;
      detail::WalkFolder(context, children, levels, levels, 1, seen);
    }
    return SourceKind::kMbox;
  }
  const detail::Levels folder{{detail::BaseName(detail::DirName(path)), detail::DirName(path)}};
  const bool named_emlx = detail::EndsWithNoCase(name, ".emlx");
  if (detail::ReadEmlx(file, !named_emlx)) {
    detail::AddEmlx(context, file, path, context.FolderOf(folder));
    return SourceKind::kEmlx;
  }
  context.Message(model::MessageRef(path), context.FolderOf(folder), model::MessageState{}, false);
  return SourceKind::kEmlFile;
}

SourceKind ScanDirectory(detail::ScanContext& context, const std::string& path) {
  const std::string name = detail::BaseName(path);
  if (detail::IsMaildir(path)) {
    if (!detail::IsRoot(path) && detail::IsMaildir(detail::DirName(path))) {
      detail::ScanMaildirSubfolder(context, path);
    } else {
      detail::ScanMaildir(context, path, {}, 0);
    }
    return SourceKind::kMaildir;
  }
  if (name.size() > 5 && detail::EndsWithNoCase(name, ".mbox")) {
    detail::ScanAppleMailbox(context, path, {{name.substr(0, name.size() - 5), path}}, 0);
    return SourceKind::kMboxTree;
  }
  detail::Levels loose{{name, path}};
  if (name.size() > 4 && detail::EndsWithNoCase(name, ".sbd")) {
    loose.front().name = name.substr(0, name.size() - 4);
    detail::WalkSeen seen;
    detail::WalkFolder(context, path, loose, loose, 0, seen);
    return SourceKind::kMboxTree;
  }
  detail::WalkSeen seen;
  detail::WalkFolder(context, path, {}, loose, 0, seen);
  return seen.mbox && !seen.loose && !seen.maildir ? SourceKind::kMboxTree : SourceKind::kEmlFolder;
}

std::string NothingFound(SourceKind kind) {
  switch (kind) {
    case SourceKind::kMaildir: return "no messages: an empty Maildir";
    case SourceKind::kMbox:
    case SourceKind::kMboxTree: return "holds no messages";
    default: return "holds no message files";
  }
}

}  // namespace

std::string_view KindName(SourceKind kind) {
  switch (kind) {
    case SourceKind::kNone: return "nothing";
    case SourceKind::kEmlFile: return "eml";
    case SourceKind::kEmlFolder: return "folder";
    case SourceKind::kMaildir: return "maildir";
    case SourceKind::kMbox: return "mbox";
    case SourceKind::kMboxTree: return "mbox folder";
    case SourceKind::kEmlx: return "emlx";
  }
  return "nothing";
}

SourceKind ScanPath(const std::string& path, ScanResult& out, const ScanOptions& options) {
  detail::ScanContext context(out, options);
  if (path.empty()) {
    context.Problem(path, "no such file or directory");
    return SourceKind::kNone;
  }
  int error = 0;
  const std::optional<std::string> absolute = detail::AbsolutePath(path, error);
  if (!absolute) {
    context.Problem(path, "cannot tell the current folder: " + detail::OsReason(error));
    return SourceKind::kNone;
  }
  const detail::FileInfo info = detail::StatPath(*absolute, true);
  const size_t entries_before = context.EntryCount();
  const size_t folders_before = context.FolderCount();
  SourceKind kind = SourceKind::kNone;
  switch (info.type) {
    case FileType::kMissing:
      context.Problem(*absolute, "no such file or directory");
      return SourceKind::kNone;
    case FileType::kError:
      context.Problem(*absolute, "cannot read it: " + detail::OsReason(info.error));
      return SourceKind::kNone;
    case FileType::kRegular:
      kind = ScanFile(context, *absolute, options);
      break;
    case FileType::kDirectory:
      kind = ScanDirectory(context, *absolute);
      break;
    default:
      // Never opened: a FIFO would wait for a writer.
      context.Problem(*absolute, "not a regular file");
      return SourceKind::kNone;
  }
  if (context.EntryCount() == entries_before) {
    context.DropFoldersFrom(folders_before);
    if (!context.Cancelled()) context.Problem(*absolute, NothingFound(kind));
    return SourceKind::kNone;
  }
  return kind;
}

}  // namespace mailstore

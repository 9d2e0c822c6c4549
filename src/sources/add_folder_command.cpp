// SPDX-License-Identifier: GPL-3.0-or-later
// The Click handler of CmdAddFolder.
#include <memory>
#include <optional>
#include <vector>

#include <QStringList>

#include "platform/file_names.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/vb_error.h"
#include "sources/folder_walk.h"
#include "sources/source_commands.h"

namespace verdaline {
namespace {

// Puts the default pointer back however the command ends, so an error
// cannot leave the busy pointer on the screen.
class BusyPointer {
 public:
  explicit BusyPointer(Platform& platform) : platform_(platform) {
    platform_.SetMousePointer(kPointerBusy);
  }
  ~BusyPointer() {
    // Reached by an error on its way up: put the pointer back if the program
    // goes on, and never let a second error out of here.
    try {
      if (!platform_.IsEnding()) Restore();
    } catch (...) {
    }
  }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;
  void Restore() {
    if (active_) platform_.SetMousePointer(kPointerDefault);
    active_ = false;
  }

 private:
  Platform& platform_;
  bool active_ = true;
};

QString UnreadableFolderText(const VbError& error) {
  if (const auto* folderError = dynamic_cast<const FolderReadError*>(&error)) {
    return QStringLiteral("Could not read the folder %1 (%2: %3).")
        .arg(ReadableFileName(folderError->folder()), QString::number(error.number()), folderError->reason());
  }
  return QString::number(error.number()) + QStringLiteral(":") +
         QString::fromStdString(error.description());
}

// One line per folder that was skipped (the first 20, then how many more).
QString SkippedFoldersText(const std::vector<FolderReadError>& skipped) {
  constexpr size_t kShown = 20;
  QStringList lines;
  for (size_t i = 0; i < skipped.size() && i < kShown; ++i) lines << UnreadableFolderText(skipped[i]);
  if (skipped.size() > kShown)
    lines << QStringLiteral("... and %1 more folder(s) could not be read.").arg(skipped.size() - kShown);
  return lines.join(QStringLiteral("\r\n"));
}

}  // namespace

void CmdAddFolder_Click(const SourceCommandContext& context) {
  Platform& platform = context.platform;
  const QString chosen = BrowseForFolder(platform, context.owner,
                                         QStringLiteral("Choose Source Folder..."), context.separator);
  if (chosen.isEmpty()) return;
  const QString folder = WithTrailingSeparator(chosen, context.separator);

  BusyPointer busy(platform);

  // The whole tree is walked before the first row is added. A folder that
  // cannot be read is skipped and named afterwards; the walk goes on.
  const FolderWalk walk = WalkFolder(folder);
  std::optional<QString> walkFailure;
  if (walk.failure) {
    walkFailure = UnreadableFolderText(*walk.failure);
  } else if (!walk.skipped.empty()) {
    walkFailure = SkippedFoldersText(walk.skipped);
  }
  const std::shared_ptr<PathList>& found = walk.paths;

  // Events are pumped before every path and before every add, so the list
  // grows visibly and the window stays usable (even a clear can come in
  // between; later files then start a new list).
  std::int64_t added = 0;
  for (const QString& path : *found) {
    platform.DoEvents();
    if (!IsMessageFilePath(path)) continue;
    platform.DoEvents();
    context.addFileRow(path);
    ++added;
  }

  busy.Restore();
  context.setConvertEnabled(added > 0);
  if (walkFailure) platform.MsgBox(*walkFailure, mb::kExclamation, kAppTitle);
  platform.MsgBox(QString::number(added) + QStringLiteral(" Files Added to List."), mb::kOkOnly,
                  QString());
}

}  // namespace verdaline

// SPDX-License-Identifier: GPL-3.0-or-later
// The folder walk behind "Add Folder", without the window: every file of a
// folder tree in the walker's breadth-first order, the folders that could
// not be listed, and the test that picks the message files among them. The
// window's command and the command-line program both walk through here, so
// they find the same files in the same order.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QString>

#include "platform/vb_error.h"
#include "sources/file_system_object.h"
#include "sources/path_logger.h"

namespace verdaline {

struct FolderWalk {
  std::shared_ptr<PathList> paths;       // every file of the tree, walk order, whatever its name
  std::vector<FolderReadError> skipped;  // folders that could not be listed, in the order met
  std::optional<VbError> failure;        // the walk stopped early on this (the paths found stay)
};

// Walks the tree under `folder` (with or without a trailing separator).
// Links to folders are listed but not walked into; a folder that cannot be
// listed is skipped and the walk goes on. A path that is not an existing
// folder gives no paths.
FolderWalk WalkFolder(const QString& folder);

// The folder command's test for a message file: lower-cased, blanks trimmed
// at both ends, the last four characters are ".eml".
bool IsMessageFilePath(const QString& path);

}  // namespace verdaline

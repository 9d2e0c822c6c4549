// SPDX-License-Identifier: GPL-3.0-or-later
// An mbox file's messages as entries: each to its folder, with the state
// its header (or the file as a whole) gives it.
#pragma once

#include <string>

#include "mailstore/file_io.h"
#include "mailstore/scan_context.h"

namespace mailstore::detail {

// The messages of the mbox `file` (at `path`) go to `levels`, or, for a
// Google Takeout message, to the folder of its first folder label at the
// top of the store. A message without Status/X-Mozilla-Status is read
// unless other messages of the same file carry them (then it is new mail).
// A failed read is a problem entry; what was found before it is kept.
void AddMboxMessages(ScanContext& context, const ReadFile& file, const std::string& path, const Levels& levels,
                     const std::atomic<bool>* cancel);

// An mbox's folder name: the file's name without a ".mbox" ending.
std::string MboxFolderName(const std::string& file_name);

}  // namespace mailstore::detail

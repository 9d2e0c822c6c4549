// SPDX-License-Identifier: GPL-3.0-or-later
// Maildir, its Maildir++ subfolders (".Sent", ".Archive.2023") and
// Dovecot's LAYOUT=fs subfolders (Work/Projects/cur).
#pragma once

#include <string>

#include "mailstore/scan_context.h"

namespace mailstore::detail {

// A directory with cur/ or new/ (tmp/ alone is never read).
bool IsMaildir(const std::string& dir);

// The Maildir at `root`: its own messages go to `base` › Inbox, its
// subfolders beside that Inbox.
void ScanMaildir(ScanContext& context, const std::string& root, const Levels& base, int depth);

// A Maildir that is a folder of the Maildir above it (".Sent",
// ".Archive.2023", or LAYOUT=fs "Work"): its messages go to the folder of its
// own name, not to an Inbox.
void ScanMaildirSubfolder(ScanContext& context, const std::string& dir);

}  // namespace mailstore::detail

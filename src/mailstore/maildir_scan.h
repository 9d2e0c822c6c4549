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

}  // namespace mailstore::detail

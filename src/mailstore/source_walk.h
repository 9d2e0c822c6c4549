// SPDX-License-Identifier: GPL-3.0-or-later
// Folders of mail files walked for what they hold: loose .eml/.emlx and MH
// message files, mbox files (Thunderbird's NAME + NAME.sbd layout), Apple
// Mail NAME.mbox bundles and Maildirs found anywhere below.
#pragma once

#include <string>

#include "mailstore/file_io.h"
#include "mailstore/scan_context.h"

namespace mailstore::detail {

struct WalkSeen {
  bool loose = false;    // a message file
  bool mbox = false;     // an mbox file or an Apple bundle
  bool maildir = false;
};

// `dir`'s loose message files go to `loose`; its subfolders and the stores
// in it to `base` › their names.
void WalkFolder(ScanContext& context, const std::string& dir, const Levels& base, const Levels& loose, int depth,
                WalkSeen& seen);

// An Apple Mail NAME.mbox folder, as `levels` (which end with NAME): its
// mbox file, or else every .emlx below it; Child.mbox folders nest.
void ScanAppleMailbox(ScanContext& context, const std::string& dir, const Levels& levels, int depth);

// One .emlx file's message (a whole message if it has no count line).
void AddEmlx(ScanContext& context, const ReadFile& file, const std::string& path, uint32_t folder);

}  // namespace mailstore::detail

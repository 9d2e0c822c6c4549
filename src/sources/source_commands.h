// SPDX-License-Identifier: GPL-3.0-or-later
// The two commands that fill the message file list: the Click handlers of
// cmdAdd (pick files in the open dialog) and CmdAddFolder (every ".eml" file
// of a folder tree). The window wires them to its buttons and hands them what
// they touch, so they run the same against the real window and in tests.
#pragma once

#include <functional>

#include <QString>

#include "platform/paths.h"
#include "sources/folder_walk.h"

class QWidget;

namespace verdaline {

class CommonDialog;
class Platform;

struct SourceCommandContext {
  Platform& platform;
  QWidget* owner = nullptr;                         // owner of the dialogs
  std::function<void(const QString&)> addFileRow;   // appends one path to the list
  std::function<void(bool)> setConvertEnabled;      // Enabled of CmdExtractDBX
  QChar separator = kPathSeparator;
};

// The open dialog's settings for picking message files.
inline constexpr int kOpenFileFlags = 0x80200;  // explorer style, several files allowed
inline constexpr int kOpenFileMaxSize = 1000;   // characters of result allowed for

// Add files: sets up the window's open dialog `cdlgFile` (no initial name,
// the "Email Messages (*.eml)" filter, several files allowed) and shows it;
// a cancel changes nothing. Otherwise it
// enables the conversion button first, then adds each chosen path: the one
// full path, or folder + separator + name for each name of a multiple
// selection (no doubled separator when the folder is a root). Errors end the
// command with a message box (20476: "Please select only N files at a time";
// any other: "number:description"); rows already added stay.
void cmdAdd_Click(const SourceCommandContext& context, CommonDialog& cdlgFile);

// Add folder: asks for a folder ("Choose Source Folder..."); a cancel changes
// nothing. Otherwise it walks the tree under the busy pointer, adds every file
// whose name ends in ".eml" in any letter case (pumping events before every
// path and before every add), restores the pointer, enables the conversion
// button when it added any file and disables it when none, and shows
// "n Files Added to List.". A folder of the tree that cannot be read stops
// the walk: the files found before it are still added, and a message names
// the folder before the count is shown.
void CmdAddFolder_Click(const SourceCommandContext& context);

}  // namespace verdaline

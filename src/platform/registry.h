// SPDX-License-Identifier: GPL-3.0-or-later
// The folder-browse dialog and the path splitter that the folder command and
// the conversion run share.
#pragma once

#include <QString>

#include "platform/folder_part.h"
#include "platform/paths.h"

class QWidget;

namespace verdaline {

class Platform;

// Shows the folder dialog (modal, owned by `owner`) and returns the chosen
// folder: without a trailing separator, except a root ("/", or "C:\" under
// the Windows convention), which keeps its own. Returns "" when the user
// cancels, when the desktop gives no path, and on any failure: it never
// throws. The name comes back exactly as the desktop spelt it (no code-page
// round trip, so any Unicode name survives). The one thing it lets through
// is ProgramEnding, when the window is closed while the dialog is up.
QString BrowseForFolder(Platform& platform, QWidget* owner, const QString& title,
                        QChar sep = kPathSeparator);

}  // namespace verdaline

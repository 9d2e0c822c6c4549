// SPDX-License-Identifier: GPL-3.0-or-later
// Creates the store's folder tree from the sorted folder list: top-level
// folders through the store's top of personal folders (unless one of that
// exact name is there already), deeper ones inside the parent that
// OpenMAPIFolder finds by the store's display name.
#pragma once

#include <QString>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "mapi/rdo_session.h"

namespace verdaline {

// Folder path -> why it could not be created. A folder whose parent could not
// be created fails too, with the parent named as the reason.
using FolderFailures = std::map<QString, QString>;

// Yields once after each top-level folder and twice for each nested one.
// Never throws for a single folder: each failure is recorded and creation
// goes on with the next entry.
FolderFailures CreateStoreFolders(mapi::RDOSession& session, const std::string& storeEntryId,
                                  const QString& storeName, const std::vector<QString>& folderPaths,
                                  const std::function<void()>& yield);

// The failure recorded for folderPath or for the nearest of its ancestors; ""
// when that folder and all above it were created.
QString FolderFailureFor(const FolderFailures& failures, const QString& folderPath);

}  // namespace verdaline

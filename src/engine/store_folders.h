// SPDX-License-Identifier: GPL-3.0-or-later
// Creates the store's folder tree from the sorted list of source folder
// paths: top-level folders through the store's top of personal folders
// (one of that exact name there already, such as "Deleted Items", is used
// as it is), deeper ones inside the parent that OpenMAPIFolder finds by the
// store's display name.
//
// Each source folder gets a store folder of its own. Source names are the
// file system's bytes and may hold what a store name cannot show: a byte
// that is not UTF-8 is shown as U+FFFD, a "\" as U+2216. Where that makes
// two siblings' names equal ("b\xff", "b\xfe"), the later one in the sorted
// list is named "NAME (2)", "NAME (3)" and on, so that no two source
// folders ever share a store folder.
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

struct StoreFolderTree {
  FolderFailures failures;  // keyed by source folder path
  // Source folder path -> the store folder path it was given, names as
  // stored joined by kStoreSeparator.
  std::map<QString, QString> stored;
  // The store path of a source folder path; the source path itself for one
  // the tree was not asked for.
  QString StoredPath(const QString& source) const;
};

// The store's name for one source folder name, before any "(2)" is added,
// and the same for each name of a source folder path.
QString ShownFolderName(const QString& sourceName);
QString ShownFolderPath(const QString& sourcePath);

// The store folder path each source folder path is given: the paths sorted,
// parents first (BuildFolderList); existingTopLevel names the folders the
// store already holds below its top. A path that found no free name is left
// out.
std::map<QString, QString> ChooseStoreFolderNames(const std::vector<QString>& folderPaths,
                                                  const std::vector<std::string>& existingTopLevel);

// Yields once after each top-level folder and twice for each nested one.
// Never throws for a single folder: each failure is recorded and creation
// goes on with the next entry.
StoreFolderTree CreateStoreFolders(mapi::RDOSession& session, const std::string& storeEntryId,
                                   const QString& storeName, const std::vector<QString>& folderPaths,
                                   const std::function<void()>& yield);

// The failure recorded for folderPath or for the nearest of its ancestors; ""
// when that folder and all above it were created.
QString FolderFailureFor(const FolderFailures& failures, const QString& folderPath);

}  // namespace verdaline

// SPDX-License-Identifier: GPL-3.0-or-later
// The directory walker: collects the paths of every folder and every file of
// a folder tree, breadth first, into keyed lists that outlive it.
//
// Use: PathLogInit, optionally fullFileNamesOnly(false), one LogPath, read
// the lists, Terminate. Keys: the root folder is "K0", the k-th folder found
// (the root counting as the first) is "Kk", so "K1" never occurs; the n-th
// file is "Kn" in each file list. Folders are read in breadth-first order,
// each in the file system's own enumeration order; nothing is sorted or
// filtered. Links to folders are listed as folders but not walked into.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QString>

#include "platform/paths.h"
#include "sources/file_system_object.h"
#include "sources/keyed_list.h"

namespace verdaline {

using PathList = KeyedList<QString>;
using PositionList = KeyedList<std::int64_t>;

// NOLINTNEXTLINE(readability-identifier-naming): the walker's established name.
class pathLogger {
 public:
  // Prepares a walk: a new file-system object, fullFileNamesOnly true, and
  // fresh (empty) lists. Count is left as it is.
  void PathLogInit();

  // Walks the tree under `strPARENT` (with or without a trailing separator).
  // A path that is not an existing folder collects nothing and leaves Count
  // alone. A folder that cannot be listed (no access, a path longer than the
  // system takes, gone meanwhile) is skipped and recorded in
  // skippedFolders(); the walk goes on with the folders after it. Calling it a second time without
  // PathLogInit raises error 457 (the root's key is taken); after Terminate
  // without PathLogInit, error 91 (no file-system object).
  void LogPath(const QString& strPARENT);

  // The key number the next file would take: one more than the files
  // collected by the last walk; 0 on a new walker.
  std::int64_t Count() const { return count_; }
  // The folders the last walk could not list, each with its reason, in the
  // order they were met.
  const std::vector<FolderReadError>& skippedFolders() const { return skipped_; }

  // Releases the file-system object and the walker's hold on its lists; a
  // list that a caller took before stays intact for that caller.
  void Terminate();

  bool fullFileNamesOnly() const { return fullFileNamesOnly_; }
  void fullFileNamesOnly(bool value) { fullFileNamesOnly_ = value; }

  // Each list is created empty on first use after it was released, so a
  // read before any walk gives an empty list, never a missing one.
  std::shared_ptr<PathList> fileNames();          // names without folder (fullFileNamesOnly false)
  std::shared_ptr<PositionList> pathPointers();   // position in pathNames of each file's folder
  std::shared_ptr<PathList> pathNames();          // every folder, each ending with a separator
  std::shared_ptr<PathList> fullFileNames();      // the full path of every file

 private:
  static QString AddBackslash(const QString& fullPath);

  std::unique_ptr<FileSystemObject> fileSystem_;
  std::int64_t count_ = 0;
  std::vector<FolderReadError> skipped_;
  std::shared_ptr<PathList> fileNames_;
  std::shared_ptr<PositionList> pathPointers_;
  std::shared_ptr<PathList> pathNames_;
  std::shared_ptr<PathList> fullFileNames_;
  bool fullFileNamesOnly_ = false;
};

}  // namespace verdaline

// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/folder_walk.h"

namespace verdaline {

FolderWalk WalkFolder(const QString& folder) {
  FolderWalk walk;
  pathLogger walker;
  walker.PathLogInit();
  walker.fullFileNamesOnly(true);
  try {
    walker.LogPath(folder);
  } catch (const VbError& error) {
    walk.failure = error;
  }
  walk.skipped = walker.skippedFolders();
  walk.paths = walker.fullFileNames();
  walker.Terminate();
  return walk;
}

bool IsMessageFilePath(const QString& path) {
  const QString name = path.toLower();
  qsizetype first = 0;
  qsizetype end = name.size();
  while (first < end && name[first] == u' ') ++first;
  while (end > first && name[end - 1] == u' ') --end;
  const qsizetype length = end - first;
  const qsizetype tail = length < 4 ? length : 4;
  return QStringView(name).sliced(end - tail, tail) == u".eml";
}

}  // namespace verdaline

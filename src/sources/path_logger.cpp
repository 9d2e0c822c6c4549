// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/path_logger.h"

#include <vector>

namespace verdaline {
namespace {

template <typename List>
std::shared_ptr<List>& EnsureList(std::shared_ptr<List>& list) {
  if (!list) list = std::make_shared<List>();
  return list;
}

QString Key(std::int64_t number) { return QStringLiteral("K") + QString::number(number); }

}  // namespace

void pathLogger::PathLogInit() {
  fileSystem_ = std::make_unique<FileSystemObject>();
  fullFileNamesOnly_ = true;
  fileNames_.reset();
  pathPointers_.reset();
  pathNames_.reset();
  fullFileNames_.reset();
  skipped_.clear();
}

void pathLogger::Terminate() {
  fileSystem_.reset();
  fileNames_.reset();
  pathNames_.reset();
  pathPointers_.reset();
  fullFileNames_.reset();
}

std::shared_ptr<PathList> pathLogger::fileNames() { return EnsureList(fileNames_); }
std::shared_ptr<PositionList> pathLogger::pathPointers() { return EnsureList(pathPointers_); }
std::shared_ptr<PathList> pathLogger::pathNames() { return EnsureList(pathNames_); }
std::shared_ptr<PathList> pathLogger::fullFileNames() { return EnsureList(fullFileNames_); }

QString pathLogger::AddBackslash(const QString& fullPath) {
  return WithTrailingSeparator(fullPath, kPathSeparator);
}

void pathLogger::LogPath(const QString& strPARENT) {
  if (!fileSystem_) {
    throw VbError(err::kObjectNotSet, "Object variable or With block variable not set");
  }
  if (!fileSystem_->FolderExists(strPARENT)) return;

  PathList& folders = *pathNames();
  PathList& fullPaths = *fullFileNames();
  std::int64_t last = 1;
  count_ = 1;
  folders.Add(AddBackslash(strPARENT), QStringLiteral("K0"));

  // pathNames doubles as the queue of folders still to read; this records,
  // by position, which of them are links and so are listed but not read.
  std::vector<bool> isLink{false};
  for (std::int64_t i = 1; i <= last; ++i) {
    if (isLink[static_cast<std::size_t>(i - 1)]) continue;
    const QString folder = folders.Item(i);
    FolderEntries entries;
    try {
      entries = fileSystem_->ListFolder(folder);
    } catch (const FolderReadError& e) {
      // One folder that cannot be read must not cost the rest of the tree.
      skipped_.push_back(e);
      continue;
    }

    for (const SubFolder& sub : entries.subFolders) {
      ++last;
      folders.Add(folder + sub.name + kPathSeparator, Key(last));
      isLink.push_back(sub.isLink);
    }
    for (const QString& name : entries.files) {
      const QString key = Key(count_);
      fullPaths.Add(folder + name, key);
      if (!fullFileNamesOnly_) {
        fileNames()->Add(name, key);
        pathPointers()->Add(i, key);
      }
      ++count_;
    }
  }
}

}  // namespace verdaline

// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/file_system_object.h"

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>

#include "platform/file_names.h"

namespace verdaline {
namespace {

FolderReadError ErrorFor(int code, const QString& folder) {
  switch (code) {
    case EACCES:
    case EPERM:
      return FolderReadError(err::kPermissionDenied, QStringLiteral("Permission denied"), folder);
    case ENOENT:
    case ENOTDIR:
      return FolderReadError(err::kPathNotFound, QStringLiteral("Path not found"), folder);
    default:
      return FolderReadError(err::kFileAccess,
                             QStringLiteral("Path/File access error (%1)")
                                 .arg(QString::fromLocal8Bit(std::strerror(code))),
                             folder);
  }
}

bool IsFolder(const QByteArray& path, bool followLinks) {
  struct stat info{};
  const int rc = followLinks ? ::stat(path.constData(), &info) : ::lstat(path.constData(), &info);
  return rc == 0 && S_ISDIR(info.st_mode);
}

// Closes the directory stream however the listing ends.
class DirCloser {
 public:
  explicit DirCloser(DIR* dir) : dir_(dir) {}
  ~DirCloser() { ::closedir(dir_); }
  DirCloser(const DirCloser&) = delete;
  DirCloser& operator=(const DirCloser&) = delete;

 private:
  DIR* dir_;
};

}  // namespace

FolderReadError::FolderReadError(int number, const QString& reason, const QString& folder)
    : VbError(number, (reason + QStringLiteral(": ") + folder).toStdString()),
      reason_(reason),
      folder_(folder) {}

bool FileSystemObject::FolderExists(const QString& path) const {
  if (path.isEmpty()) return false;
  return IsFolder(EncodeFileName(path), /*followLinks=*/true);
}

FolderEntries FileSystemObject::ListFolder(const QString& path) const {
  const QByteArray folder = EncodeFileName(path);
  DIR* dir = ::opendir(folder.constData());
  if (dir == nullptr) throw ErrorFor(errno, path);
  DirCloser closer(dir);

  QByteArray prefix = folder;
  if (!prefix.endsWith('/')) prefix.append('/');

  FolderEntries entries;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir);
    if (entry == nullptr) {
      if (errno != 0) throw ErrorFor(errno, path);
      break;
    }
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;

    // The entry type usually comes with the listing; links and file systems
    // that do not report types need a stat of their own.
    bool folderEntry = false;
    bool link = false;
    switch (entry->d_type) {
      case DT_DIR:
        folderEntry = true;
        break;
      case DT_LNK:
        link = true;
        folderEntry = IsFolder(prefix + name, /*followLinks=*/true);
        break;
      case DT_UNKNOWN: {
        const QByteArray full = prefix + name;
        struct stat info{};
        if (::lstat(full.constData(), &info) == 0) {
          link = S_ISLNK(info.st_mode);
          folderEntry = link ? IsFolder(full, true) : S_ISDIR(info.st_mode);
        }
        break;
      }
      default:
        break;
    }
    const QString decoded = DecodeFileName(QByteArray(name));
    if (folderEntry) {
      entries.subFolders.push_back(SubFolder{decoded, link});
    } else {
      entries.files.push_back(decoded);
    }
  }
  return entries;
}

}  // namespace verdaline

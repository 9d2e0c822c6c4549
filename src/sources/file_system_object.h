// SPDX-License-Identifier: GPL-3.0-or-later
// The file-system object the directory walker reads through: whether a
// folder exists, and one folder's entries in the order the file system
// enumerates them. It adds no order of its own and filters nothing but the
// "." and ".." entries.
#pragma once

#include <string>
#include <vector>

#include <QString>

#include "platform/vb_error.h"

namespace verdaline {

namespace err {
inline constexpr int kFileAccess = 75;
inline constexpr int kObjectNotSet = 91;
}  // namespace err

// A folder whose entries could not be read. The description names the
// folder; reason() is the bare cause ("Permission denied").
class FolderReadError : public VbError {
 public:
  FolderReadError(int number, const QString& reason, const QString& folder);
  const QString& folder() const { return folder_; }
  const QString& reason() const { return reason_; }

 private:
  QString reason_;
  QString folder_;
};

struct SubFolder {
  QString name;
  // A link to a folder: listed like a folder, but its contents are not read,
  // so a link back to an ancestor cannot make a walk endless.
  bool isLink = false;
};

struct FolderEntries {
  std::vector<SubFolder> subFolders;  // enumeration order
  std::vector<QString> files;         // every entry that is not a folder, enumeration order
};

class FileSystemObject {
 public:
  // True when `path` names an existing folder (a link to one counts).
  bool FolderExists(const QString& path) const;

  // The entries of the folder `path`. A folder that cannot be opened or read
  // raises a FolderReadError: 70 when access is denied, 76 when the folder
  // is gone, 75 for any other failure.
  FolderEntries ListFolder(const QString& path) const;
};

}  // namespace verdaline

// SPDX-License-Identifier: GPL-3.0-or-later
// The message files of a conversion as the engine takes them: each path
// after its trim rule, with the store folder it goes into, and the problems
// that keep a list from being converted at all.
#pragma once

#include <QString>
#include <functional>
#include <vector>

namespace verdaline {

struct FileRow {
  QString path;      // as given when a file of that very name exists, else trimmed of spaces
  QString relative;  // store folder path ("" when the path has none)
};

struct RowCheck {
  std::vector<FileRow> rows;  // one per given path, in order
  struct Problem {
    qint64 index;
    QString text;  // the path as given
    QString reason;
  };
  std::vector<Problem> problems;
  bool emptyList = false;  // no paths, or one blank one
};

// isFile: whether a file (anything but a folder) of exactly that name exists.
RowCheck CheckRows(const std::vector<QString>& paths, QChar sep, const std::function<bool(const QString&)>& isFile);

// A row's file path: as it stands when a file of that very name exists,
// else trimmed of spaces.
QString RowFilePath(const QString& text, const std::function<bool(const QString&)>& isFile);

// stat() of the encoded name: it exists and is not a folder.
bool IsExistingFile(const QString& path);

}  // namespace verdaline

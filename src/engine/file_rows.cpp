// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/file_rows.h"

#include <QSet>

#include <sys/stat.h>

#include "engine/relative_folder.h"
#include "platform/file_names.h"

namespace verdaline {

namespace {

QString ReasonOf(const RowPathError& e) {
  switch (e.kind()) {
    case RowPathError::Kind::kEmpty: return QStringLiteral("the row is empty");
    case RowPathError::Kind::kNotFullPath: return QStringLiteral("the row is not a full path");
    case RowPathError::Kind::kInRoot:
      return QStringLiteral("the file lies directly in the root folder, which has no folder to mirror");
  }
  return QString::fromStdString(e.what());
}

}  // namespace

// Names may end in spaces; a typed path may carry stray ones. Leading
// spaces are never part of a full path.
QString RowFilePath(const QString& text, const std::function<bool(const QString&)>& isFile) {
  const QString trimmed = TrimSpaces(text);
  if (trimmed.size() == text.size() || text.startsWith(u' ')) return trimmed;
  return isFile(text) ? text : trimmed;
}

bool IsExistingFile(const QString& path) {
  struct stat info{};
  return ::stat(EncodeFileName(path).constData(), &info) == 0 && !S_ISDIR(info.st_mode);
}

RowCheck CheckRows(const std::vector<QString>& paths, QChar sep, const std::function<bool(const QString&)>& isFile) {
  RowCheck check;
  check.rows.reserve(paths.size());
  // Files of one folder share one copy of its path: a long list holds few
  // folders.
  QSet<QString> folders;
  for (size_t i = 0; i < paths.size(); ++i) {
    FileRow row{RowFilePath(paths[i], isFile), QString()};
    try {
      row.relative = *folders.insert(GetRelativeFolder(row.path, sep));
    } catch (const RowPathError& e) {
      check.problems.push_back({static_cast<qint64>(i), paths[i], ReasonOf(e)});
    }
    check.rows.push_back(std::move(row));
  }
  // One blank row is the grid's way of holding no list at all.
  check.emptyList = paths.empty() || (paths.size() == 1 && check.rows[0].path.isEmpty());
  return check;
}

}  // namespace verdaline

// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/relative_folder.h"

#include <QStringList>

#include "platform/folder_part.h"

namespace verdaline {

QString TrimSpaces(const QString& s) {
  qsizetype begin = 0;
  qsizetype end = s.size();
  while (begin < end && s[begin] == u' ') ++begin;
  while (end > begin && s[end - 1] == u' ') --end;
  return s.mid(begin, end - begin);
}

QString StoreFolderName(QString name) {
  return name.replace(kStoreSeparator, kBackslashInName);
}

QString GetRelativeFolder(const QString& path, QChar sep) {
  const QString trimmed = TrimSpaces(path);
  if (trimmed.isEmpty()) throw RowPathError(RowPathError::Kind::kEmpty, "the row is empty");

  // Below the root: everything after the root's separator.
  QString below;
  if (sep == u'\\') {
    // Windows: a drive, a colon and a backslash begin a full path. The drive
    // letter plays no part; what follows the first colon is the path on it.
    const qsizetype colon = trimmed.indexOf(u':');
    const QString onDrive = colon < 0 ? QString() : TrimSpaces(trimmed.mid(colon + 1));
    if (colon < 0 || !onDrive.startsWith(sep))
      throw RowPathError(RowPathError::Kind::kNotFullPath, "it is not a full path with a drive");
    below = onDrive.mid(1);
  } else {
    if (!trimmed.startsWith(sep))
      throw RowPathError(RowPathError::Kind::kNotFullPath, "it is not a full path");
    below = trimmed.mid(1);
  }

  const QString folder = below.isEmpty() ? QString() : GetFolderPart(below, sep);
  QStringList names;
  for (const QString& name : folder.split(sep, Qt::SkipEmptyParts)) names << StoreFolderName(name);
  if (names.isEmpty())
    throw RowPathError(RowPathError::Kind::kInRoot, "the file lies directly in the root folder");
  return names.join(kStoreSeparator);
}

}  // namespace verdaline

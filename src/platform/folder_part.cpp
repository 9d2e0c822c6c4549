// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/folder_part.h"

#include "platform/vb_error.h"

namespace verdaline {

QString GetFolderPart(const QString& path, QChar sep) {
  if (path.isEmpty()) RaiseSubscript();
  const qsizetype last = path.lastIndexOf(sep);
  return last < 0 ? QString() : path.left(last + 1);
}

}  // namespace verdaline

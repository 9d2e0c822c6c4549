// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry.h"

#include <exception>

#include "platform/platform.h"
#include "platform/vb_error.h"

namespace verdaline {
namespace {

// "C:" and the like: what is left of a drive root once its separator goes.
bool IsDriveSpec(const QString& text) {
  return text.size() == 2 && text[1] == u':' && text[0].isLetter();
}

// Drops trailing separators but keeps a root whole: "/" and "C:\" are the
// only folders whose path ends with a separator.
QString StripTrailingSeparators(QString path, QChar sep) {
  while (path.size() > 1 && path.back() == sep) {
    QString shorter = path.chopped(1);
    if (IsDriveSpec(shorter)) break;
    path = shorter;
  }
  return path;
}

}  // namespace

QString BrowseForFolder(Platform& platform, QWidget* owner, const QString& title, QChar sep) {
  try {
    QString chosen = platform.ChooseFolder(owner, title);
    // A desktop that hands back a fixed buffer pads it with NULs: the path
    // ends at the first one (a buffer that starts with NUL means no path).
    const qsizetype nul = chosen.indexOf(QChar(u'\0'));
    if (nul >= 0) chosen.truncate(nul);
    if (chosen.isEmpty()) return QString();
    return StripTrailingSeparators(chosen, sep);
  } catch (const ProgramEnding&) {
    throw;  // the window was closed: not a failure of the dialog
  } catch (...) {
    // The dialog is a convenience: any failure inside it reads as "no folder".
    return QString();
  }
}

}  // namespace verdaline

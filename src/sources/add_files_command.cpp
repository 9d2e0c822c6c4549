// SPDX-License-Identifier: GPL-3.0-or-later
// The Click handler of cmdAdd.
#include <exception>

#include <QStringList>

#include "platform/common_dialog.h"
#include "platform/platform.h"
#include "platform/vb_error.h"
#include "sources/source_commands.h"

namespace verdaline {
namespace {

// The longest path the open dialog's result must always have room for.
constexpr int kMaxPathLength = 260;

// How many files surely fit into a result of `maxFileSize` characters: the
// figure shown when a selection does not fit.
int FilesThatFit(int maxFileSize) {
  return maxFileSize / kMaxPathLength > 0 ? maxFileSize / kMaxPathLength : 1;
}

void AddChosenFiles(const SourceCommandContext& context, CommonDialog& cdlgFile) {
  cdlgFile.SetFileName(QString());
  cdlgFile.SetFilter(QStringLiteral("Email Messages (*.eml)|*.eml"));
  cdlgFile.SetFlags(kOpenFileFlags);
  cdlgFile.SetMaxFileSize(kOpenFileMaxSize);
  cdlgFile.ShowOpen();

  QString text = cdlgFile.FileName();
  if (text.isEmpty()) return;  // cancelled
  const QChar nul(u'\0');
  if (text.back() != nul) text.append(nul);

  // Any answer but a cancel enables conversion, before anything is added.
  context.setConvertEnabled(true);

  // folder NUL name NUL name ... NUL, or one full path NUL: the last part is
  // always the empty text after the final NUL.
  const QStringList parts = text.split(nul);
  const qsizetype used = parts.size() - 1;
  const QString prefix = used >= 2 ? WithTrailingSeparator(parts[0], context.separator) : QString();
  for (qsizetype i = 0; i < used; ++i) {
    if (!prefix.isEmpty() && i == 0) continue;  // the folder itself
    // An empty part names no file; adding it would put a blank row into the
    // list, which the list would take for "empty".
    if (parts[i].isEmpty()) continue;
    context.addFileRow(prefix + parts[i]);
  }
}

}  // namespace

void cmdAdd_Click(const SourceCommandContext& context, CommonDialog& cdlgFile) {
  Platform& platform = context.platform;
  try {
    AddChosenFiles(context, cdlgFile);
  } catch (const VbError& error) {
    if (error.number() == err::kDialogBufferTooSmall) {
      platform.MsgBox(QStringLiteral("Please select only ") +
                          QString::number(FilesThatFit(cdlgFile.MaxFileSize())) +
                          QStringLiteral(" files at a time"),
                      mb::kExclamation, kAppTitle);
    } else {
      platform.MsgBox(QString::number(error.number()) + QStringLiteral(":") +
                          QString::fromStdString(error.description()),
                      mb::kExclamation, kAppTitle);
    }
  } catch (const std::exception& error) {
    // Not one of ours: report it the same way, as an internal error.
    platform.MsgBox(QString::number(err::kInternalError) + QStringLiteral(":") +
                        QString::fromLocal8Bit(error.what()),
                    mb::kExclamation, kAppTitle);
  }
}

}  // namespace verdaline

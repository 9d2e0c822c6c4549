// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/run_messages.h"

#include "platform/file_names.h"

namespace verdaline {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

QString SessionErrorText(const QString& cause) {
  QString text = QStringLiteral("Outlook Session Creation Error !") + kCrLf +
                 QStringLiteral("Check if Outlook is installed and configured.") + kCrLf +
                 QStringLiteral("For more details visit this link : ") + kSupportLink;
  if (!cause.isEmpty()) text += kCrLf + QStringLiteral("Cause: ") + cause;
  return text;
}

QString ListProblemText(const std::vector<RowProblem>& problems, qint64 rowCount) {
  if (rowCount == 0) return QStringLiteral("There are no message files in the list to convert.");
  QString text = QStringLiteral("Nothing was converted: the list has rows that cannot be converted.");
  qint64 shown = 0;
  for (const auto& p : problems) {
    if (shown == kListedAtMost) break;
    text += kCrLf + QStringLiteral("Row %1: %2").arg(p.row + 1).arg(p.reason);
    if (!p.path.trimmed().isEmpty()) text += QStringLiteral(" (") + p.path + u')';
    ++shown;
  }
  const qint64 more = static_cast<qint64>(problems.size()) - shown;
  if (more > 0) text += kCrLf + QStringLiteral("... and %1 more row(s).").arg(more);
  return text;
}

namespace {

QString FileLines(const std::vector<FailedFile>& files) {
  QString text;
  qint64 shown = 0;
  for (const auto& f : files) {
    if (shown == kListedAtMost) break;
    text += kCrLf + ReadableFileName(f.path) + QStringLiteral(" : ") + f.reason;
    ++shown;
  }
  const qint64 more = static_cast<qint64>(files.size()) - shown;
  if (more > 0) text += kCrLf + QStringLiteral("... and %1 more file(s).").arg(more);
  return text;
}

}  // namespace

QString RunSummaryText(qint64 converted, qint64 total, const std::vector<FailedFile>& failed) {
  return QStringLiteral("%1 of %2 file(s) were converted.").arg(converted).arg(total) + kCrLf +
         QStringLiteral("These files were not converted:") + FileLines(failed);
}

QString FileFailureText(const QString& pstPath, const QString& cause, bool gone, qint64 kept, qint64 total,
                        const std::vector<FailedFile>& notStored) {
  QString text = QStringLiteral("The conversion failed: the file %1 could not be written.").arg(pstPath) + kCrLf +
                 QStringLiteral("Cause: ") + cause + kCrLf;
  if (gone)
    text += QStringLiteral("The file no longer exists (it or its folder was removed): none of the %1 file(s) "
                           "was kept.").arg(total);
  else
    text += QStringLiteral("The file holds %1 of the %2 message(s).").arg(kept).arg(total);
  return text + kCrLf + QStringLiteral("These files were not stored:") + FileLines(notStored);
}

QString WarningsText(const std::vector<FailedFile>& warned) {
  if (warned.empty()) return QString();
  return kCrLf + QStringLiteral("These files were converted with warnings:") + FileLines(warned);
}

QString RenamedText(const QString& taken, const QString& used) {
  return QStringLiteral("A file named %1 exists already, so this conversion was written to %2.").arg(taken, used);
}

QString SplitText(const std::vector<QString>& files, const QString& limit) {
  QString text = QStringLiteral("The messages did not fit in one file of at most %1, so this conversion was "
                                "written to %2 files:").arg(limit).arg(files.size());
  for (const QString& file : files) text += kCrLf + file;
  return text;
}

}  // namespace verdaline

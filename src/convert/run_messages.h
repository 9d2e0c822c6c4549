// SPDX-License-Identifier: GPL-3.0-or-later
// The texts the conversion run shows in its message boxes.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace verdaline {

inline const QString kSessionErrorTitle = QStringLiteral("Outlook Error");
inline const QString kSupportLink =
    QStringLiteral("https://support.microsoft.com/office/create-an-outlook-profile-f544c1ba-3352-4b3b-be9b-8d42a540459d");

// The three fixed lines, then the actual cause when one is known.
QString SessionErrorText(const QString& cause);

struct RowProblem {
  qint64 row;  // from 0
  QString path;
  QString reason;
};
// Why the list cannot be converted: each problem row named (the first 20).
QString ListProblemText(const std::vector<RowProblem>& problems, qint64 rowCount);

struct FailedFile {
  QString path;
  QString reason;
};
// How many files were converted and which were not, with the reason for
// each (the first 20, then how many more).
QString RunSummaryText(qint64 converted, qint64 total, const std::vector<FailedFile>& failed);

// The file itself could not be written (cause: the system's reason): whether
// it is gone, how many messages it holds of the list's total, and which
// files are not in it with the reason for each.
QString FileFailureText(const QString& pstPath, const QString& cause, bool gone, qint64 kept, qint64 total,
                        const std::vector<FailedFile>& notStored);
// After a list of failures: the files stored with warnings and what the
// import repaired or left out in each (the first 20, then how many more);
// "" when there are none.
QString WarningsText(const std::vector<FailedFile>& warned);
// The name that was taken and the one used instead.
QString RenamedText(const QString& taken, const QString& used);
// The files a run wrote when the messages did not fit in one file of at
// most `limit` (e.g. "45.0 GB"), the first one first.
QString SplitText(const std::vector<QString>& files, const QString& limit);

inline constexpr int kListedAtMost = 20;

}  // namespace verdaline

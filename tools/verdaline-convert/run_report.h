// The --report file: one record per file named or found (path, store folder,
// result, reason, warnings), as JSON or as tab-separated values. Both are
// UTF-8: a byte of a file name that is not UTF-8 is written as \xNN, as the
// window shows it, so the report stays valid text and the name stays exact.
#pragma once

#include <QString>
#include <vector>

#include "command_line.h"
#include "engine/conversion_engine.h"

namespace verdaline::cli {

struct RunSummary {
  QString pstPath;  // "" when no file was made
  QString status;   // "finished", "cancelled", "file-failed", ...
  std::vector<FileResult> files;
};

// "stored", "stored-with-warnings" or "not-stored".
QString OutcomeName(FileOutcome outcome);

QByteArray ReportJson(const RunSummary& summary);
QByteArray ReportTsv(const RunSummary& summary);

// Writes the report in `format` to `path`; the cause on failure, "" when written.
QString WriteReport(const QString& path, ReportFormat format, const RunSummary& summary);

}  // namespace verdaline::cli

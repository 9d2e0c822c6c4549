// SPDX-License-Identifier: GPL-3.0-or-later
// The --report file: one record per message found, in order (path, store
// folder, result, reason, warnings, where in its file the message is, and
// which .pst holds it),
// as JSON or as tab-separated values. Both are UTF-8: a byte of a file name
// that is not UTF-8 is written as \xNN, as the window shows it, so the
// report stays valid text and the name stays exact.
#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "command_line.h"
#include "engine/conversion_engine.h"

namespace verdaline::cli {

struct Record {
  FileResult file;
  bool expunged = false;  // deleted in its source: counted, not converted
  bool wouldStore = false;  // a dry run's message, to be converted by a real run
  qint64 index = -1;      // position in a file of many messages; -1: none
  qint64 offset = -1;     // where its entry starts in the file; -1: none
};

struct RunSummary {
  QString pstPath;  // "" when no file was made
  QString status;   // "finished", "cancelled", "file-failed", ...
  // Calls `visit` with each record in order (any number of times): the
  // records of a million messages are made as they are written, never held.
  std::function<void(const std::function<void(const Record&)>& visit)> records;
  // Every file written, pstPath first; a record's FileResult::pstFile is
  // its place here.
  std::vector<QString> pstPaths;
};

// "stored", "stored-with-warnings", "not-stored", "expunged" or "would-store".
QString ResultName(const Record& record);

struct Counts {
  qint64 stored = 0, storedWithWarnings = 0, notStored = 0, expunged = 0, wouldStore = 0;
};
Counts CountRecords(const RunSummary& summary);

// Whether a file beginning with `head` is a report this program wrote (or
// is empty): the only kind of file a report may replace.
bool IsReplaceableReport(const QByteArray& head);

// Writes the report in `format` to `path`; the cause on failure, "" when written.
QString WriteReport(const QString& path, ReportFormat format, const RunSummary& summary);

}  // namespace verdaline::cli

// verdaline-convert: the conversion engine on the command line.
//
//   verdaline-convert [-o FILE.pst | -d DIR] [--store-name NAME] [--folders=source|path]
//                     [--report FILE] [-q] PATH...
//
// Exit status: 0 every message stored; 1 a .pst was made but some messages
// (or whole paths) were not stored, deleted messages aside; 2 no .pst was
// made (wrong command line, output refused, nothing to convert); 128 + the
// signal's number when SIGINT or SIGTERM stopped the run (the file then
// holds every message stored so far).
#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <exception>
#include <sys/stat.h>
#include <unistd.h>

#include "command_line.h"
#include "engine/conversion_engine.h"
#include "inputs.h"
#include "platform/file_names.h"
#include "progress_display.h"
#include "run_report.h"
#include "stop_signals.h"

namespace verdaline::cli {
namespace {

constexpr int kExitAllStored = 0;
constexpr int kExitSomeNotStored = 1;
constexpr int kExitNothingWritten = 2;

// Paths in the text go out as the system's own bytes, as ls prints them: a
// name that is not UTF-8 can then be pasted back into a command.
void Print(std::FILE* out, const QString& text) {
  const QByteArray bytes = EncodeFileName(text);
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out);
}

void Error(const QString& text) { Print(stderr, QStringLiteral("verdaline-convert: ") + text + u'\n'); }

bool IsFolder(const QString& path) {
  struct stat info{};
  return ::stat(EncodeFileName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool Exists(const QString& path) {
  struct stat info{};
  return ::lstat(EncodeFileName(path).constData(), &info) == 0;
}

QString StatusName(RunStatus status) {
  switch (status) {
    case RunStatus::kFinished: return QStringLiteral("finished");
    case RunStatus::kListRejected: return QStringLiteral("list-rejected");
    case RunStatus::kSessionFailed: return QStringLiteral("session-failed");
    case RunStatus::kFileFailed: return QStringLiteral("file-failed");
    case RunStatus::kCancelled: return QStringLiteral("cancelled");
  }
  return QStringLiteral("failed");
}

// Why a message was not stored, without the file's name in front: the
// importer's reasons often begin with "PATH: " (or "PATH at byte N: " for a
// message inside a file), and the path and the message's place have places
// of their own on every line and record.
QString Cause(const FileResult& result) {
  const QString& reason = result.reason;
  if (!reason.startsWith(result.path)) return reason;
  qsizetype at = result.path.size();
  const QString atByte = QStringLiteral(" at byte ");
  if (reason.mid(at, atByte.size()) == atByte) {
    qsizetype digits = at + atByte.size();
    while (digits < reason.size() && reason[digits].isDigit()) ++digits;
    if (digits > at + atByte.size()) at = digits;
  }
  return reason.mid(at, 2) == QLatin1String(": ") ? reason.mid(at + 2) : reason;
}

// The report's records in command-line order: what was not given to the
// engine (expunged, not found, unreadable) as it was collected, and for each
// message given to it its result (or, when the run never got to it,
// `missing` as the reason).
std::vector<Record> Records(const Inputs& inputs, const std::vector<FileResult>& results, const QString& missing) {
  std::vector<Record> records;
  records.reserve(inputs.entries.size());
  for (const InputEntry& entry : inputs.entries) {
    Record record;
    record.index = entry.index;
    record.offset = entry.offset;
    record.expunged = entry.kind == RecordKind::kExpunged;
    const auto at = static_cast<size_t>(entry.engineIndex);
    if (entry.engineIndex < 0) {
      record.file = entry.record;
    } else if (at < results.size() && !results[at].path.isEmpty()) {
      record.file = results[at];
      record.file.reason = Cause(record.file);
    } else {
      record.file = entry.record;  // its path and store folder, as collected
      record.file.reason = missing;
    }
    records.push_back(std::move(record));
  }
  return records;
}

void PrintSummary(const RunSummary& summary) {
  const Counts counts = CountRecords(summary.records);
  Print(stdout, QStringLiteral("stored: %1\nstored with warnings: %2\nnot stored: %3\nexpunged: %4\noutput: %5\n")
                    .arg(counts.stored)
                    .arg(counts.storedWithWarnings)
                    .arg(counts.notStored)
                    .arg(counts.expunged)
                    .arg(summary.pstPath.isEmpty() ? QStringLiteral("(none)") : summary.pstPath));
  std::fflush(stdout);
}

class Conversion {
 public:
  explicit Conversion(const Options& options) : options_(options) {}

  int Run() {
    inputs_ = CollectInputs(options_.paths, options_.folders, stop_.flag());
    for (const QString& error : inputs_.errors) Error(error);
    if (stop_.requested())
      return Finish(128 + stop_.signal(), StatusName(RunStatus::kCancelled), {}, kReasonNotReached);
    if (inputs_.messages.empty()) {
      Error(inputs_.expunged > 0 ? QStringLiteral("no messages to convert (%1 deleted in their source)").arg(inputs_.expunged)
                                 : QStringLiteral("no messages found"));
      return Finish(kExitNothingWritten, QStringLiteral("nothing-to-convert"), {}, QStringLiteral("not converted"));
    }

    ConversionRequest request;
    const size_t count = inputs_.messages.size();
    request.messages = std::move(inputs_.messages);  // the engine's now: held once
    request.storeName = options_.storeName;
    if (!options_.outputFile.isEmpty()) {
      request.outputFile = AbsolutePath(options_.outputFile);
      if (Exists(request.outputFile)) {
        Error(request.outputFile + QStringLiteral(": File exists (it is never overwritten)"));
        return Finish(kExitNothingWritten, QStringLiteral("output-refused"), {}, QStringLiteral("output refused"));
      }
    } else {
      request.outputFolder = options_.outputDir.isEmpty() ? QDir::currentPath() : AbsolutePath(options_.outputDir);
      if (!IsFolder(request.outputFolder)) {
        Error(request.outputFolder + QStringLiteral(": No such folder"));
        return Finish(kExitNothingWritten, QStringLiteral("output-refused"), {}, QStringLiteral("output refused"));
      }
    }

    const ProgressStyle style = options_.quiet                ? ProgressStyle::kNone
                                : ::isatty(::fileno(stderr)) ? ProgressStyle::kBar
                                                               : ProgressStyle::kLines;
    output_ = request.outputFile.isEmpty() ? request.outputFolder : request.outputFile;
    ProgressDisplay progress(style, stderr);
    std::vector<FileResult> seen(count);
    // Each message's record, so that a failure can name its place in a file
    // of many ("message N at byte B") without a text kept for every message.
    std::vector<size_t> recordOf(count);
    for (size_t i = 0; i < inputs_.entries.size(); ++i)
      if (inputs_.entries[i].engineIndex >= 0)
        recordOf[static_cast<size_t>(inputs_.entries[i].engineIndex)] = i;
    auto where = [&](qint64 index) {
      const InputEntry& entry = inputs_.entries[recordOf[static_cast<size_t>(index)]];
      return entry.index < 0 ? QString()
                             : QStringLiteral("message %1 at byte %2: ").arg(entry.index).arg(entry.offset);
    };
    qint64 bytesTotal = 0;
    for (const qint64 bytes : inputs_.bytes) bytesTotal += bytes;
    qint64 bytesDone = 0;
    bool stopNoted = false;
    EngineCallbacks callbacks;
    callbacks.cancel = stop_.flag();
    callbacks.finished = [&](qint64 index, qint64 total, const FileResult& result) {
      seen[static_cast<size_t>(index)] = result;
      if (result.outcome == FileOutcome::kNotStored)
        progress.Message(QStringLiteral("verdaline-convert: ") + result.path + QStringLiteral(": ") +
                         where(index) + Cause(result));
      if (stop_.requested() && !stopNoted) {
        stopNoted = true;
        progress.Message(QStringLiteral("verdaline-convert: stopping after the current message"));
      }
      if (static_cast<size_t>(index) < inputs_.bytes.size()) bytesDone += inputs_.bytes[static_cast<size_t>(index)];
      progress.Update(index + 1, total, bytesDone, bytesTotal);
    };

    ConversionReport report;
    try {
      report = ConversionEngine().Run(request, callbacks);
    } catch (const std::exception& e) {
      progress.Finish();
      Error(QStringLiteral("the conversion failed: ") + QString::fromLocal8Bit(e.what()));
      return Finish(kExitNothingWritten, QStringLiteral("failed"), seen, QStringLiteral("not reached"));
    }
    progress.Finish();
    pstPath_ = report.pstPath;
    return Conclude(report, seen);
  }

 private:
  int Conclude(const ConversionReport& report, const std::vector<FileResult>& seen) {
    const std::vector<FileResult>& results = report.files.empty() ? seen : report.files;
    const QString status = StatusName(report.status);
    switch (report.status) {
      case RunStatus::kListRejected:
        for (const ListProblem& problem : report.listProblems)
          Error(problem.path + QStringLiteral(": ") + problem.reason);
        if (report.emptyList) Error(QStringLiteral("no messages to convert"));
        pstPath_.clear();
        return Finish(kExitNothingWritten, status, results, QStringLiteral("not converted"));
      case RunStatus::kSessionFailed: {
        Error((report.pstPath.isEmpty() ? output_ : report.pstPath) + QStringLiteral(": ") + report.sessionError);
        pstPath_.clear();
        return Finish(kExitNothingWritten, status, results, QStringLiteral("not converted"));
      }
      case RunStatus::kFileFailed:
        Error(report.pstPath + QStringLiteral(": ") + report.fileFailure +
              (report.fileGone ? QStringLiteral(" (the file is gone)")
                               : QStringLiteral(" (%1 messages kept)").arg(report.kept)));
        if (report.fileGone) pstPath_.clear();
        return Finish(report.fileGone ? kExitNothingWritten : kExitSomeNotStored, status, results, kReasonNotWritten);
      case RunStatus::kCancelled:
        return Finish(128 + stop_.signal(), status, results, kReasonNotReached);
      case RunStatus::kFinished:
        break;
    }
    // A message its source deleted was never asked for: it does not make the run partial.
    bool all = true;
    for (const InputEntry& entry : inputs_.entries) all = all && entry.kind != RecordKind::kProblem;
    for (const FileResult& result : results) all = all && result.outcome != FileOutcome::kNotStored;
    return Finish(all ? kExitAllStored : kExitSomeNotStored, status, results, kReasonNotReached);
  }

  // Writes the report and the summary; `code` unless the report cannot be written.
  int Finish(int code, const QString& status, const std::vector<FileResult>& results, const QString& missing) {
    RunSummary summary{pstPath_, status, Records(inputs_, results, missing)};
    if (!options_.quiet) PrintSummary(summary);
    if (options_.reportFormat != ReportFormat::kNone) {
      const QString failure = WriteReport(options_.reportFile, options_.reportFormat, summary);
      if (!failure.isEmpty()) {
        Error(options_.reportFile + QStringLiteral(": ") + failure);
        if (code == kExitAllStored) code = kExitSomeNotStored;
      }
    }
    return code;
  }

  const Options& options_;
  StopRequest stop_;
  Inputs inputs_;
  QString output_;  // the file or folder asked for
  QString pstPath_;
};

}  // namespace
}  // namespace verdaline::cli

int main(int argc, char** argv) {
  using namespace verdaline::cli;
  QCoreApplication app(argc, argv);
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << verdaline::DecodeFileName(argv[i]);

  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (!parsed.error.isEmpty()) {
    Error(parsed.error);
    std::fputs("Try 'verdaline-convert --help' for more information.\n", stderr);
    return 2;
  }
  if (parsed.options.help) {
    Print(stdout, UsageText());
    return 0;
  }
  if (parsed.options.version) {
    std::puts("verdaline-convert " VERDALINE_VERSION);
    return 0;
  }
  return Conversion(parsed.options).Run();
}

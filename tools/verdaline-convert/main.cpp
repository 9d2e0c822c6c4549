// SPDX-License-Identifier: GPL-3.0-or-later
// verdaline-convert: the conversion engine on the command line.
//
//   verdaline-convert [-o FILE.pst | -d DIR] [--store-name NAME] [--folders=source|path]
//                     [--max-size SIZE] [--report FILE] [--files-from FILE [-0]] [--dry-run] [--verify] [-q] PATH...
//
// Exit status: 0 every message stored; 1 a .pst was made but some messages
// (or whole paths) were not stored, deleted messages aside, or --verify
// found problems in it; 2 no .pst was made (wrong command line, output or
// report refused, nothing to convert); 128 + the signal's number when
// SIGINT or SIGTERM stopped the run (the file then holds every message
// stored so far).
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "command_line.h"
#include "engine/conversion_engine.h"
#include "engine/folder_list.h"
#include "engine/store_folders.h"
#include "inputs.h"
#include "platform/file_names.h"
#include "progress_display.h"
#include "result_list.h"
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

// Why a message was not stored, without its file's name: the importer's
// reasons name it ("PATH: ...", "PATH at byte N: ...", "cannot open PATH:
// ...", "PATH is empty"), and the path and the message's place have places
// of their own on every line and record.
QString Cause(const FileResult& result) {
  if (result.reason.isEmpty()) return result.reason;
  const QString reason = NamedOnce(result.path, result.reason);
  // The importer's text spells the name as UTF-8 read from its bytes, which
  // for a name that is not UTF-8 differs from the name's own text.
  const QString asRead = QString::fromUtf8(EncodeFileName(result.path));
  return asRead == result.path ? reason : NamedOnce(asRead, reason);
}

// The report's records in command-line order: what was not given to the
// engine (expunged, not found, unreadable) as it was collected, and for each
// message given to it its result (or, when the run never got to it,
// `missing` as the reason). They are made each time they are visited.
// A dry run (`dryRun`) has no results: its messages would be stored.
// `engineRan`: the engine made the store's folders and names every
// message's folder as it did, whether it got to the message or not.
using RecordVisitor = std::function<void(const Record&)>;
std::function<void(const RecordVisitor&)> Records(const Inputs& inputs, const ResultList& results,
                                                  const QString& missing,
                                                  const std::map<QString, QString>& storedFolders,
                                                  bool engineRan, bool dryRun = false) {
  return [&inputs, &results, missing, &storedFolders, engineRan, dryRun](const RecordVisitor& visit) {
    // Named as the store names (or would name) its folder; the engine
    // named the folders of its results itself. Messages come folder by
    // folder, so the last answer is kept.
    QString lastFolder, lastShown;
    bool lastSeen = false, any = false;
    auto shown = [&](const QString& folder, bool seen) {
      if (!any || seen != lastSeen || folder != lastFolder) {
        auto it = storedFolders.find(folder);
        lastShown = it != storedFolders.end() ? it->second : seen ? folder : ShownFolderPath(folder);
        lastFolder = folder;
        lastSeen = seen;
        any = true;
      }
      return lastShown;
    };
    ForEachInput(
        inputs,
        [&](size_t i) {
          Record record;
          record.index = inputs.messages.Index(i);
          record.offset = inputs.messages.Offset(i);
          const bool seen = results.Seen(i);
          record.file = results.At(i);
          record.file.path = DecodeFileName(QByteArray::fromStdString(inputs.messages.Path(i)));
          record.file.storeFolder = shown(inputs.messages.StoreFolder(i), seen || engineRan);
          if (seen)
            record.file.reason = Cause(record.file);
          else if (dryRun)
            record.wouldStore = true;
          else
            record.file.reason = missing;
          visit(record);
        },
        [&](const InputEntry& entry) {
          Record record;
          record.index = entry.index;
          record.offset = entry.offset;
          record.expunged = entry.kind == RecordKind::kExpunged;
          record.file = entry.record;
          record.file.storeFolder = shown(entry.record.storeFolder, false);
          visit(record);
        });
  };
}

// Megabytes as the progress counts them.
constexpr double kMegabyte = 1048576.0;

// What the run did and how fast, after the counts: the messages the file
// holds and their folders, the file's size, the time from the start (the
// scan included) and the rate in messages and in megabytes of mail.
struct RunFigures {
  double seconds = 0;
  qint64 mailBytes = 0;  // of the messages dealt with, as they lie on disk
  QString verified;      // --verify: what the checker said; "" when not asked
};

void PrintSummary(const RunSummary& summary, const RunFigures& figures) {
  const Counts counts = CountRecords(summary);
  // The first file is the output; a run the size limit split names the
  // others after it, and its size is theirs together.
  QString text = QStringLiteral("stored: %1\nstored with warnings: %2\nnot stored: %3\nexpunged: %4\noutput: %5\n")
                     .arg(counts.stored)
                     .arg(counts.storedWithWarnings)
                     .arg(counts.notStored)
                     .arg(counts.expunged)
                     .arg(summary.pstPath.isEmpty() ? QStringLiteral("(none)") : summary.pstPath);
  for (size_t k = 1; k < summary.pstPaths.size(); ++k)
    text += QStringLiteral("output %1: %2\n").arg(k + 1).arg(summary.pstPaths[k]);
  const qint64 messages = summary.pstPath.isEmpty() ? 0 : counts.stored + counts.storedWithWarnings;
  QSet<QString> folders;
  if (messages > 0)
    summary.records([&folders](const Record& record) {
      if (!record.expunged && record.file.outcome != FileOutcome::kNotStored) folders.insert(record.file.storeFolder);
    });
  text += QStringLiteral("messages: %1\nfolders: %2\n").arg(messages).arg(folders.size());
  qint64 size = 0;
  bool sized = false;
  for (const QString& pst : summary.pstPaths) {
    struct stat info{};
    if (::stat(EncodeFileName(pst).constData(), &info) != 0) continue;
    size += info.st_size;
    sized = true;
  }
  if (sized)
    text += QStringLiteral("size: %1 MB (%2 bytes)\n").arg(static_cast<double>(size) / kMegabyte, 0, 'f', 1).arg(size);
  const double seconds = std::max(figures.seconds, 0.001);
  text += QStringLiteral("elapsed: %1 s\nthroughput: %2 messages/s, %3 MB/s\n")
              .arg(figures.seconds, 0, 'f', 2)
              .arg(static_cast<double>(messages) / seconds, 0, 'f', 1)
              .arg(static_cast<double>(figures.mailBytes) / kMegabyte / seconds, 0, 'f', 2);
  if (!figures.verified.isEmpty()) text += QStringLiteral("verified: ") + figures.verified + u'\n';
  Print(stdout, text);
  std::fflush(stdout);
}

// Why the output cannot be written as asked ("" when it can), found before
// anything is scanned.
QString OutputRefusal(const Options& options) {
  if (!options.outputFile.isEmpty()) {
    const QString file = AbsolutePath(options.outputFile);
    if (IsFolder(file))
      return file + QStringLiteral(": is a folder; to write a new file in it, use -d %1").arg(options.outputFile);
    if (Exists(file)) return file + QStringLiteral(": File exists (it is never overwritten)");
    const QString folder = QFileInfo(file).absolutePath();
    if (!IsFolder(folder)) return file + QStringLiteral(": its folder %1 does not exist").arg(folder);
    return {};
  }
  const QString folder = options.outputDir.isEmpty() ? QDir::currentPath() : AbsolutePath(options.outputDir);
  if (!IsFolder(folder)) return folder + QStringLiteral(": No such folder");
  return {};
}

// The file `path` names, with the links of its folder resolved: two names
// of one place compare equal.
QString PlaceOf(const QString& path) {
  const QFileInfo info(path);
  const QString folder = info.dir().canonicalPath();
  return folder.isEmpty() ? path : folder + u'/' + info.fileName();
}

// Why the report cannot be written ("" when it can), found before the run:
// a report replaces nothing but an earlier report, never the .pst, a link
// or a folder, and its folder must take a new file.
QString ReportRefusal(const Options& options) {
  const QString report = AbsolutePath(options.reportFile);
  const QByteArray bytes = EncodeFileName(report);
  auto refuse = [&report](const QString& why) { return report + QStringLiteral(": ") + why; };
  struct stat info{};
  if (::lstat(bytes.constData(), &info) == 0) {
    if (S_ISLNK(info.st_mode)) return refuse(QStringLiteral("is a symbolic link; the report replaces no link"));
    if (S_ISDIR(info.st_mode)) return refuse(QStringLiteral("is a folder"));
    if (!S_ISREG(info.st_mode)) return refuse(QStringLiteral("is not a regular file"));
    QFile existing(report);
    if (!existing.open(QIODevice::ReadOnly)) return refuse(existing.errorString());
    if (!IsReplaceableReport(existing.read(64)))
      return refuse(QStringLiteral("exists and is not a report (it is never overwritten)"));
  } else if (errno != ENOENT) {
    return refuse(QString::fromLocal8Bit(std::strerror(errno)));
  }
  const QString folder = QFileInfo(report).absolutePath();
  if (!IsFolder(folder)) return refuse(QStringLiteral("its folder %1 does not exist").arg(folder));
  if (::access(EncodeFileName(folder).constData(), W_OK | X_OK) != 0)
    return refuse(QStringLiteral("its folder %1 cannot be written: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno))));
  if (!options.outputFile.isEmpty() && !options.dryRun && PlaceOf(report) == PlaceOf(AbsolutePath(options.outputFile)))
    return refuse(QStringLiteral("is the output file"));
  return {};
}

// The checker of --verify beside this program, run on `pst`: the number of
// problems it found, each put on standard error; throws std::runtime_error
// when there is no checker or it cannot be run.
qint64 Verify(const QString& pst) {
  const QString checker = QCoreApplication::applicationDirPath() + QStringLiteral("/verdaline-check");
  auto fail = [&checker](const QString& why) {
    return std::runtime_error(EncodeFileName(checker + QStringLiteral(": ") + why).toStdString());
  };
  if (!QFileInfo(checker).isExecutable()) throw fail(QStringLiteral("the checker is missing, so the file cannot be verified"));
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(checker, {pst});
  if (!process.waitForStarted(-1) || !process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit)
    throw fail(QStringLiteral("the checker did not run: ") + process.errorString());
  if (process.exitCode() == 0) return 0;
  qint64 problems = 0;
  for (const QByteArray& line : process.readAll().split('\n')) {
    if (line.trimmed().isEmpty()) continue;
    ++problems;
    Error(pst + QStringLiteral(": ") + NamedOnce(pst, DecodeFileName(line)));
  }
  if (problems == 0) Error(pst + QStringLiteral(": the checker failed with status %1").arg(process.exitCode()));
  return std::max<qint64>(problems, 1);
}

class Conversion {
 public:
  explicit Conversion(const Options& options) : options_(options) {}

  int Run() {
    clock_.start();
    // What the command line asks that cannot be done is said before a long
    // scan, and nothing is written.
    QString refusal = options_.dryRun ? QString() : OutputRefusal(options_);
    if (refusal.isEmpty() && options_.reportFormat != ReportFormat::kNone) refusal = ReportRefusal(options_);
    if (!refusal.isEmpty()) {
      Error(refusal);
      return kExitNothingWritten;
    }
    inputs_ = CollectInputs(options_.paths, options_.folders, stop_.flag());
    for (const QString& error : inputs_.errors) Error(error);
    if (stop_.requested())
      return Finish(128 + stop_.signal(), StatusName(RunStatus::kCancelled), kReasonNotReached);
    if (inputs_.messages.empty())
      Error(inputs_.expunged > 0 ? QStringLiteral("no messages to convert (%1 deleted in their source)").arg(inputs_.expunged)
                                 : QStringLiteral("no messages found"));
    if (options_.dryRun) return DryRun();
    if (inputs_.messages.empty())
      return Finish(kExitNothingWritten, QStringLiteral("nothing-to-convert"), QStringLiteral("not converted"));

    ConversionRequest request;
    const size_t count = inputs_.messages.size();
    // The messages stay here, held compactly, and so do their results.
    request.messageCount = count;
    request.messageAt = [this](size_t i) { return inputs_.messages.At(i); };
    request.keepResults = false;
    request.storeName = options_.storeName;
    if (options_.maxFileSize > 0) request.maxFileSize = options_.maxFileSize;
    if (!options_.outputFile.isEmpty())
      request.outputFile = AbsolutePath(options_.outputFile);
    else
      request.outputFolder = options_.outputDir.isEmpty() ? QDir::currentPath() : AbsolutePath(options_.outputDir);

    const ProgressStyle style = options_.quiet                ? ProgressStyle::kNone
                                : ::isatty(::fileno(stderr)) ? ProgressStyle::kBar
                                                               : ProgressStyle::kLines;
    output_ = request.outputFile.isEmpty() ? request.outputFolder : request.outputFile;
    ProgressDisplay progress(style, stderr);
    seen_ = ResultList(count);
    // A failure names its place in a file of many ("message N at byte B").
    auto where = [&](qint64 index) {
      const auto i = static_cast<size_t>(index);
      return inputs_.messages.Index(i) < 0
                 ? QString()
                 : QStringLiteral("message %1 at byte %2: ").arg(inputs_.messages.Index(i)).arg(inputs_.messages.Offset(i));
    };
    const qint64 bytesTotal = inputs_.bytes;
    bool stopNoted = false;
    EngineCallbacks callbacks;
    callbacks.cancel = stop_.flag();
    callbacks.finished = [&](qint64 index, qint64 total, const FileResult& result) {
      seen_.Set(static_cast<size_t>(index), result);
      if (result.outcome == FileOutcome::kNotStored)
        progress.Message(QStringLiteral("verdaline-convert: ") + result.path + QStringLiteral(": ") +
                         where(index) + Cause(result));
      if (stop_.requested() && !stopNoted) {
        stopNoted = true;
        progress.Message(QStringLiteral("verdaline-convert: stopping after the current message"));
      }
      bytesDone_ += BytesOnDisk(inputs_.messages.At(static_cast<size_t>(index)).ref);
      progress.Update(index + 1, total, bytesDone_, bytesTotal);
      if (options_.reportFormat != ReportFormat::kNone && clock_.elapsed() >= nextCheckpoint_)
        WriteCheckpoint(request.outputFile);
    };

    ConversionReport report;
    try {
      report = ConversionEngine().Run(request, callbacks);
    } catch (const std::exception& e) {
      progress.Finish();
      Error(QStringLiteral("the conversion failed: ") + NamedOnce(output_, QString::fromLocal8Bit(e.what())));
      return Finish(kExitNothingWritten, QStringLiteral("failed"), QStringLiteral("not reached"));
    }
    progress.Finish();
    pstPaths_ = report.pstPaths;
    storedFolders_ = report.storedFolders;
    return Conclude(report);
  }

 private:
  int Conclude(const ConversionReport& report) {
    for (const qint64 lost : report.notWritten)
      seen_.Set(static_cast<size_t>(lost), FileResult{{}, {}, FileOutcome::kNotStored, kReasonNotWritten, {}});
    engineRan_ = report.status == RunStatus::kFinished || report.status == RunStatus::kFileFailed ||
                 report.status == RunStatus::kCancelled;
    const QString status = StatusName(report.status);
    switch (report.status) {
      case RunStatus::kListRejected:
        for (const ListProblem& problem : report.listProblems)
          Error(problem.path + QStringLiteral(": ") + NamedOnce(problem.path, problem.reason));
        if (report.emptyList) Error(QStringLiteral("no messages to convert"));
        pstPaths_.clear();
        return Finish(kExitNothingWritten, status, QStringLiteral("not converted"));
      case RunStatus::kSessionFailed: {
        const QString where = report.pstPath.isEmpty() ? output_ : report.pstPath;
        Error(where + QStringLiteral(": ") + NamedOnce(where, report.sessionError));
        pstPaths_.clear();
        return Finish(kExitNothingWritten, status, QStringLiteral("not converted"));
      }
      case RunStatus::kFileFailed: {
        // The last file is the one that failed; those before it are complete.
        const QString failed = report.pstPaths.empty() ? report.pstPath : report.pstPaths.back();
        Error(failed + QStringLiteral(": ") + NamedOnce(failed, report.fileFailure) +
              (report.fileGone ? QStringLiteral(" (the file is gone)")
                               : QStringLiteral(" (%1 messages kept)").arg(report.kept)));
        if (report.fileGone && !pstPaths_.empty()) pstPaths_.pop_back();
        // The lost files have their reason; the rest were not reached.
        return Finish(pstPaths_.empty() ? kExitNothingWritten : kExitSomeNotStored, status, kReasonNotReached);
      }
      case RunStatus::kCancelled:
        return Finish(128 + stop_.signal(), status, kReasonNotReached);
      case RunStatus::kFinished:
        break;
    }
    // A message its source deleted was never asked for: it does not make the run partial.
    bool all = seen_.AllStored();
    for (const InputEntry& entry : inputs_.others) all = all && entry.kind != RecordKind::kProblem;
    return Finish(all ? kExitAllStored : kExitSomeNotStored, status, kReasonNotReached);
  }

  // A dry run: for each store folder, in the order first met, the messages
  // a run would store there and those its source deleted; then the totals.
  // The report's records are a run's, a message's result `would-store`.
  // The store folder names a run would choose for the listed folders.
  std::map<QString, QString> StoreNamesOfDryRun() const {
    std::vector<QString> folders;
    QSet<QString> seen;
    auto add = [&](const QString& folder) {
      if (!folder.isEmpty() && !seen.contains(folder)) {
        seen.insert(folder);
        folders.push_back(folder);
      }
    };
    ForEachInput(
        inputs_, [&](size_t i) { add(inputs_.messages.StoreFolder(i)); },
        [&](const InputEntry& entry) {
          if (entry.kind != RecordKind::kProblem) add(entry.record.storeFolder);
        });
    if (folders.empty()) return {};
    return ChooseStoreFolderNames(BuildFolderList(folders, [] {}), {});
  }

  int DryRun() {
    const std::map<QString, QString> stored = StoreNamesOfDryRun();
    struct Tally {
      qint64 messages = 0, expunged = 0;
    };
    std::vector<QString> order;
    std::map<QString, Tally> tallies;
    qint64 problems = 0;
    auto tally = [&](const QString& folder) -> Tally& {
      const auto [at, added] = tallies.try_emplace(folder);
      if (added) order.push_back(folder);
      return at->second;
    };
    ForEachInput(
        inputs_, [&](size_t i) { ++tally(inputs_.messages.StoreFolder(i)).messages; },
        [&](const InputEntry& entry) {
          if (entry.kind == RecordKind::kProblem)
            ++problems;
          else
            ++tally(entry.record.storeFolder).expunged;
        });
    QString text;
    for (const QString& folder : order)
      text += QStringLiteral("%1: %2 messages, %3 expunged\n")
                  .arg(stored.count(folder) ? stored.at(folder) : ShownFolderPath(folder))
                  .arg(tallies[folder].messages)
                  .arg(tallies[folder].expunged);
    text += QStringLiteral("folders: %1\nmessages: %2\nexpunged: %3\nnot stored: %4\n")
                .arg(order.size())
                .arg(inputs_.messages.size())
                .arg(inputs_.expunged)
                .arg(problems);
    Print(stdout, text);
    std::fflush(stdout);
    const int code = inputs_.messages.empty() ? kExitNothingWritten : kExitAllStored;
    if (options_.reportFormat != ReportFormat::kNone) {
      const ResultList none(inputs_.messages.size());
      const RunSummary summary{{}, QStringLiteral("dry-run"), Records(inputs_, none, {}, stored, false, true)};
      const QString failure = WriteReport(options_.reportFile, options_.reportFormat, summary);
      if (!failure.isEmpty()) {
        Error(options_.reportFile + QStringLiteral(": ") + failure);
        return code == kExitAllStored ? kExitSomeNotStored : code;
      }
    }
    return code;
  }

  // The report so far, now and then while the run goes on (status
  // "running", the messages not yet reached as such): should the process
  // end without a word (killed, or an allocation its mail library cannot
  // survive), the report on disk still names what was stored until then.
  // It is written whole and then renamed into place, like the last one, and
  // never takes more than a twentieth of the run.
  void WriteCheckpoint(const QString& output) {
    QElapsedTimer took;
    took.start();
    std::vector<QString> files;
    if (!output.isEmpty()) files.push_back(output);
    const RunSummary summary{output, QStringLiteral("running"),
                             Records(inputs_, seen_, kReasonNotReached, storedFolders_, false), files};
    WriteReport(options_.reportFile, options_.reportFormat, summary);  // a failure is said at the end
    nextCheckpoint_ = clock_.elapsed() + std::max<qint64>(CheckpointInterval(), 20 * took.elapsed());
  }

  // Milliseconds between two reports so far: 5 s, or what
  // VERDALINE_REPORT_SECONDS says (tests).
  static qint64 CheckpointInterval() {
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("VERDALINE_REPORT_SECONDS", &ok);
    return ok && seconds >= 0 ? seconds * qint64{1000} : 5000;
  }

  // Verifies the file when asked, writes the report and the summary; `code`
  // unless the file has problems or the report cannot be written.
  int Finish(int code, QString status, const QString& missing) {
    RunFigures figures{static_cast<double>(clock_.elapsed()) / 1000.0, bytesDone_, {}};
    if (options_.verify && !pstPaths_.empty()) {
      try {
        qint64 problems = 0;
        for (const QString& pst : pstPaths_) problems += Verify(pst);
        figures.verified = problems == 0 ? QStringLiteral("no problems") : QStringLiteral("%1 problems").arg(problems);
        if (problems > 0 && status == StatusName(RunStatus::kFinished)) status = QStringLiteral("verify-failed");
        if (problems > 0 && code == kExitAllStored) code = kExitSomeNotStored;
      } catch (const std::runtime_error& e) {
        Error(DecodeFileName(e.what()));
        figures.verified = QStringLiteral("not checked");
        if (code == kExitAllStored) code = kExitSomeNotStored;
      }
    }
    if (seen_.size() != inputs_.messages.size()) seen_ = ResultList(inputs_.messages.size());
    RunSummary summary{pstPaths_.empty() ? QString() : pstPaths_.front(), status,
                       Records(inputs_, seen_, missing, storedFolders_, engineRan_), pstPaths_};
    if (!options_.quiet) PrintSummary(summary, figures);
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
  ResultList seen_;  // each message's result as the engine gave it
  bool engineRan_ = false;  // it made the store's folders and went through the list
  QString output_;  // the file or folder asked for
  std::vector<QString> pstPaths_;  // the files written, the first one first
  std::map<QString, QString> storedFolders_;  // source folder path -> store folder path
  QElapsedTimer clock_;
  qint64 nextCheckpoint_ = CheckpointInterval();  // when the report so far is next written
  qint64 bytesDone_ = 0;  // mail read so far, for the throughput
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
  Options options = parsed.options;
  const QString listError = ExpandFileLists(options, [](const QString& file) {
    QFile list;
    const bool opened = file == QLatin1String("-") ? list.open(stdin, QIODevice::ReadOnly)
                                                   : (list.setFileName(file), list.open(QIODevice::ReadOnly));
    if (!opened) throw std::runtime_error(list.errorString().toLocal8Bit().toStdString());
    const QByteArray bytes = list.readAll();
    if (list.error() != QFileDevice::NoError) throw std::runtime_error(list.errorString().toLocal8Bit().toStdString());
    return bytes;
  });
  if (!listError.isEmpty()) {
    Error(listError);
    return 2;
  }
  return Conversion(options).Run();
}

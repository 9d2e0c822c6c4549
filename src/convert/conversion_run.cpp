// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/conversion_run.h"

#include <QGroupBox>
#include <QLabel>
#include <QWidget>

#include "convert/run_messages.h"
#include "engine/file_rows.h"
#include "platform/registry.h"
#include "platform/vb_error.h"

namespace verdaline {

namespace {

// Disables widgets for its lifetime and gives each back the state it had.
class DisabledWhileRunning {
 public:
  explicit DisabledWhileRunning(const std::vector<QWidget*>& widgets) {
    for (QWidget* w : widgets)
      if (w) saved_.push_back({w, w->isEnabled()}), w->setEnabled(false);
  }
  ~DisabledWhileRunning() {
    for (auto& [w, enabled] : saved_) w->setEnabled(enabled);
  }
  // Leave this one as it is at the end instead.
  void Forget(QWidget* w) { std::erase_if(saved_, [w](const auto& s) { return s.first == w; }); }
  DisabledWhileRunning(const DisabledWhileRunning&) = delete;
  DisabledWhileRunning& operator=(const DisabledWhileRunning&) = delete;

 private:
  std::vector<std::pair<QWidget*, bool>> saved_;
};

// Which name was taken and which was used instead, with a line break; ""
// when the first name was free.
QString RenamedNotice(const ConversionReport& report) {
  if (report.renamedFrom.isEmpty()) return QString();
  return RenamedText(report.renamedFrom, report.pstPath) + QStringLiteral("\r\n");
}

// The files of a run the size limit split, with a line break; "" for one file.
QString SplitNotice(const ConversionReport& report) {
  if (report.pstPaths.size() < 2) return QString();
  return SplitText(report.pstPaths, SizeText(kDefaultMaxFileSize)) + QStringLiteral("\r\n");
}

// The files stored with warnings, each with what its import repaired or
// left out.
std::vector<FailedFile> WarnedFiles(const ConversionReport& report) {
  std::vector<FailedFile> warned;
  for (const FileResult& f : report.files)
    if (f.outcome == FileOutcome::kStoredWithWarnings) {
      QStringList warnings(f.warnings.begin(), f.warnings.end());
      warned.push_back({f.path, warnings.join(QStringLiteral("; "))});
    }
  return warned;
}

}  // namespace

ConversionRun::ConversionRun(Platform& platform, ConversionControls controls, QChar separator)
    : platform_(platform), c_(std::move(controls)), sep_(separator) {}

ConversionRun::~ConversionRun() = default;

std::vector<QString> ConversionRun::ReadRows() const {
  FlexGrid& grid = *c_.grdFiles1;
  const qint64 n = grid.Rows();
  std::vector<QString> rows;
  rows.reserve(static_cast<size_t>(n));
  for (qint64 r = 0; r < n; ++r) {
    grid.SetRow(static_cast<int>(r));
    grid.SetCol(0);
    rows.push_back(grid.Text());
  }
  return rows;
}

EngineCallbacks ConversionRun::Callbacks() {
  EngineCallbacks callbacks;
  callbacks.yield = [this] { Yield(); };
  // The grid's current row follows the file being converted.
  callbacks.starting = [this](qint64 r) {
    if (r < c_.grdFiles1->Rows()) {
      c_.grdFiles1->SetRow(static_cast<int>(r));
      c_.grdFiles1->SetCol(0);
    }
  };
  callbacks.finished = [this](qint64 r, qint64 n, const FileResult& file) {
    reached_ = r + 1;
    if (file.outcome != FileOutcome::kNotStored) ++stored_;
    if (file.outcome != FileOutcome::kStored) notable_.emplace_back(r, file);
    c_.CmdExtractDBX->setEnabled(false);
    c_.FrameConversion->setTitle(QStringLiteral("Details : Converting - (%1 of %2) file(s)").arg(r + 1).arg(n));
    c_.LblCurrentDBX->setText(QStringLiteral("Converting Messages... from (") + file.storeFolder + u')');
    c_.ProgressBar1.setValue(static_cast<float>(static_cast<double>(r + 1) / static_cast<double>(n) * 100.0));
  };
  return callbacks;
}

std::vector<FileResult> ConversionRun::NotableFiles(const ConversionReport& report, const std::vector<QString>& rows,
                                                    qint64& stored) const {
  const auto isFile = deps_.isFile ? deps_.isFile : IsExistingFile;
  auto missing = [&](qint64 i, const QString& reason) {
    return FileResult{RowFilePath(rows[static_cast<size_t>(i)], isFile), QString(), FileOutcome::kNotStored, reason, {}};
  };
  std::vector<FileResult> files;
  stored = stored_;
  auto lost = report.notWritten.begin();
  for (const auto& [index, result] : notable_) {
    for (; lost != report.notWritten.end() && *lost < index; ++lost, --stored)
      files.push_back(missing(*lost, kReasonNotWritten));
    files.push_back(result);
    if (lost != report.notWritten.end() && *lost == index) {
      files.back() = missing(index, kReasonNotWritten);
      ++lost;
      --stored;
    }
  }
  for (; lost != report.notWritten.end(); ++lost, --stored) files.push_back(missing(*lost, kReasonNotWritten));
  const bool ran = report.status == RunStatus::kFinished || report.status == RunStatus::kFileFailed ||
                   report.status == RunStatus::kCancelled;
  if (ran)
    for (qint64 i = reached_; i < static_cast<qint64>(rows.size()); ++i) files.push_back(missing(i, kReasonNotReached));
  return files;
}

void ConversionRun::ShowReport(const ConversionReport& report, qint64 total, qint64 stored) {
  switch (report.status) {
    case RunStatus::kListRejected: {
      std::vector<RowProblem> problems;
      for (const ListProblem& p : report.listProblems) problems.push_back({p.index, p.path, p.reason});
      platform_.MsgBox(ListProblemText(problems, report.emptyList ? 0 : total), mb::kOkOnly | mb::kExclamation,
                       kAppTitle);
      return;
    }
    case RunStatus::kSessionFailed:
      platform_.MsgBox(SessionErrorText(report.sessionError), mb::kOkOnly | mb::kInformation, kSessionErrorTitle);
      return;
    case RunStatus::kFileFailed: {
      // The files that failed on their own first, then those the file lost,
      // then those never reached.
      std::vector<FailedFile> notStored;
      for (const QString& kind : {QString(), kReasonNotWritten, kReasonNotReached})
        for (const FileResult& f : report.files) {
          if (f.outcome != FileOutcome::kNotStored) continue;
          const bool own = f.reason != kReasonNotWritten && f.reason != kReasonNotReached;
          if (kind.isEmpty() ? own : f.reason == kind) notStored.push_back({f.path, f.reason});
        }
      // The last file is the one that failed.
      platform_.MsgBox(RenamedNotice(report) + SplitNotice(report) +
                           FileFailureText(report.pstPaths.empty() ? report.pstPath : report.pstPaths.back(), report.fileFailure, report.fileGone, report.kept, total,
                                           notStored) +
                           WarningsText(WarnedFiles(report)),
                       mb::kOkOnly | mb::kCritical, kAppTitle);
      return;
    }
    case RunStatus::kFinished:
    case RunStatus::kCancelled: break;
  }
  std::vector<FailedFile> failed;
  for (const FileResult& f : report.files)
    if (f.outcome == FileOutcome::kNotStored) failed.push_back({f.path, f.reason});
  if (!failed.empty()) {
    platform_.MsgBox(RenamedNotice(report) + SplitNotice(report) + RunSummaryText(stored, total, failed) +
                         WarningsText(WarnedFiles(report)),
                     mb::kOkOnly | mb::kExclamation, kAppTitle);
  } else if (!report.renamedFrom.isEmpty() || report.pstPaths.size() > 1) {
    platform_.MsgBox((RenamedNotice(report) + SplitNotice(report)).trimmed(), mb::kOkOnly | mb::kInformation,
                     kAppTitle);
  }
}

void ConversionRun::CmdExtractDBX_Click() {
  // No second run and no change of the list while this one works: the run
  // yields to the window at many points.
  std::vector<QWidget*> locked = c_.listCommands;
  locked.push_back(c_.CmdExtractDBX);
  DisabledWhileRunning lock(locked);

  QString folder = BrowseForFolder(platform_, c_.owner, kChooseSaveFolderTitle, sep_);
  if (folder.isEmpty()) return;
  strSaveFolder_ = WithTrailingSeparator(folder, sep_);
  Yield();
  c_.ProgressBar1.setMin(0.0f);
  c_.ProgressBar1.setMax(100.0f);
  c_.ProgressBar2.setMin(0.0f);
  c_.ProgressBar2.setMax(100.0f);
  Yield();

  ConversionRequest request;
  request.files = ReadRows();
  request.outputFolder = strSaveFolder_;
  request.separator = sep_;
  request.keepResults = false;
  const qint64 total = static_cast<qint64>(request.files.size());
  notable_.clear();
  reached_ = stored_ = 0;
  ConversionReport report = ConversionEngine(deps_).Run(request, Callbacks());
  qint64 stored = 0;
  report.files = NotableFiles(report, request.files, stored);
  notable_.clear();
  if (report.status != RunStatus::kListRejected) {
    strStoreName_ = report.storeName;
    pstPath_ = report.pstPath;
    arrFolderPaths_ = report.folderPaths;
  }
  // Once files were converted the button stays disabled, as every row
  // turns it off.
  if (report.status != RunStatus::kListRejected && report.status != RunStatus::kSessionFailed)
    lock.Forget(c_.CmdExtractDBX);
  ShowReport(report, total, stored);
}

}  // namespace verdaline

#include "convert/conversion_run.h"

#include <QGroupBox>
#include <QLabel>
#include <QSet>
#include <QWidget>
#include <new>

#include <algorithm>

#include <sys/stat.h>

#include "convert/folder_list.h"
#include "convert/relative_folder.h"
#include "convert/run_messages.h"
#include "convert/store_folders.h"
#include "convert/time_stamp.h"
#include "mapi/import_ahead.h"
#include "mapi/mapi_error.h"
#include "mapi/rdo_mail.h"
#include "platform/file_names.h"
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

QString ReasonOf(const RowPathError& e) {
  switch (e.kind()) {
    case RowPathError::Kind::kEmpty: return QStringLiteral("the row is empty");
    case RowPathError::Kind::kNotFullPath: return QStringLiteral("the row is not a full path");
    case RowPathError::Kind::kInRoot:
      return QStringLiteral("the file lies directly in the root folder, which has no folder to mirror");
  }
  return QString::fromStdString(e.what());
}

// The row as it stands when a file of that very name exists (names may end
// in spaces); trimmed of spaces otherwise, as a typed path may carry stray
// ones. Leading spaces are never part of a full path.
QString FilePathOfRow(const QString& text) {
  const QString trimmed = TrimSpaces(text);
  if (trimmed.size() == text.size() || text.startsWith(u' ')) return trimmed;
  struct stat info{};
  if (::stat(EncodeFileName(text).constData(), &info) == 0 && !S_ISDIR(info.st_mode)) return text;
  return trimmed;
}

std::string SystemPath(const QString& path) { return EncodeFileName(path).toStdString(); }

}  // namespace

ConversionRun::ConversionRun(Platform& platform, ConversionControls controls, QChar separator)
    : platform_(platform), c_(std::move(controls)), sep_(separator) {}

ConversionRun::~ConversionRun() = default;

bool ConversionRun::ReadAndCheckRows(std::vector<Row>& rows) {
  FlexGrid& grid = *c_.grdFiles1;
  const qint64 n = grid.Rows();
  std::vector<RowProblem> problems;
  rows.clear();
  rows.reserve(static_cast<size_t>(n));
  // Rows of one folder share one copy of its path: a long list holds
  // few folders.
  QSet<QString> folders;
  for (qint64 r = 0; r < n; ++r) {
    grid.SetRow(static_cast<int>(r));
    grid.SetCol(0);
    const QString text = grid.Text();
    Row row{FilePathOfRow(text), QString()};
    try {
      row.relative = *folders.insert(GetRelativeFolder(row.path, sep_));
    } catch (const RowPathError& e) {
      problems.push_back({r, text, ReasonOf(e)});
    }
    rows.push_back(std::move(row));
  }
  // One blank row is the grid's way of holding no list at all.
  const bool emptyList = n == 0 || (n == 1 && rows[0].path.isEmpty());
  if (emptyList || !problems.empty()) {
    platform_.MsgBox(ListProblemText(problems, emptyList ? 0 : n), mb::kOkOnly | mb::kExclamation, kAppTitle);
    return false;
  }
  return true;
}

bool ConversionRun::Prepare(const std::vector<Row>& rows, std::string& storeEntryId) {
  try {
    objSession_ = mapi::CreateRDOSession();
    objSession_->Logon();
    const QString stem = strSaveFolder_ + kPstFilePrefix + FormatTimeStamp(Now());
    strStoreName_ = kStoreNamePrefix + FormatTimeStamp(Now());
    // A second conversion in the same second makes a second file: the next
    // free name, "... (2).pst" and on, never the first file overwritten.
    renamedFrom_.clear();
    for (int n = 1;; ++n) {
      pstPath_ = stem + (n == 1 ? QString() : QStringLiteral(" (%1)").arg(n)) + QStringLiteral(".pst");
      try {
        objStore_ = objSession_->Stores().AddPSTStore(SystemPath(pstPath_), mapi::kStoreUnicode,
                                                      strStoreName_.toStdString());
        break;
      } catch (const mapi::MapiError& e) {
        if (e.hresult() != mapi::hr::kCollision || n >= kMaxNameSuffix) throw;
        if (renamedFrom_.isEmpty()) renamedFrom_ = pstPath_;
      }
    }
    storeEntryId = objStore_->EntryID();
    std::vector<QString> relative;
    relative.reserve(rows.size());
    for (const Row& row : rows) relative.push_back(row.relative);
    arrFolderPaths_ = BuildFolderList(relative, [this] { Yield(); });
    return true;
  } catch (const std::exception& e) {
    platform_.MsgBox(SessionErrorText(QString::fromStdString(e.what())), mb::kOkOnly | mb::kInformation,
                     kSessionErrorTitle);
    return false;
  }
}

void ConversionRun::ImportRows(const std::vector<Row>& rows, const std::string& storeEntryId) {
  const FolderFailures folderFailures =
      CreateStoreFolders(*objSession_, storeEntryId, strStoreName_, arrFolderPaths_, [this] { Yield(); });

  // The files are read and parsed on a second thread, ahead of the loop
  // below, which stores each message as its turn comes.
  std::vector<size_t> toImport;  // rows whose folder is there
  toImport.reserve(rows.size());
  for (size_t i = 0; i < rows.size(); ++i)
    if (FolderFailureFor(folderFailures, rows[i].relative).isEmpty()) toImport.push_back(i);
  mapi::ImportAhead ahead(toImport.size(), [&](size_t k) { return SystemPath(rows[toImport[k]].path); });
  // However long a worker takes over a file, the window goes on taking
  // input while the run waits for it, and closing it ends the program.
  ahead.SetPump([this] { Yield(); });

  const qint64 n = static_cast<qint64>(rows.size());
  std::vector<FailedFile> failed;
  std::vector<QString> stored;  // in the order they went into the file
  QString fileFailure;          // why the file itself could not be written
  qint64 converted = 0;
  qint64 r = 0;  // the rows before it were dealt with
  for (; r < n && fileFailure.isEmpty(); ++r) {
    const Row& row = rows[static_cast<size_t>(r)];
    if (r < c_.grdFiles1->Rows()) {
      c_.grdFiles1->SetRow(static_cast<int>(r));
      c_.grdFiles1->SetCol(0);
    }
    Yield();
    const QString folderFailure = FolderFailureFor(folderFailures, row.relative);
    if (!folderFailure.isEmpty()) {
      failed.push_back({row.path, QStringLiteral("its folder %1 could not be created: %2")
                                      .arg(row.relative, folderFailure)});
    } else {
      try {
        auto folder = objSession_->GetFolderFromPath(
            (QStringLiteral("\\\\") + strStoreName_ + kStoreSeparator + row.relative).toStdString());
        auto item = folder->Items().Add(0);
        item->Import(SystemPath(row.path), mapi::kImportRfc822);
        // Read, and has-attachments only when it has some.
        int32_t flags = 0x01;
        if (item->AttachmentCount() > 0) flags |= 0x10;
        auto utils = mapi::CreateMAPIUtils();
        utils->HrSetOneProp(item->MAPIOBJECT(), kMessageFlagsTag, flags, true);
        utils.reset();
        item->Save();
        stored.push_back(row.path);
        ++converted;
      } catch (const std::bad_alloc&) {
        failed.push_back({row.path, QStringLiteral("there was not enough memory to convert it")});
      } catch (const mapi::MapiError& e) {
        // The file takes no more messages: stop here rather than fail
        // every row that is left the same way.
        if (e.hresult() == mapi::hr::kDiskError) fileFailure = QString::fromStdString(e.what());
        failed.push_back({row.path, QString::fromStdString(e.what())});
      } catch (const std::exception& e) {
        failed.push_back({row.path, QString::fromStdString(e.what())});
      }
    }
    c_.CmdExtractDBX->setEnabled(false);
    c_.FrameConversion->setTitle(QStringLiteral("Details : Converting - (%1 of %2) file(s)").arg(r + 1).arg(n));
    c_.LblCurrentDBX->setText(QStringLiteral("Converting Messages... from (") + row.relative + u')');
    c_.ProgressBar1.setValue(static_cast<float>(static_cast<double>(r + 1) / static_cast<double>(n) * 100.0));
  }
  Yield();

  try {
    objSession_->Logoff();
  } catch (const std::exception& e) {
    if (fileFailure.isEmpty()) fileFailure = QString::fromStdString(e.what());
  }
  objSession_.reset();
  const int64_t inFile = objStore_->MessagesInFile();
  objStore_.reset();
  if (!fileFailure.isEmpty()) {
    // What the file holds is what its last commit wrote: the first inFile
    // of the stored messages. Every other row of the list is not in it.
    struct stat info{};
    const bool gone = ::stat(SystemPath(pstPath_).c_str(), &info) != 0;
    const qint64 kept = gone ? 0 : std::clamp<qint64>(inFile, 0, static_cast<qint64>(stored.size()));
    std::vector<FailedFile> notStored = failed;
    for (size_t i = static_cast<size_t>(kept); i < stored.size(); ++i)
      notStored.push_back({stored[i], QStringLiteral("not written before the file failed")});
    for (; r < n; ++r) notStored.push_back({rows[static_cast<size_t>(r)].path, QStringLiteral("not reached")});
    platform_.MsgBox(renamedNotice() + FileFailureText(pstPath_, fileFailure, gone, kept, n, notStored),
                     mb::kOkOnly | mb::kCritical, kAppTitle);
    return;
  }
  if (!failed.empty()) {
    platform_.MsgBox(renamedNotice() + RunSummaryText(converted, n, failed), mb::kOkOnly | mb::kExclamation,
                     kAppTitle);
  } else if (!renamedFrom_.isEmpty()) {
    platform_.MsgBox(renamedNotice().trimmed(), mb::kOkOnly | mb::kInformation, kAppTitle);
  }
}

QString ConversionRun::renamedNotice() const {
  if (renamedFrom_.isEmpty()) return QString();
  return RenamedText(renamedFrom_, pstPath_) + QStringLiteral("\r\n");
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

  std::vector<Row> rows;
  if (!ReadAndCheckRows(rows)) return;
  try {
    std::string storeEntryId;
    if (!Prepare(rows, storeEntryId)) return;
    // From here the button stays disabled after the run, as every row turns it off.
    lock.Forget(c_.CmdExtractDBX);
    ImportRows(rows, storeEntryId);
  } catch (const ProgramEnding&) {
    // The window is closing: finish the file so that what was stored is kept.
    try {
      if (objSession_) objSession_->Logoff();
    } catch (const std::exception&) {
    }
    objSession_.reset();
    objStore_.reset();
    throw;
  }
}

}  // namespace verdaline

#include "convert/conversion_run.h"

#include <QGroupBox>
#include <QLabel>
#include <QSet>
#include <QWidget>
#include <new>

#include "convert/folder_list.h"
#include "convert/relative_folder.h"
#include "convert/run_messages.h"
#include "convert/store_folders.h"
#include "convert/time_stamp.h"
#include "mapi/import_ahead.h"
#include "mapi/rdo_mail.h"
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
    Row row{TrimSpaces(text), QString()};
    try {
      row.relative = *folders.insert(GetRelativeFolder(text, sep_));
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
    pstPath_ = strSaveFolder_ + kPstFilePrefix + FormatTimeStamp(Now()) + QStringLiteral(".pst");
    strStoreName_ = kStoreNamePrefix + FormatTimeStamp(Now());
    auto store = objSession_->Stores().AddPSTStore(pstPath_.toStdString(), mapi::kStoreUnicode,
                                                   strStoreName_.toStdString());
    storeEntryId = store->EntryID();
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
  mapi::ImportAhead ahead(toImport.size(),
                          [&](size_t k) { return rows[toImport[k]].path.toStdString(); });
  // However long a worker takes over a file, the window goes on taking
  // input while the run waits for it, and closing it ends the program.
  ahead.SetPump([this] { Yield(); });

  const qint64 n = static_cast<qint64>(rows.size());
  std::vector<FailedFile> failed;
  qint64 converted = 0;
  for (qint64 r = 0; r < n; ++r) {
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
        item->Import(row.path.toStdString(), mapi::kImportRfc822);
        // Read, and has-attachments only when it has some.
        int32_t flags = 0x01;
        if (item->AttachmentCount() > 0) flags |= 0x10;
        auto utils = mapi::CreateMAPIUtils();
        utils->HrSetOneProp(item->MAPIOBJECT(), kMessageFlagsTag, flags, true);
        utils.reset();
        item->Save();
        ++converted;
      } catch (const std::bad_alloc&) {
        failed.push_back({row.path, QStringLiteral("there was not enough memory to convert it")});
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
    // Every message was handed over, but the file could not be finished.
    objSession_.reset();
    platform_.MsgBox(QStringLiteral("The file %1 could not be completed: %2")
                         .arg(pstPath_, QString::fromStdString(e.what())),
                     mb::kOkOnly | mb::kCritical, kAppTitle);
    return;
  }
  objSession_.reset();
  if (!failed.empty()) platform_.MsgBox(RunSummaryText(converted, n, failed), mb::kOkOnly | mb::kExclamation, kAppTitle);
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
  std::string storeEntryId;
  if (!Prepare(rows, storeEntryId)) return;

  // From here the button stays disabled after the run, as every row turns it off.
  lock.Forget(c_.CmdExtractDBX);
  try {
    ImportRows(rows, storeEntryId);
  } catch (const ProgramEnding&) {
    // The window is closing: finish the file so that what was stored is kept.
    try {
      if (objSession_) objSession_->Logoff();
    } catch (const std::exception&) {
    }
    objSession_.reset();
    throw;
  }
}

}  // namespace verdaline

// The conversion run: the Click handler of CmdExtractDBX ("Convert
// &Messages"). It asks for an output folder, checks every row of the list,
// opens a mail session, creates a new .pst store named by the time stamp,
// builds the store's folder tree, imports each listed file into the folder
// that mirrors its own, shows progress, and logs off.
//
// While it runs the list cannot change under it: the list commands and the
// button itself are disabled, and the rows are read once, at the start.
// Files that could not be converted are listed in one message box at the end.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "mapi/rdo_session.h"
#include "platform/flex_grid.h"
#include "platform/paths.h"
#include "platform/platform.h"

class QGroupBox;
class QLabel;
class QWidget;

namespace verdaline {

// A progress bar with single-precision bounds and value.
struct ProgressBarControl {
  std::function<void(float)> setMin;
  std::function<void(float)> setMax;
  std::function<void(float)> setValue;
};

// What the run touches in the window.
struct ConversionControls {
  QWidget* owner = nullptr;
  FlexGrid* grdFiles1 = nullptr;
  QGroupBox* FrameConversion = nullptr;
  QLabel* LblCurrentDBX = nullptr;
  ProgressBarControl ProgressBar1;
  ProgressBarControl ProgressBar2;
  QWidget* CmdExtractDBX = nullptr;
  std::vector<QWidget*> listCommands;  // cmdAdd, CmdAddFolder, cmdClear1
};

inline const QString kChooseSaveFolderTitle = QStringLiteral("Choose Folder to Save...");
inline const QString kPstFilePrefix = QStringLiteral("OutlookExpressMessages");
inline const QString kStoreNamePrefix = QStringLiteral("Outlook Express Messages : Created - ");
// PidTagMessageFlags ([MS-OXPROPS] 2.784)
inline constexpr uint32_t kMessageFlagsTag = 0x0E070003;
// How far " (2)" ... goes before a taken name is given up on.
inline constexpr int kMaxNameSuffix = 999;

class ConversionRun {
 public:
  ConversionRun(Platform& platform, ConversionControls controls, QChar separator = kPathSeparator);
  ~ConversionRun();

  void CmdExtractDBX_Click();

  // Run state of the latest run.
  const QString& strSaveFolder() const { return strSaveFolder_; }
  const QString& strStoreName() const { return strStoreName_; }
  const std::vector<QString>& arrFolderPaths() const { return arrFolderPaths_; }
  const mapi::RDOSession* objSession() const { return objSession_.get(); }
  // The .pst file of the latest run that got as far as creating one.
  const QString& pstPath() const { return pstPath_; }

 private:
  struct Row {
    QString path;      // as it stands when that file exists, else trimmed
    QString relative;  // store folder path
  };
  bool ReadAndCheckRows(std::vector<Row>& rows);
  bool Prepare(const std::vector<Row>& rows, std::string& storeEntryId);
  void ImportRows(const std::vector<Row>& rows, const std::string& storeEntryId);
  void Yield() { platform_.DoEvents(); }
  // Which name was taken and which was used instead, with a line break; ""
  // when the first name was free.
  QString renamedNotice() const;

  Platform& platform_;
  ConversionControls c_;
  QChar sep_;

  QString strSaveFolder_;
  QString strStoreName_;
  std::vector<QString> arrFolderPaths_;
  std::unique_ptr<mapi::RDOSession> objSession_;
  std::unique_ptr<mapi::RDOStore> objStore_;  // released at the end of the run
  QString pstPath_;
  QString renamedFrom_;  // the first name tried, when it was taken
};

}  // namespace verdaline

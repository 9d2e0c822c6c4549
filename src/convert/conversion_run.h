// SPDX-License-Identifier: GPL-3.0-or-later
// The conversion run: the Click handler of CmdExtractDBX ("Convert
// &Messages"). It asks for an output folder, hands the rows of the list to
// the conversion engine (which checks them, creates the .pst store, its
// folder tree and its messages, and logs off), shows the engine's progress
// in the window and turns its report into the window's message boxes.
//
// While it runs the list cannot change under it: the list commands and the
// button itself are disabled, and the rows are read once, at the start.
// Files that could not be converted are listed in one message box at the end,
// followed by the files that were stored with warnings.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "engine/conversion_engine.h"
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

class ConversionRun {
 public:
  ConversionRun(Platform& platform, ConversionControls controls, QChar separator = kPathSeparator);
  ~ConversionRun();

  void CmdExtractDBX_Click();
  // What the next runs write and import with (default: the real thing).
  void SetEngineDeps(EngineDeps deps) { deps_ = std::move(deps); }

  // Run state of the latest run.
  const QString& strSaveFolder() const { return strSaveFolder_; }
  const QString& strStoreName() const { return strStoreName_; }
  const std::vector<QString>& arrFolderPaths() const { return arrFolderPaths_; }
  // The .pst file of the latest run that got as far as creating one.
  const QString& pstPath() const { return pstPath_; }

 private:
  std::vector<QString> ReadRows() const;
  EngineCallbacks Callbacks();
  // The run's results the report names (not stored, stored with warnings),
  // in list order, with the files the failed file lost and those never
  // reached; `stored`: how many the file holds.
  std::vector<FileResult> NotableFiles(const ConversionReport& report, const std::vector<QString>& rows,
                                       qint64& stored) const;
  void ShowReport(const ConversionReport& report, qint64 total, qint64 stored);
  void Yield() { platform_.DoEvents(); }

  Platform& platform_;
  ConversionControls c_;
  QChar sep_;
  EngineDeps deps_;

  QString strSaveFolder_;
  QString strStoreName_;
  std::vector<QString> arrFolderPaths_;
  QString pstPath_;
  // Of the run going on: the results that are not plainly stored, by list
  // index (a list of a million files keeps no result for each), how many
  // files it dealt with and how many it stored.
  std::vector<std::pair<qint64, FileResult>> notable_;
  qint64 reached_ = 0, stored_ = 0;
};

}  // namespace verdaline

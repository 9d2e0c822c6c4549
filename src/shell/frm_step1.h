// SPDX-License-Identifier: GPL-3.0-or-later
// frmStep1: the program's one window. It lays out its controls, starts with
// an empty message file list, and enters every event handler through the
// event guard. The commands themselves live in the layers below (sources,
// convert); the window only calls them. Closing the window ends the program,
// whatever was running.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "platform/common_dialog.h"
#include "platform/flex_grid_view.h"
#include "platform/platform.h"
#include "shell/window_fonts.h"
#include "sources/message_file_list.h"

class QGroupBox;
class QLabel;
class QPushButton;

namespace verdaline {

class FilledShape;
class VbProgressBar;
class ConversionRun;
struct EngineDeps;

// Width of the grid's first column when the window loads, in twips.
inline constexpr int kLoadColWidthTwips = 50000;
// The client area, in pixels at 96 dpi (8145 x 6750 twips).
inline constexpr int kClientWidth = 543;
inline constexpr int kClientHeight = 450;

QString ExitQuestion();

// The class keeps the window's own name.
class frmStep1 : public QWidget {  // NOLINT(readability-identifier-naming)
  Q_OBJECT
 public:
  explicit frmStep1(Platform& platform, QWidget* parent = nullptr);
  ~frmStep1() override;

  Platform& platform() { return platform_; }

  // What the commands use.
  FlexGridView& grdFiles1() { return *grdFiles1_; }
  QLabel& lblCount1() { return *lblCount1_; }
  QPushButton& CmdExtractDBX() { return *CmdExtractDBX_; }
  QGroupBox& FrameConversion() { return *FrameConversion_; }
  QLabel& LblCurrentDBX() { return *LblCurrentDBX_; }
  QLabel& LblProgessCurrent() { return *LblProgessCurrent_; }
  VbProgressBar& ProgressBar1() { return *ProgressBar1_; }
  VbProgressBar& ProgressBar2() { return *ProgressBar2_; }
  CommonDialog& cdlgFile() { return cdlgFile_; }
  QWidget* OwnerHandle() { return this; }
  MessageFileList& FileList() { return fileList_; }

  // The window's routines over its list.
  void AddFileRow(const QString& path) { fileList_.AddFileRow(path); }
  void ResetFileList() { fileList_.ResetFileList(); }

  // Event handlers, named by control and event. Each button's click runs its
  // handler through the event guard.
  void cmdAdd_Click();
  void CmdAddFolder_Click();
  void cmdClear1_Click();
  void CmdExtractDBX_Click();
  void cmdEnd_Click();

  // The commands of the three buttons whose work lives in other layers. They
  // are set up in one place, frm_step1_commands.cpp (InstallCommands); a
  // command that keeps state for the life of the window captures it in its
  // function object. Tests may replace them.
  std::function<void()> onCmdAddClick;
  std::function<void()> onCmdAddFolderClick;
  std::function<void()> onCmdExtractDBXClick;

  // What the conversion run writes and imports with; the real writer,
  // importer and clock unless a test or tool passes others.
  void SetEngineDeps(EngineDeps deps);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void SetStackingOrder();
  void SetTabOrder();
  void ConnectButtons();
  void InstallCommands();
  void Form_Load();
  void Guarded(void (frmStep1::*handler)());

  Platform& platform_;
  std::shared_ptr<ConversionRun> conversionRun_;
  TahomaFonts fonts_;  // before any control is made

  // The grid comes first: the list is built over it. Its place in the
  // stacking order is set in SetStackingOrder like every other control's.
  FlexGridView* grdFiles1_;
  FilledShape* Shape2_ = nullptr;
  QLabel* lblTitle_ = nullptr;
  QPushButton* cmdAdd_ = nullptr;
  QPushButton* CmdAddFolder_ = nullptr;
  QPushButton* cmdClear1_ = nullptr;
  QLabel* lblCount1_ = nullptr;
  QGroupBox* FrameConversion_ = nullptr;
  QLabel* LblCurrentDBX_ = nullptr;
  QLabel* LblProgessCurrent_ = nullptr;
  QLabel* Label2_ = nullptr;
  VbProgressBar* ProgressBar2_ = nullptr;
  QLabel* Label1_ = nullptr;
  VbProgressBar* ProgressBar1_ = nullptr;
  QPushButton* CmdExtractDBX_ = nullptr;
  FilledShape* Shape1_ = nullptr;
  QWidget* Picture3_ = nullptr;
  QPushButton* cmdEnd_ = nullptr;

  CommonDialog cdlgFile_;
  MessageFileList fileList_;
};

}  // namespace verdaline

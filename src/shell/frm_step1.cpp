// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/frm_step1.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "platform/event_guard.h"
#include "shell/shell_resources.h"

namespace verdaline {

QString ExitQuestion() { return QStringLiteral("Are you sure you want to exit now?"); }

frmStep1::frmStep1(Platform& platform, QWidget* parent)
    : QWidget(parent),
      platform_(platform),
      grdFiles1_(new FlexGridView(this)),
      cdlgFile_(platform, this),
      fileList_(*grdFiles1_, [this](const QString& caption) { lblCount1_->setText(caption); }) {
  // Initialise: the resources (icon) and the window's fonts are ready before
  // any control is made.
  InitShellResources();
  BuildControls();
  SetStackingOrder();
  SetTabOrder();
  ConnectButtons();
  InstallCommands();
  Form_Load();
}

frmStep1::~frmStep1() = default;

void frmStep1::Form_Load() {
  grdFiles1_->SetColWidth(0, kLoadColWidthTwips);
  // Centred on the screen; the frame's own size is not known before it is
  // shown, so the client area is centred, which is what the user sees.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect avail = screen->availableGeometry();
    move(avail.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }
}

void frmStep1::ConnectButtons() {
  connect(cmdAdd_, &QPushButton::clicked, this, [this] { Guarded(&frmStep1::cmdAdd_Click); });
  connect(CmdAddFolder_, &QPushButton::clicked, this, [this] { Guarded(&frmStep1::CmdAddFolder_Click); });
  connect(cmdClear1_, &QPushButton::clicked, this, [this] { Guarded(&frmStep1::cmdClear1_Click); });
  connect(CmdExtractDBX_, &QPushButton::clicked, this, [this] { Guarded(&frmStep1::CmdExtractDBX_Click); });
  connect(cmdEnd_, &QPushButton::clicked, this, [this] { Guarded(&frmStep1::cmdEnd_Click); });
}

void frmStep1::Guarded(void (frmStep1::*handler)()) {
  RunGuarded(platform_, [this, handler] { (this->*handler)(); });
}

void frmStep1::cmdAdd_Click() {
  if (onCmdAddClick) onCmdAddClick();
}

void frmStep1::CmdAddFolder_Click() {
  if (onCmdAddFolderClick) onCmdAddFolderClick();
}

void frmStep1::CmdExtractDBX_Click() {
  if (onCmdExtractDBXClick) onCmdExtractDBXClick();
}

void frmStep1::cmdClear1_Click() { fileList_.ClearCommand(platform_); }

void frmStep1::cmdEnd_Click() {
  if (platform_.MsgBox(ExitQuestion(), mb::kYesNo | mb::kQuestion, kAppTitle) == mb::kYes) close();
}

void frmStep1::closeEvent(QCloseEvent* event) {
  // Unload: the program ends here, without a question, and whatever command
  // was running stops at its next yield (the platform throws ProgramEnding).
  event->accept();
  platform_.EndProgram(0);
}

}  // namespace verdaline

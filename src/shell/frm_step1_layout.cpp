// SPDX-License-Identifier: GPL-3.0-or-later
// The window's controls: names, places and sizes (in twips, drawn at 15
// twips a pixel), captions, fonts, colours, stacking and tab order.
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "shell/filled_shape.h"
#include "shell/frm_step1.h"
#include "shell/vb_progress_bar.h"
#include "shell/window_fonts.h"

namespace verdaline {

namespace {

const QColor kDarkBlue(0, 0, 128);
const QColor kWhite(255, 255, 255);
const QColor kGrey(192, 192, 192);
const QColor kBlack(0, 0, 0);

// Places a control from its Left, Top, Width and Height in twips.
void Place(QWidget* w, int left, int top, int width, int height) {
  w->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
}

template <typename T, typename... Args>
T* Make(QWidget* parent, const char* name, Args&&... args) {
  T* w = new T(std::forward<Args>(args)..., parent);
  w->setObjectName(QString::fromLatin1(name));
  // Every control carries its own font, as each had on the original form; a
  // style sheet on a container then cannot hand its children another one.
  w->setFont(WindowFont());
  return w;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption) {
  QLabel* label = Make<QLabel>(parent, name, caption);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setTextFormat(Qt::PlainText);
  label->setFocusPolicy(Qt::NoFocus);
  return label;
}

void SetColour(QWidget* w, QPalette::ColorRole role, const QColor& colour) {
  QPalette pal = w->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) pal.setColor(group, role, colour);
  w->setPalette(pal);
}

}  // namespace

void frmStep1::BuildControls() {
  setObjectName(QStringLiteral("frmStep1"));
  setWindowTitle(kAppTitle);
  setWindowIcon(QIcon(QStringLiteral(":/verdaline/verdaline.ico")));
  setFont(WindowFont());
  // A fixed frame: the layout is absolute and nothing reacts to a new size.
  setFixedSize(kClientWidth, kClientHeight);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

  Shape2_ = Make<FilledShape>(this, "Shape2", kDarkBlue, kWhite);
  Place(Shape2_, -120, 0, 8415, 855);

  lblTitle_ = MakeLabel(this, "lblTitle", kAppTitle);
  Place(lblTitle_, 240, 120, 6255, 375);
  lblTitle_->setFont(TitleFont());
  lblTitle_->setAutoFillBackground(true);
  SetColour(lblTitle_, QPalette::Window, kDarkBlue);
  SetColour(lblTitle_, QPalette::WindowText, kWhite);

  cmdAdd_ = Make<QPushButton>(this, "cmdAdd", QStringLiteral("Add EML File(s)..."));
  Place(cmdAdd_, 240, 960, 1815, 375);
  CmdAddFolder_ = Make<QPushButton>(this, "CmdAddFolder", QStringLiteral("Add Folder having EML File(s)..."));
  Place(CmdAddFolder_, 2400, 960, 2775, 375);
  cmdClear1_ = Make<QPushButton>(this, "cmdClear1", QStringLiteral("Clear File(s)..."));
  Place(cmdClear1_, 6240, 960, 1695, 375);

  lblCount1_ = MakeLabel(this, "lblCount1", FileCountCaption(0));
  Place(lblCount1_, 270, 1560, 4335, 255);
  lblCount1_->setAutoFillBackground(true);  // opaque, in the window's own colours

  grdFiles1_->setObjectName(QStringLiteral("grdFiles1"));
  grdFiles1_->setFont(WindowFont());
  Place(grdFiles1_, 240, 1800, 7695, 1575);

  FrameConversion_ = Make<QGroupBox>(this, "FrameConversion", QStringLiteral("Details"));
  Place(FrameConversion_, 240, 3480, 7695, 1815);
  FrameConversion_->setFocusPolicy(Qt::NoFocus);
  // The caption sits on the frame's top line, so the frame's own coordinates
  // start at the caption's top edge, as its children's places assume.
  FrameConversion_->setStyleSheet(QStringLiteral(
      "QGroupBox#FrameConversion { border: 1px solid palette(mid); border-radius: 0px; margin-top: 6px; }"
      "QGroupBox#FrameConversion::title { subcontrol-origin: margin; subcontrol-position: top left;"
      " left: 6px; top: 0px; padding: 0px 2px; }"));

  // The frame's labels are transparent: the frame shows through them.
  LblCurrentDBX_ = MakeLabel(FrameConversion_, "LblCurrentDBX", QStringLiteral("Converting Messages..."));
  Place(LblCurrentDBX_, 120, 240, 7455, 255);
  LblProgessCurrent_ = MakeLabel(FrameConversion_, "LblProgessCurrent", QStringLiteral("Message 0 (of 0)"));
  Place(LblProgessCurrent_, 1800, 600, 5775, 255);
  SetColour(LblProgessCurrent_, QPalette::WindowText, kBlack);
  Label2_ = MakeLabel(FrameConversion_, "Label2", QStringLiteral("Current File Progress : "));
  Place(Label2_, 120, 960, 1695, 255);
  ProgressBar2_ = Make<VbProgressBar>(FrameConversion_, "ProgressBar2");
  Place(ProgressBar2_, 1800, 960, 5775, 255);
  Label1_ = MakeLabel(FrameConversion_, "Label1", QStringLiteral("Overall Progress        : "));
  Place(Label1_, 120, 1320, 1695, 255);
  ProgressBar1_ = Make<VbProgressBar>(FrameConversion_, "ProgressBar1");
  Place(ProgressBar1_, 1800, 1320, 5775, 255);

  CmdExtractDBX_ = Make<QPushButton>(this, "CmdExtractDBX", QStringLiteral("Convert &Messages"));
  Place(CmdExtractDBX_, 2880, 5520, 2415, 435);
  CmdExtractDBX_->setEnabled(false);

  Shape1_ = Make<FilledShape>(this, "Shape1", kWhite, kGrey);
  Place(Shape1_, 0, 6120, 8415, 855);

  Picture3_ = Make<QWidget>(this, "Picture3");
  Place(Picture3_, 240, 6240, 7695, 495);
  Picture3_->setAutoFillBackground(true);
  SetColour(Picture3_, QPalette::Window, kWhite);
  Picture3_->setFocusPolicy(Qt::NoFocus);

  cmdEnd_ = Make<QPushButton>(Picture3_, "cmdEnd", QStringLiteral("E&xit"));
  Place(cmdEnd_, 6360, 0, 1335, 375);

  for (QPushButton* b : {cmdAdd_, CmdAddFolder_, cmdClear1_, CmdExtractDBX_, cmdEnd_}) b->setAutoDefault(false);
}

void frmStep1::SetStackingOrder() {
  // Drawn on the window's surface, bottom to top: Shape2, lblCount1, Shape1,
  // lblTitle. Every windowed control lies above them.
  for (QWidget* w : std::initializer_list<QWidget*>{Shape2_, lblCount1_, Shape1_, lblTitle_, cmdAdd_, CmdAddFolder_,
                                                    cmdClear1_, grdFiles1_, FrameConversion_, CmdExtractDBX_,
                                                    Picture3_})
    w->raise();
}

void frmStep1::SetTabOrder() {
  // cmdAdd, cmdClear1, CmdAddFolder, grdFiles1, CmdExtractDBX, cmdEnd. The
  // labels, the frame, the bars and the white panel never take the focus.
  for (QWidget* w : std::initializer_list<QWidget*>{lblTitle_, lblCount1_, FrameConversion_, LblCurrentDBX_,
                                                    LblProgessCurrent_, Label1_, Label2_, ProgressBar1_,
                                                    ProgressBar2_, Picture3_, Shape1_, Shape2_})
    w->setFocusPolicy(Qt::NoFocus);
  for (QWidget* w : std::initializer_list<QWidget*>{cmdAdd_, cmdClear1_, CmdAddFolder_, grdFiles1_, CmdExtractDBX_,
                                                    cmdEnd_})
    w->setFocusPolicy(Qt::StrongFocus);
  setTabOrder(cmdAdd_, cmdClear1_);
  setTabOrder(cmdClear1_, CmdAddFolder_);
  setTabOrder(CmdAddFolder_, grdFiles1_);
  setTabOrder(grdFiles1_, CmdExtractDBX_);
  setTabOrder(CmdExtractDBX_, cmdEnd_);
  setTabOrder(cmdEnd_, cmdAdd_);
  cmdAdd_->setFocus();
}

}  // namespace verdaline

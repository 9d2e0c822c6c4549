// SPDX-License-Identifier: GPL-3.0-or-later
// The window as it opens: controls, places, captions, fonts, stacking, tab order.
#include <QFontInfo>
#include <QHeaderView>
#include <QIcon>

#include "shell/window_fixture.h"
#include "shell/window_fonts.h"

namespace verdaline::testing {
namespace {

using FreshWindow = WindowTest;

TEST_F(FreshWindow, ShowsAnEmptyListAndTheInitialDetails) {
  EXPECT_EQ(window().windowTitle(), "Verdaline");
  EXPECT_EQ(window().objectName(), "frmStep1");
  EXPECT_FALSE(Button("CmdExtractDBX")->isEnabled());
  EXPECT_EQ(Button("CmdExtractDBX")->text(), "Convert &Messages");
  EXPECT_EQ(Caption("lblCount1"), "0 files");
  EXPECT_EQ(Rows(), (std::vector<QString>{""}));
  EXPECT_EQ(window().grdFiles1().ColWidth(0), kLoadColWidthTwips);
  EXPECT_EQ(window().grdFiles1().columnWidth(0), 3333);
  EXPECT_EQ(Control<QGroupBox>("FrameConversion")->title(), "Details");
  EXPECT_EQ(Caption("LblCurrentDBX"), "Converting Messages...");
  EXPECT_EQ(Caption("LblProgessCurrent"), "Message 0 (of 0)");
  EXPECT_EQ(Caption("Label1"), "Overall Progress        : ");
  EXPECT_EQ(Caption("Label2"), "Current File Progress : ");
  EXPECT_EQ(Caption("lblTitle"), "Verdaline");
  for (VbProgressBar* bar : {&window().ProgressBar1(), &window().ProgressBar2()}) {
    EXPECT_EQ(bar->Min(), 0.0f);
    EXPECT_EQ(bar->Max(), 100.0f);
    EXPECT_EQ(bar->Value(), 0.0f);
    EXPECT_EQ(bar->value(), bar->minimum());
  }
  EXPECT_TRUE(platform_.Boxes().empty());
}

TEST_F(FreshWindow, ControlsSitWhereTheLayoutPutsThem) {
  EXPECT_EQ(window().size(), QSize(543, 450));
  EXPECT_EQ(window().minimumSize(), window().maximumSize());
  struct Expect {
    const char* name;
    const char* parent;
    QRect rect;
  };
  const Expect expected[] = {
      {"Shape2", "frmStep1", QRect(-8, 0, 561, 57)},
      {"lblTitle", "frmStep1", QRect(16, 8, 417, 25)},
      {"cmdAdd", "frmStep1", QRect(16, 64, 121, 25)},
      {"CmdAddFolder", "frmStep1", QRect(160, 64, 185, 25)},
      {"cmdClear1", "frmStep1", QRect(416, 64, 113, 25)},
      {"lblCount1", "frmStep1", QRect(18, 104, 289, 17)},
      {"grdFiles1", "frmStep1", QRect(16, 120, 513, 105)},
      {"FrameConversion", "frmStep1", QRect(16, 232, 513, 121)},
      {"LblCurrentDBX", "FrameConversion", QRect(8, 16, 497, 17)},
      {"LblProgessCurrent", "FrameConversion", QRect(120, 40, 385, 17)},
      {"Label2", "FrameConversion", QRect(8, 64, 113, 17)},
      {"ProgressBar2", "FrameConversion", QRect(120, 64, 385, 17)},
      {"Label1", "FrameConversion", QRect(8, 88, 113, 17)},
      {"ProgressBar1", "FrameConversion", QRect(120, 88, 385, 17)},
      {"CmdExtractDBX", "frmStep1", QRect(192, 368, 161, 29)},
      {"Shape1", "frmStep1", QRect(0, 408, 561, 57)},
      {"Picture3", "frmStep1", QRect(16, 416, 513, 33)},
      {"cmdEnd", "Picture3", QRect(424, 0, 89, 25)},
  };
  for (const Expect& e : expected) {
    QWidget* w = Control(e.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->geometry(), e.rect) << e.name;
    EXPECT_EQ(w->parentWidget()->objectName(), e.parent) << e.name;
  }
}

TEST_F(FreshWindow, HoldsExactlyTheNamedControls) {
  QStringList names;
  for (QWidget* w : window().findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) names << w->objectName();
  names.sort();
  QStringList expected{"CmdAddFolder", "CmdExtractDBX", "FrameConversion", "Picture3", "Shape1", "Shape2",
                       "cmdAdd",       "cmdClear1",     "grdFiles1",       "lblCount1", "lblTitle"};
  expected.sort();
  EXPECT_EQ(names, expected);
}

TEST_F(FreshWindow, UsesTahomaAtTheGivenSizes) {
  QFont body = Control("cmdAdd")->font();
  EXPECT_EQ(body.family(), "Tahoma");
  EXPECT_DOUBLE_EQ(body.pointSizeF(), 8.25);
  EXPECT_FALSE(body.bold());
  QFont title = Control("lblTitle")->font();
  EXPECT_DOUBLE_EQ(title.pointSizeF(), 14.25);
  EXPECT_EQ(title.weight(), QFont::Bold);
  if (TahomaFonts::Available()) {
    EXPECT_EQ(QFontInfo(title).family(), "Tahoma");
  }
}

TEST_F(FreshWindow, SurfaceDrawingsLieBelowTheWindowedControls) {
  const QObjectList& kids = window().children();
  auto at = [&](const char* name) {
    for (int i = 0; i < kids.size(); ++i)
      if (kids[i]->objectName() == QLatin1String(name)) return i;
    ADD_FAILURE() << name;
    return -1;
  };
  // Bottom to top on the surface: Shape2, lblCount1, Shape1, lblTitle.
  EXPECT_LT(at("Shape2"), at("lblCount1"));
  EXPECT_LT(at("lblCount1"), at("Shape1"));
  EXPECT_LT(at("Shape1"), at("lblTitle"));
  for (const char* windowed : {"cmdAdd", "CmdAddFolder", "cmdClear1", "grdFiles1", "FrameConversion",
                               "CmdExtractDBX", "Picture3"})
    EXPECT_GT(at(windowed), at("lblTitle")) << windowed;
}

TEST_F(FreshWindow, TabGoesThroughTheControlsInOrder) {
  const QStringList inOrder{"cmdAdd", "cmdClear1", "CmdAddFolder", "grdFiles1", "CmdExtractDBX", "cmdEnd"};
  QStringList seen;
  QWidget* w = Control("cmdAdd");
  for (int i = 0; i < 200 && seen.size() < inOrder.size(); ++i, w = w->nextInFocusChain())
    if ((w->focusPolicy() & Qt::TabFocus) && inOrder.contains(w->objectName())) seen << w->objectName();
  EXPECT_EQ(seen, inOrder);
  for (const char* never : {"lblTitle", "lblCount1", "FrameConversion", "LblCurrentDBX", "LblProgessCurrent",
                            "Label1", "Label2", "ProgressBar1", "ProgressBar2", "Picture3", "Shape1", "Shape2"})
    EXPECT_EQ(Control(never)->focusPolicy(), Qt::NoFocus) << never;
}

TEST_F(FreshWindow, AccessKeysAreInTheCaptions) {
  EXPECT_EQ(Button("cmdEnd")->text(), "E&xit");
  EXPECT_EQ(Button("cmdEnd")->shortcut(), QKeySequence(QKeySequence::mnemonic("E&xit")));
  EXPECT_EQ(Button("CmdExtractDBX")->shortcut(), QKeySequence(QKeySequence::mnemonic("Convert &Messages")));
}

TEST_F(FreshWindow, CarriesTheIconInItsSizes) {
  const QIcon icon = window().windowIcon();
  ASSERT_FALSE(icon.isNull());
  const QList<QSize> sizes = icon.availableSizes();
  for (int s : {16, 24, 32, 48, 128, 256}) EXPECT_TRUE(sizes.contains(QSize(s, s))) << s;
}

}  // namespace
}  // namespace verdaline::testing

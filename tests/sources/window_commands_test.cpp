// SPDX-License-Identifier: GPL-3.0-or-later
// The two adding commands through the real window: its buttons, its grid and
// count label, its conversion button, answered by the scripted platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include "platform/scripted_platform.h"
#include "shell/frm_step1.h"
#include "sources/qt_print.h"
#include "sources/temp_tree.h"

namespace verdaline {
namespace {

QApplication& App() {
  static int argc = 1;
  static char arg0[] = "sources_tests";
  static char* argv[] = {arg0, nullptr};
  static QApplication app(argc, argv);
  return app;
}

class WindowCommands : public ::testing::Test {
 protected:
  WindowCommands() {
    App();
    window = std::make_unique<frmStep1>(platform);
  }
  void Click(const char* button) {
    auto* b = window->findChild<QPushButton*>(QString::fromLatin1(button));
    ASSERT_NE(b, nullptr) << button;
    b->click();
  }
  QStringList Rows() {
    QStringList rows;
    for (int r = 0; r < window->grdFiles1().Rows(); ++r) rows << window->grdFiles1().CellText(r, 0);
    return rows;
  }

  ScriptedPlatform platform;
  std::unique_ptr<frmStep1> window;
};

TEST_F(WindowCommands, AddFilesThenAFolder) {
  testing::TempTree tree;
  ASSERT_TRUE(tree.ok());
  tree.File("in/a.eml");
  tree.File("in/sub/B.EML");
  tree.File("in/notes.txt");

  EXPECT_FALSE(window->CmdExtractDBX().isEnabled());
  platform.QueueOpenResult(QString::fromUtf16(u"/picked\0one.eml\0two.eml", 23));
  Click("cmdAdd");
  EXPECT_EQ(Rows(), (QStringList{"/picked/one.eml", "/picked/two.eml"}));
  EXPECT_TRUE(window->CmdExtractDBX().isEnabled());

  platform.QueueFolder(tree.QPath("in"));
  Click("CmdAddFolder");
  EXPECT_EQ(Rows(), (QStringList{"/picked/one.eml", "/picked/two.eml", tree.QPath("in/a.eml"),
                                 tree.QPath("in/sub/B.EML")}));
  EXPECT_EQ(window->lblCount1().text(), "4 files");
  ASSERT_FALSE(platform.Boxes().empty());
  EXPECT_EQ(platform.Boxes().back().text, "2 Files Added to List.");
  EXPECT_EQ(platform.MousePointer(), kPointerDefault);

  // A folder without messages disables conversion but keeps the list.
  platform.QueueFolder(tree.QPath("in/sub/nothing-here"));
  tree.Folder("in/sub/nothing-here");
  Click("CmdAddFolder");
  EXPECT_EQ(platform.Boxes().back().text, "0 Files Added to List.");
  EXPECT_FALSE(window->CmdExtractDBX().isEnabled());
  EXPECT_EQ(Rows().size(), 4);
}

}  // namespace
}  // namespace verdaline

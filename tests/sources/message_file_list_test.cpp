// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/message_file_list.h"

#include <gtest/gtest.h>

#include "platform/flex_grid_view.h"
#include "platform/qt_test_app.h"
#include "platform/scripted_platform.h"

namespace verdaline {
namespace {

class MessageFileListTest : public ::testing::Test {
 protected:
  MessageFileListTest() : list_(grid_, [this](const QString& c) { caption_ = c; }) {}
  static void SetUpTestSuite() { testing::EnsureQtApp(); }

  // The grid's rows as text, read without the list's help.
  std::vector<QString> Cells() {
    std::vector<QString> out;
    for (int r = 0; r < grid_.Rows(); ++r) out.push_back(grid_.CellText(r, 0));
    return out;
  }

  FlexGridView grid_;
  QString caption_ = "0 files";
  MessageFileList list_;
  ScriptedPlatform platform_;
};

TEST(FileCountCaption, IsTheNumberThenFilesAlwaysPlural) {
  EXPECT_EQ(FileCountCaption(0), "0 files");
  EXPECT_EQ(FileCountCaption(1), "1 files");
  EXPECT_EQ(FileCountCaption(12345), "12345 files");
}

TEST_F(MessageFileListTest, FirstPathLandsInRowZeroAndWidensTheColumn) {
  grid_.SetColWidth(0, 50000);
  list_.AddFileRow("C:\\Mail\\Inbox\\a.eml");
  EXPECT_EQ(Cells(), (std::vector<QString>{"C:\\Mail\\Inbox\\a.eml"}));
  EXPECT_EQ(caption_, "1 files");
  EXPECT_EQ(grid_.ColWidth(0), kListedColWidthTwips);
  EXPECT_EQ(list_.Length(), 1);
}

TEST_F(MessageFileListTest, PathsFollowInOrderAsGivenWithDuplicates) {
  list_.AddFileRow("C:\\A.eml");
  list_.AddFileRow(" c:\\b.EML ");  // kept exactly: no trimming or case folding
  list_.AddFileRow("C:\\A.eml");
  EXPECT_EQ(Cells(), (std::vector<QString>{"C:\\A.eml", " c:\\b.EML ", "C:\\A.eml"}));
  EXPECT_EQ(caption_, "3 files");
  EXPECT_EQ(grid_.Row(), 2);  // the last row is the current one
}

TEST_F(MessageFileListTest, ResetLeavesOneBlankRowAndKeepsTheWidth) {
  grid_.SetColWidth(0, 50000);
  for (int i = 0; i < 5; ++i) list_.AddFileRow(QString("C:\\m\\%1.eml").arg(i));
  grid_.SetColWidth(0, 4321);  // whatever the width is, reset keeps it
  list_.ResetFileList();
  EXPECT_EQ(Cells(), (std::vector<QString>{""}));
  EXPECT_EQ(caption_, "0 files");
  EXPECT_EQ(grid_.ColWidth(0), 4321);
  EXPECT_TRUE(list_.IsEmpty());
  list_.AddFileRow("C:\\next.eml");
  EXPECT_EQ(Cells(), (std::vector<QString>{"C:\\next.eml"}));
  EXPECT_EQ(caption_, "1 files");
}

TEST_F(MessageFileListTest, OneRowHoldingTextIsAnEntryNotAnEmptyList) {
  grid_.SetRow(0);
  grid_.SetText("C:\\already.eml");
  EXPECT_EQ(list_.Length(), 1);
  list_.AddFileRow("C:\\second.eml");
  EXPECT_EQ(Cells(), (std::vector<QString>{"C:\\already.eml", "C:\\second.eml"}));
  EXPECT_EQ(caption_, "2 files");
}

TEST_F(MessageFileListTest, AnEmptyPathIsStillAnEntryWhenOthersFollow) {
  list_.AddFileRow("");  // the list stays empty: row 0 is blank
  EXPECT_EQ(caption_, "1 files");
  EXPECT_TRUE(list_.IsEmpty());
  list_.AddFileRow("C:\\x.eml");  // goes into row 0 again
  EXPECT_EQ(Cells(), (std::vector<QString>{"C:\\x.eml"}));
}

TEST_F(MessageFileListTest, ClearOnAnEmptyListAsksNothing) {
  list_.ClearCommand(platform_);
  EXPECT_TRUE(platform_.Boxes().empty());
  EXPECT_EQ(Cells(), (std::vector<QString>{""}));
}

TEST_F(MessageFileListTest, ClearAnsweredNoChangesNothing) {
  list_.AddFileRow("C:\\a.eml");
  list_.AddFileRow("C:\\b.eml");
  platform_.QueueAnswer(mb::kNo);
  list_.ClearCommand(platform_);
  ASSERT_EQ(platform_.Boxes().size(), 1u);
  EXPECT_EQ(platform_.Boxes()[0].text, "Do you want to clear all the files in the list\r\n Proceed?");
  EXPECT_EQ(platform_.Boxes()[0].style, 36);
  EXPECT_EQ(platform_.Boxes()[0].title, "Verdaline");
  EXPECT_EQ(Cells(), (std::vector<QString>{"C:\\a.eml", "C:\\b.eml"}));
  EXPECT_EQ(caption_, "2 files");
}

TEST_F(MessageFileListTest, ClearAnsweredYesEmptiesTheList) {
  list_.AddFileRow("C:\\a.eml");
  list_.AddFileRow("C:\\b.eml");
  platform_.QueueAnswer(mb::kYes);
  list_.ClearCommand(platform_);
  EXPECT_EQ(Cells(), (std::vector<QString>{""}));
  EXPECT_EQ(caption_, "0 files");
  EXPECT_EQ(platform_.UnansweredBoxes(), 0);
}

TEST_F(MessageFileListTest, ClearAsksForASingleEntryToo) {
  list_.AddFileRow("C:\\only.eml");
  platform_.QueueAnswer(mb::kYes);
  list_.ClearCommand(platform_);
  EXPECT_EQ(platform_.Boxes().size(), 1u);
  EXPECT_TRUE(list_.IsEmpty());
}

TEST_F(MessageFileListTest, ClearLooksOnlyAtTheFirstCell) {
  // Rows with text after a blank first cell: the command sees an empty list.
  grid_.SetRows(2);
  grid_.SetRow(1);
  grid_.SetText("C:\\b.eml");
  list_.ClearCommand(platform_);
  EXPECT_TRUE(platform_.Boxes().empty());
  EXPECT_EQ(grid_.Rows(), 2);
}

}  // namespace
}  // namespace verdaline

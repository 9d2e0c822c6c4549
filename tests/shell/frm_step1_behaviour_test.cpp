// SPDX-License-Identifier: GPL-3.0-or-later
// What the window does: the list and its count, the clear and exit commands,
// the end of the program (even in the middle of a command), the event guard.
#include "platform/vb_error.h"
#include "shell/window_fixture.h"

namespace verdaline::testing {
namespace {

using Window = WindowTest;

TEST_F(Window, AddingFillsTheGridAndTheCount) {
  window().AddFileRow("C:\\Mail\\Work\\a.eml");
  window().AddFileRow("C:\\Mail\\Work\\b.eml");
  window().AddFileRow("C:\\Mail\\Work\\a.eml");
  EXPECT_EQ(Rows(), (std::vector<QString>{"C:\\Mail\\Work\\a.eml", "C:\\Mail\\Work\\b.eml", "C:\\Mail\\Work\\a.eml"}));
  EXPECT_EQ(Caption("lblCount1"), "3 files");
  EXPECT_EQ(window().grdFiles1().ColWidth(0), 10000);
}

TEST_F(Window, ClearAnsweredNoKeepsTheListAndYesEmptiesIt) {
  window().AddFileRow("C:\\a.eml");
  window().AddFileRow("C:\\b.eml");
  window().CmdExtractDBX().setEnabled(true);

  platform_.QueueAnswer(mb::kNo);
  Button("cmdClear1")->click();
  EXPECT_EQ(Rows().size(), 2u);
  EXPECT_EQ(Caption("lblCount1"), "2 files");

  platform_.QueueAnswer(mb::kYes);
  Button("cmdClear1")->click();
  EXPECT_EQ(Rows(), (std::vector<QString>{""}));
  EXPECT_EQ(Caption("lblCount1"), "0 files");
  EXPECT_TRUE(window().CmdExtractDBX().isEnabled());  // clearing leaves the button alone
  EXPECT_EQ(window().grdFiles1().ColWidth(0), 10000);

  ASSERT_EQ(platform_.Boxes().size(), 2u);
  EXPECT_EQ(platform_.Boxes()[1].text, "Do you want to clear all the files in the list\r\n Proceed?");
  Button("cmdClear1")->click();  // now empty: no question
  EXPECT_EQ(platform_.Boxes().size(), 2u);
  EXPECT_FALSE(platform_.Ended());
}

TEST_F(Window, ExitAnsweredNoChangesNothing) {
  window().show();
  window().AddFileRow("C:\\a.eml");
  platform_.QueueAnswer(mb::kNo);
  Button("cmdEnd")->click();
  ASSERT_EQ(platform_.Boxes().size(), 1u);
  EXPECT_EQ(platform_.Boxes()[0].text, "Are you sure you want to exit now?");
  EXPECT_EQ(platform_.Boxes()[0].style, 36);
  EXPECT_EQ(platform_.Boxes()[0].title, "Verdaline");
  EXPECT_FALSE(platform_.Ended());
  EXPECT_TRUE(window().isVisible());
  EXPECT_EQ(Rows(), (std::vector<QString>{"C:\\a.eml"}));
  EXPECT_EQ(Caption("lblCount1"), "1 files");
}

TEST_F(Window, ExitAnsweredYesEndsTheProgram) {
  window().show();
  platform_.QueueAnswer(mb::kYes);
  Button("cmdEnd")->click();
  EXPECT_TRUE(platform_.Ended());
  EXPECT_EQ(platform_.ExitCode(), 0);
  EXPECT_FALSE(window().isVisible());
  // Nothing runs any more, not even a click that was still waiting.
  Button("cmdClear1")->click();
  window().AddFileRow("C:\\a.eml");
  Button("cmdClear1")->click();
  EXPECT_EQ(platform_.Boxes().size(), 1u);
}

TEST_F(Window, TheCloseBoxEndsAtOnceWithoutAQuestion) {
  window().show();
  window().close();
  EXPECT_TRUE(platform_.Ended());
  EXPECT_TRUE(platform_.Boxes().empty());
  EXPECT_FALSE(window().isVisible());
}

// A long command like the folder command: it yields before every file it adds.
std::function<void()> AddTenYielding(frmStep1& w, int* added) {
  return [&w, added] {
    for (int i = 0; i < 10; ++i) {
      w.platform().DoEvents();
      w.AddFileRow(QString("C:\\m\\%1.eml").arg(i));
      ++*added;
    }
  };
}

TEST_F(Window, ClosingInTheMiddleOfACommandStopsItWhereItStands) {
  int added = 0;
  window().onCmdAddFolderClick = AddTenYielding(window(), &added);
  platform_.SetDoEventsHook([&](int n) {
    if (n == 4) window().close();
  });
  Button("CmdAddFolder")->click();
  EXPECT_EQ(added, 3);
  EXPECT_EQ(Caption("lblCount1"), "3 files");
  EXPECT_TRUE(platform_.Ended());
  EXPECT_TRUE(platform_.Boxes().empty());  // no error box: ending is not a failure
}

TEST_F(Window, ExitConfirmedDuringACommandEndsIt) {
  int added = 0;
  window().onCmdExtractDBXClick = AddTenYielding(window(), &added);
  window().CmdExtractDBX().setEnabled(true);
  platform_.QueueAnswer(mb::kYes);
  platform_.SetDoEventsHook([&](int n) {
    if (n == 2) Button("cmdEnd")->click();
  });
  Button("CmdExtractDBX")->click();
  EXPECT_EQ(added, 1);
  EXPECT_TRUE(platform_.Ended());
}

TEST_F(Window, ExitDeclinedDuringACommandLetsItFinish) {
  int added = 0;
  window().onCmdAddFolderClick = AddTenYielding(window(), &added);
  platform_.QueueAnswer(mb::kNo);
  platform_.SetDoEventsHook([&](int n) {
    if (n == 2) Button("cmdEnd")->click();
  });
  Button("CmdAddFolder")->click();
  EXPECT_EQ(added, 10);
  EXPECT_FALSE(platform_.Ended());
  EXPECT_EQ(Caption("lblCount1"), "10 files");
}

TEST_F(Window, ClearDuringACommandRestartsTheListAtRowZero) {
  int added = 0;
  window().onCmdAddFolderClick = AddTenYielding(window(), &added);
  platform_.QueueAnswer(mb::kYes);
  platform_.SetDoEventsHook([&](int n) {
    if (n == 5) Button("cmdClear1")->click();
  });
  Button("CmdAddFolder")->click();
  EXPECT_EQ(added, 10);
  ASSERT_EQ(Rows().size(), 6u);
  EXPECT_EQ(Rows().front(), "C:\\m\\4.eml");
  EXPECT_EQ(Caption("lblCount1"), "6 files");
}

TEST_F(Window, EachButtonRunsItsOwnCommand) {
  std::vector<std::string> calls;
  window().onCmdAddClick = [&] { calls.push_back("add"); };
  window().onCmdAddFolderClick = [&] { calls.push_back("folder"); };
  window().onCmdExtractDBXClick = [&] { calls.push_back("convert"); };
  Button("cmdAdd")->click();
  Button("CmdAddFolder")->click();
  Button("CmdExtractDBX")->click();  // disabled: a click does nothing
  window().CmdExtractDBX().setEnabled(true);
  Button("CmdExtractDBX")->click();
  EXPECT_EQ(calls, (std::vector<std::string>{"add", "folder", "convert"}));
}

TEST_F(Window, AnUntrappedErrorIsShownAndEndsTheProgram) {
  window().onCmdAddClick = [] { RaiseInvalidCall(); };
  Button("cmdAdd")->click();
  ASSERT_EQ(platform_.Boxes().size(), 1u);
  EXPECT_EQ(platform_.Boxes()[0].text, "5:Invalid procedure call or argument");
  EXPECT_EQ(platform_.Boxes()[0].style & mb::kIconMask, mb::kCritical);
  EXPECT_EQ(platform_.Boxes()[0].title, "Verdaline");
  EXPECT_TRUE(platform_.Ended());
  EXPECT_NE(platform_.ExitCode(), 0);
}

TEST_F(Window, TheOpenDialogObjectAsksThePlatformWithItsSettings) {
  CommonDialog& dlg = window().cdlgFile();
  dlg.SetFileName("");
  dlg.SetFilter("Email Messages (*.eml)|*.eml");
  dlg.SetFlags(0x80200);
  dlg.SetMaxFileSize(1000);
  platform_.QueueOpenResult("C:\\Mail\\a.eml");
  dlg.ShowOpen();
  EXPECT_EQ(dlg.FileName(), "C:\\Mail\\a.eml");
  ASSERT_EQ(platform_.OpenCalls().size(), 1u);
  EXPECT_EQ(platform_.OpenCalls()[0].owner, window().OwnerHandle());
  EXPECT_EQ(platform_.OpenCalls()[0].request.filter, "Email Messages (*.eml)|*.eml");
  EXPECT_EQ(platform_.OpenCalls()[0].request.flags, 0x80200);
  EXPECT_EQ(platform_.OpenCalls()[0].request.maxFileSize, 1000);
}

TEST_F(Window, KeepsCountingPastOneHundredThousandRows) {
  window().show();
  constexpr int kRows = 100000;
  for (int i = 0; i < kRows; ++i) window().AddFileRow(QString("C:\\Mail\\big\\%1.eml").arg(i));
  EXPECT_EQ(Caption("lblCount1"), "100000 files");
  EXPECT_EQ(window().grdFiles1().Rows(), kRows);
  window().grdFiles1().SyncView();
  QCoreApplication::processEvents();
  EXPECT_EQ(window().grdFiles1().model()->rowCount(), kRows);
  EXPECT_EQ(window().grdFiles1().CellText(kRows - 1, 0), "C:\\Mail\\big\\99999.eml");
  EXPECT_EQ(window().grdFiles1().CellText(0, 0), "C:\\Mail\\big\\0.eml");
  platform_.QueueAnswer(mb::kYes);
  Button("cmdClear1")->click();
  EXPECT_EQ(window().grdFiles1().Rows(), 1);
  EXPECT_EQ(Caption("lblCount1"), "0 files");
}

}  // namespace
}  // namespace verdaline::testing

// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/scripted_platform.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace verdaline {
namespace {

TEST(ScriptedPlatform, AnswersBoxesInOrderAndRecordsThem) {
  ScriptedPlatform p;
  p.QueueAnswer(mb::kYes);
  p.QueueAnswer(mb::kNo);
  EXPECT_EQ(p.MsgBox("first", 36, "Verdaline"), mb::kYes);
  EXPECT_EQ(p.MsgBox("second", 36, ""), mb::kNo);
  ASSERT_EQ(p.Boxes().size(), 2u);
  EXPECT_EQ(p.Boxes()[0].text, "first");
  EXPECT_EQ(p.Boxes()[1].title, "Verdaline");  // an empty title is the application title
  EXPECT_EQ(p.Boxes()[1].style, 36);
  EXPECT_EQ(p.UnansweredBoxes(), 0);
}

TEST(ScriptedPlatform, UnqueuedQuestionsTakeTheSafeAnswerAndAreCounted) {
  ScriptedPlatform p;
  EXPECT_EQ(p.MsgBox("q", mb::kYesNo | mb::kQuestion, ""), mb::kNo);
  EXPECT_EQ(p.MsgBox("info", mb::kOkOnly, ""), mb::kOk);
  EXPECT_EQ(p.MsgBox("q", mb::kOkCancel, ""), mb::kCancel);
  EXPECT_EQ(p.UnansweredBoxes(), 2);  // an OK-only box needs no answer
}

TEST(ScriptedPlatform, DialogsAnswerFromQueuesAndCancelWhenEmpty) {
  ScriptedPlatform p;
  OpenFileRequest req;
  req.filter = "Email Messages (*.eml)|*.eml";
  req.flags = 0x80200;
  p.QueueOpenResult(QString("C:\\Mail") + QChar(0) + "a.eml" + QChar(0) + "b.eml");
  p.QueueOpenError(VbError(err::kDialogBufferTooSmall, "buffer too small"));
  p.QueueFolder("D:\\Out");

  EXPECT_EQ(p.ShowOpen(nullptr, req).split(QChar(0)).size(), 3);
  try {
    p.ShowOpen(nullptr, req);
    FAIL() << "the queued error was not raised";
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), err::kDialogBufferTooSmall);
  }
  EXPECT_EQ(p.ShowOpen(nullptr, req), "");
  ASSERT_EQ(p.OpenCalls().size(), 3u);
  EXPECT_EQ(p.OpenCalls()[0].request.flags, 0x80200);

  EXPECT_EQ(p.ChooseFolder(nullptr, "Choose"), "D:\\Out");
  EXPECT_EQ(p.ChooseFolder(nullptr, "Again"), "");
  ASSERT_EQ(p.FolderCalls().size(), 2u);
  EXPECT_EQ(p.FolderCalls()[1].title, "Again");
}

TEST(ScriptedPlatform, DoEventsCountsAndRunsTheHook) {
  ScriptedPlatform p;
  std::vector<int> seen;
  p.SetDoEventsHook([&](int n) { seen.push_back(n); });
  p.DoEvents();
  p.DoEvents();
  p.DoEvents();
  EXPECT_EQ(p.DoEventsCount(), 3);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}

TEST(ScriptedPlatform, RecordsPointerChanges) {
  ScriptedPlatform p;
  p.SetMousePointer(kPointerBusy);
  EXPECT_EQ(p.MousePointer(), kPointerBusy);
  p.SetMousePointer(kPointerDefault);
  EXPECT_EQ(p.PointerChanges(), (std::vector<int>{kPointerBusy, kPointerDefault}));
}

TEST(ScriptedPlatform, AfterTheEndEveryCallThrowsProgramEnding) {
  ScriptedPlatform p;
  p.EndProgram(0);
  p.EndProgram(3);  // only the first end counts
  EXPECT_TRUE(p.Ended());
  EXPECT_EQ(p.QuitCount(), 1);
  EXPECT_EQ(p.ExitCode(), 0);
  EXPECT_THROW(p.DoEvents(), ProgramEnding);
  EXPECT_THROW(p.MsgBox("x", 0, ""), ProgramEnding);
  EXPECT_THROW(p.ChooseFolder(nullptr, "t"), ProgramEnding);
  EXPECT_THROW(p.ShowOpen(nullptr, OpenFileRequest{}), ProgramEnding);
  EXPECT_THROW(p.SetMousePointer(0), ProgramEnding);
  EXPECT_TRUE(p.Boxes().empty());
}

TEST(ScriptedPlatform, EndingInsideTheHookStopsTheYieldingCaller) {
  ScriptedPlatform p;
  p.SetDoEventsHook([&](int n) {
    if (n == 2) p.EndProgram(0);
  });
  int steps = 0;
  try {
    for (int i = 0; i < 5; ++i) {
      p.DoEvents();
      ++steps;
    }
  } catch (const ProgramEnding&) {
  }
  EXPECT_EQ(steps, 1);
}

}  // namespace
}  // namespace verdaline

// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/event_guard.h"

#include <gtest/gtest.h>

#include "platform/scripted_platform.h"
#include "platform/vb_error.h"

namespace verdaline {
namespace {

TEST(EventGuard, UntrappedErrorShowsNumberAndTextThenEnds) {
  ScriptedPlatform p;
  bool after = false;
  RunGuarded(p, [&] {
    RaiseSubscript();
    after = true;
  });
  EXPECT_FALSE(after);
  ASSERT_EQ(p.Boxes().size(), 1u);
  EXPECT_EQ(p.Boxes()[0].text, "9:Subscript out of range");
  EXPECT_EQ(p.Boxes()[0].style, mb::kCritical);
  EXPECT_EQ(p.Boxes()[0].title, "Verdaline");
  EXPECT_TRUE(p.Ended());
  EXPECT_EQ(p.ExitCode(), kExitUntrappedError);
}

TEST(EventGuard, OtherExceptionsAreReportedAsNumberedErrors) {
  ScriptedPlatform p;
  RunGuarded(p, [] { throw std::runtime_error("boom"); });
  ASSERT_EQ(p.Boxes().size(), 1u);
  EXPECT_EQ(p.Boxes()[0].text, "51:Internal error: boom");
  EXPECT_TRUE(p.Ended());

  ScriptedPlatform q;
  RunGuarded(q, [] { throw std::bad_alloc(); });
  ASSERT_EQ(q.Boxes().size(), 1u);
  EXPECT_EQ(q.Boxes()[0].text, "7:Out of memory");

  ScriptedPlatform r;
  RunGuarded(r, [] { throw 42; });
  ASSERT_EQ(r.Boxes().size(), 1u);
  EXPECT_TRUE(r.Ended());
}

TEST(EventGuard, TheWindowClosingStopsTheHandlerSilently) {
  ScriptedPlatform p;
  p.SetDoEventsHook([&](int n) {
    if (n == 3) p.EndProgram(0);
  });
  int done = 0;
  RunGuarded(p, [&] {
    for (int i = 0; i < 10; ++i) {
      p.DoEvents();
      ++done;
    }
  });
  EXPECT_EQ(done, 2);
  EXPECT_TRUE(p.Boxes().empty());
  EXPECT_EQ(p.ExitCode(), 0);
}

TEST(EventGuard, NoHandlerRunsOnceTheProgramIsEnding) {
  ScriptedPlatform p;
  p.EndProgram(0);
  bool ran = false;
  RunGuarded(p, [&] { ran = true; });
  EXPECT_FALSE(ran);
}

TEST(EventGuard, AHandlerThatSucceedsLeavesTheProgramRunning) {
  ScriptedPlatform p;
  bool ran = false;
  RunGuarded(p, [&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_FALSE(p.Ended());
  RunGuarded(p, nullptr);  // an empty handler is nothing to run
  EXPECT_FALSE(p.Ended());
}

}  // namespace
}  // namespace verdaline

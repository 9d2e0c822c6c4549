// SPDX-License-Identifier: GPL-3.0-or-later
// The end of the program with the real Qt platform: closing the window while
// a command is yielding leaves the event loop and stops the command.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTimer>

#include "platform/qt_platform.h"
#include "platform/qt_test_app.h"
#include "shell/frm_step1.h"

namespace verdaline {
namespace {

TEST(QtEnding, ClosingDuringAYieldingCommandLeavesTheEventLoop) {
  testing::EnsureQtApp();
  QtPlatform platform;
  frmStep1 window(platform);
  window.show();
  int added = 0;
  bool finished = false;
  window.onCmdAddFolderClick = [&] {
    for (int i = 0; i < 1000000; ++i) {
      platform.DoEvents();
      window.AddFileRow(QStringLiteral("/mail/%1.eml").arg(i));
      ++added;
    }
    finished = true;
  };
  QTimer::singleShot(0, &window, [&] { window.findChild<QPushButton*>("CmdAddFolder")->click(); });
  QTimer::singleShot(100, &window, [&] { window.close(); });
  // A watchdog, so a loop that does not end fails instead of hanging.
  QTimer::singleShot(20000, &window, [] { QCoreApplication::exit(99); });
  const int code = QCoreApplication::exec();
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(platform.IsEnding());
  EXPECT_FALSE(finished);
  EXPECT_GT(added, 0);
  EXPECT_FALSE(window.isVisible());
  // Nothing more is added once the window is gone.
  const int before = added;
  QCoreApplication::processEvents();
  EXPECT_EQ(added, before);
}

}  // namespace
}  // namespace verdaline

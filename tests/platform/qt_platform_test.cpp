// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt_platform.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCursor>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTimer>

#include "platform/qt_test_app.h"

namespace verdaline {
namespace {

using testing::EnsureQtApp;

QString Nul() { return QString(QChar(0)); }

TEST(QtFilterFromPipes, TurnsPipePairsIntoQtFilters) {
  EXPECT_EQ(QtFilterFromPipes("Email Messages (*.eml)|*.eml"), "Email Messages (*.eml)");
  EXPECT_EQ(QtFilterFromPipes("Mail|*.eml;*.msg|All|*.*"), "Mail (*.eml *.msg);;All (*.*)");
  EXPECT_EQ(QtFilterFromPipes(""), "");
  EXPECT_EQ(QtFilterFromPipes("dangling"), "");
}

TEST(JoinOpenResult, GivesTheExplorerStyleResult) {
  EXPECT_EQ(JoinOpenResult({}), "");
  EXPECT_EQ(JoinOpenResult({"/home/u/mail/a.eml"}), "/home/u/mail/a.eml");
  EXPECT_EQ(JoinOpenResult({"/home/u/mail/a.eml", "/home/u/mail/b.eml"}),
            "/home/u/mail" + Nul() + "a.eml" + Nul() + "b.eml");
  // Files in the root folder, and files from different folders: the folder is
  // the root and every name joined to it is still the full path.
  EXPECT_EQ(JoinOpenResult({"/a.eml", "/b.eml"}), "/" + Nul() + "a.eml" + Nul() + "b.eml");
  EXPECT_EQ(JoinOpenResult({"/x/a.eml", "/y/z/b.eml"}), "/" + Nul() + "x/a.eml" + Nul() + "y/z/b.eml");
}

// Presses the button with the given role in the message box that is about to open.
void PressInNextBox(QMessageBox::StandardButton which, QMessageBox::Icon* icon = nullptr,
                    QMessageBox::StandardButtons* buttons = nullptr, QString* title = nullptr) {
  QTimer::singleShot(0, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    if (icon) *icon = box->icon();
    if (buttons) *buttons = box->standardButtons();
    if (title) *title = box->windowTitle();
    box->button(which)->click();
  });
}

TEST(QtPlatform, MessageBoxMapsStyleWordToButtonsIconAndResult) {
  EnsureQtApp();
  QtPlatform p;
  QMessageBox::Icon icon{};
  QMessageBox::StandardButtons buttons;
  QString title;
  PressInNextBox(QMessageBox::Yes, &icon, &buttons, &title);
  EXPECT_EQ(p.MsgBox("Are you sure?", 36, ""), mb::kYes);
  EXPECT_EQ(icon, QMessageBox::Question);
  EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(title, "Verdaline");

  PressInNextBox(QMessageBox::No);
  EXPECT_EQ(p.MsgBox("Again?", 36, "Verdaline"), mb::kNo);

  PressInNextBox(QMessageBox::Ok, &icon, &buttons, &title);
  EXPECT_EQ(p.MsgBox("Careful", 48, "Other"), mb::kOk);
  EXPECT_EQ(icon, QMessageBox::Warning);
  EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(title, "Other");

  PressInNextBox(QMessageBox::Ok, &icon);
  EXPECT_EQ(p.MsgBox("Plain", 0, ""), mb::kOk);
  EXPECT_EQ(icon, QMessageBox::NoIcon);

  PressInNextBox(QMessageBox::Cancel, &icon);
  EXPECT_EQ(p.MsgBox("Stop", mb::kOkCancel | mb::kCritical, ""), mb::kCancel);
  EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(QtPlatform, DoEventsRunsWaitingEvents) {
  EnsureQtApp();
  QtPlatform p;
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  QMetaObject::invokeMethod(qApp, [&] { ran = true; }, Qt::QueuedConnection);
  p.DoEvents();
  EXPECT_TRUE(ran);
}

TEST(QtPlatform, BusyPointerIsTheWaitCursorUntilRestored) {
  EnsureQtApp();
  QtPlatform p;
  ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
  p.SetMousePointer(kPointerBusy);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  p.SetMousePointer(kPointerBusy);  // twice busy still needs one restore
  p.SetMousePointer(kPointerDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  p.SetMousePointer(kPointerDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(QtPlatform, EndingRestoresThePointerAndStopsLaterCalls) {
  EnsureQtApp();
  QtPlatform p;
  p.SetMousePointer(kPointerBusy);
  p.EndProgram(0);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_THROW(p.DoEvents(), ProgramEnding);
  EXPECT_THROW(p.MsgBox("x", 0, ""), ProgramEnding);
  // Let the pending exit request of the event loop go by harmlessly.
  QCoreApplication::processEvents();
}

}  // namespace
}  // namespace verdaline

// SPDX-License-Identifier: GPL-3.0-or-later
// The Platform of the running program, over Qt: QMessageBox, QFileDialog,
// QCoreApplication::processEvents and the application's override cursor.
#pragma once

#include "platform/platform.h"

namespace verdaline {

class QtPlatform : public Platform {
 public:
  int MsgBox(const QString& text, int style, const QString& title) override;
  QString ShowOpen(QWidget* owner, const OpenFileRequest& request) override;
  QString ChooseFolder(QWidget* owner, const QString& title) override;
  void DoEvents() override;
  void SetMousePointer(int pointer) override;

 protected:
  // Leaves the Qt event loop (and any nested one), so that QApplication::exec
  // returns and main ends the process.
  void Quit(int exitCode) override;

 private:
  bool busyPointer_ = false;
};

// Helpers of QtPlatform, kept apart so tests can check them without a dialog.

// "Desc|*.a;*.b|Desc2|*.c" -> the Qt filter list "Desc (*.a *.b);;Desc2 (*.c)".
// A description that already ends with its pattern in brackets is kept as is.
QString QtFilterFromPipes(const QString& filter);

// The explorer-style result for the files a dialog returned: "" for none, the
// path itself for one, else the folder, NUL, name, NUL, name... Names from
// different folders are given relative to the root folder, so that the
// folder joined with each name is still its full path.
QString JoinOpenResult(const QStringList& nativePaths);

}  // namespace verdaline

// SPDX-License-Identifier: GPL-3.0-or-later
// The one small interface between the program and the desktop: message
// boxes, the two file dialogs, the event pump and the screen's mouse pointer.
// The window and every command reach the desktop only through it, so tests
// drive the real window with a scripted implementation (scripted_platform.h)
// and the program runs with the Qt one (qt_platform.h).
#pragma once

#include <QString>

class QWidget;

namespace verdaline {

// Message box style words and results, as the program's callers spell them.
namespace mb {
inline constexpr int kOkOnly = 0;
inline constexpr int kOkCancel = 1;
inline constexpr int kAbortRetryIgnore = 2;
inline constexpr int kYesNoCancel = 3;
inline constexpr int kYesNo = 4;
inline constexpr int kRetryCancel = 5;
inline constexpr int kCritical = 16;
inline constexpr int kQuestion = 32;
inline constexpr int kExclamation = 48;
inline constexpr int kInformation = 64;
inline constexpr int kButtonsMask = 0x7;
inline constexpr int kIconMask = 0x70;
inline constexpr int kDefaultButtonMask = 0x300;  // 0: first, 0x100: second, 0x200: third
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kAbort = 3;
inline constexpr int kRetry = 4;
inline constexpr int kIgnore = 5;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
}  // namespace mb

inline const QString kAppTitle = QStringLiteral("Verdaline");

// Screen mouse pointer values.
inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerBusy = 11;

// The open-file dialog's settings, as the add-files command sets them.
struct OpenFileRequest {
  QString fileName;    // initial name
  QString filter;      // "Description|pattern|Description|pattern..."
  int flags = 0;       // 0x200: several files may be chosen; 0x80000: explorer style
  int maxFileSize = 0; // size of the result the caller allows for (characters)
};

// Thrown by the platform once the program is ending (the window was closed):
// it unwinds whatever command was running back to the event guard, which lets
// it pass silently. It is deliberately not a std::exception, so that a
// "skip this step and go on" catch of std::exception never stops it; a
// catch (...) that goes on must rethrow it.
struct ProgramEnding {};

class Platform {
 public:
  virtual ~Platform() = default;

  // Ends the program at once: marks the platform as ending and asks the
  // desktop to leave the event loop (Quit). From then on every call below
  // throws ProgramEnding instead of doing anything, so a command that is in
  // the middle of its work stops at its next message box, dialog or yield.
  // Calling it again does nothing.
  void EndProgram(int exitCode) {
    if (ending_) return;
    ending_ = true;
    exitCode_ = exitCode;
    Quit(exitCode);
  }
  bool IsEnding() const { return ending_; }
  int ExitCode() const { return exitCode_; }
  // Throws ProgramEnding when the program is ending.
  void ThrowIfEnding() const {
    if (ending_) throw ProgramEnding{};
  }

  // Shows a modal message box; returns the button pressed (mb::kOk, kYes, kNo...).
  // An empty title stands for the application title.
  virtual int MsgBox(const QString& text, int style, const QString& title) = 0;

  // The open-file dialog. Returns "" on cancel, the full path of one chosen
  // file, or the folder followed by each chosen name, all separated by NUL
  // characters (the explorer-style multiple-selection result).
  virtual QString ShowOpen(QWidget* owner, const OpenFileRequest& request) = 0;

  // The folder dialog: the chosen folder as the desktop gives it, or "" when
  // the user cancels. Callers use BrowseForFolder (registry.h), which tidies it.
  virtual QString ChooseFolder(QWidget* owner, const QString& title) = 0;

  // Processes the window events that are waiting, then returns. Throws
  // ProgramEnding when the window was closed meanwhile.
  virtual void DoEvents() = 0;

  // Sets the mouse pointer for the whole screen (kPointerBusy, kPointerDefault).
  virtual void SetMousePointer(int pointer) = 0;

 protected:
  // What ending means on this desktop: QtPlatform leaves the Qt event loop;
  // ScriptedPlatform only records it, so tests can check that the program
  // ended without the test process exiting.
  virtual void Quit(int /*exitCode*/) {}

 private:
  bool ending_ = false;
  int exitCode_ = 0;
};

}  // namespace verdaline

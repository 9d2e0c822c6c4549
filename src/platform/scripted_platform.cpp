// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/scripted_platform.h"

namespace verdaline {

namespace {

// The answer a box gives when the test queued none: the safe choice.
int DefaultAnswer(int style) {
  switch (style & mb::kButtonsMask) {
    case mb::kOkCancel: return mb::kCancel;
    case mb::kAbortRetryIgnore: return mb::kAbort;
    case mb::kYesNoCancel: return mb::kCancel;
    case mb::kYesNo: return mb::kNo;
    case mb::kRetryCancel: return mb::kCancel;
    default: return mb::kOk;
  }
}

}  // namespace

int ScriptedPlatform::MsgBox(const QString& text, int style, const QString& title) {
  ThrowIfEnding();
  Box box{text, style, title.isEmpty() ? kAppTitle : title, 0};
  if (msgBoxHook_) msgBoxHook_(box);
  ThrowIfEnding();
  if (answers_.empty()) {
    if ((style & mb::kButtonsMask) != mb::kOkOnly) ++unanswered_;
    box.answer = DefaultAnswer(style);
  } else {
    box.answer = answers_.front();
    answers_.pop_front();
  }
  boxes_.push_back(box);
  return box.answer;
}

QString ScriptedPlatform::ShowOpen(QWidget* owner, const OpenFileRequest& request) {
  ThrowIfEnding();
  openCalls_.push_back(OpenCall{owner, request});
  if (openResults_.empty()) return QString();  // cancelled
  OpenResult next = openResults_.front();
  openResults_.pop_front();
  if (next.error) throw *next.error;
  return next.result;
}

QString ScriptedPlatform::ChooseFolder(QWidget* owner, const QString& title) {
  ThrowIfEnding();
  folderCalls_.push_back(FolderCall{owner, title});
  if (folders_.empty()) return QString();  // cancelled
  QString folder = folders_.front();
  folders_.pop_front();
  return folder;
}

void ScriptedPlatform::DoEvents() {
  ThrowIfEnding();
  ++doEventsCount_;
  if (doEventsHook_) doEventsHook_(doEventsCount_);
  ThrowIfEnding();
}

void ScriptedPlatform::SetMousePointer(int pointer) {
  ThrowIfEnding();
  pointer_ = pointer;
  pointerChanges_.push_back(pointer);
}

void ScriptedPlatform::Quit(int /*exitCode*/) { ++quitCount_; }

}  // namespace verdaline

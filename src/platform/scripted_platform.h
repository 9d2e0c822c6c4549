// SPDX-License-Identifier: GPL-3.0-or-later
// A Platform for tests: it shows nothing and waits for nobody. Every message
// box is recorded and answered from a queue; the open-file and folder dialogs
// answer from queues (an open dialog may also be told to raise an error);
// DoEvents is counted and can run a hook, so a test can click a button or
// close the window in the middle of a long command; mouse pointer changes and
// the end of the program are recorded.
#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "platform/platform.h"
#include "platform/vb_error.h"

namespace verdaline {

class ScriptedPlatform : public Platform {
 public:
  struct Box {
    QString text;
    int style = 0;
    QString title;  // as shown: an empty title becomes the application title
    int answer = 0;
  };
  struct OpenCall {
    QWidget* owner = nullptr;
    OpenFileRequest request;
  };
  struct FolderCall {
    QWidget* owner = nullptr;
    QString title;
  };

  // Answers, used first in first out.
  void QueueAnswer(int button) { answers_.push_back(button); }
  void QueueOpenResult(const QString& result) { openResults_.push_back(OpenResult{result, std::nullopt}); }
  void QueueOpenError(const VbError& error) { openResults_.push_back(OpenResult{QString(), error}); }
  void QueueFolder(const QString& folder) { folders_.push_back(folder); }

  // Runs on every DoEvents call, after the count went up; its argument is the
  // new count (1 for the first call).
  void SetDoEventsHook(std::function<void(int)> hook) { doEventsHook_ = std::move(hook); }
  // Runs inside every MsgBox call, before the answer is taken.
  void SetMsgBoxHook(std::function<void(const Box&)> hook) { msgBoxHook_ = std::move(hook); }

  // Platform
  int MsgBox(const QString& text, int style, const QString& title) override;
  QString ShowOpen(QWidget* owner, const OpenFileRequest& request) override;
  QString ChooseFolder(QWidget* owner, const QString& title) override;
  void DoEvents() override;
  void SetMousePointer(int pointer) override;

  // What happened.
  const std::vector<Box>& Boxes() const { return boxes_; }
  const std::vector<OpenCall>& OpenCalls() const { return openCalls_; }
  const std::vector<FolderCall>& FolderCalls() const { return folderCalls_; }
  int DoEventsCount() const { return doEventsCount_; }
  const std::vector<int>& PointerChanges() const { return pointerChanges_; }
  int MousePointer() const { return pointer_; }
  bool Ended() const { return quitCount_ > 0; }
  int QuitCount() const { return quitCount_; }
  // Questions asked with no answer queued: they were answered No (Yes/No
  // boxes) or with the first button, and counted here so a test notices.
  int UnansweredBoxes() const { return unanswered_; }
  size_t PendingAnswers() const { return answers_.size(); }

 protected:
  void Quit(int exitCode) override;

 private:
  struct OpenResult {
    QString result;
    std::optional<VbError> error;
  };
  std::deque<int> answers_;
  std::deque<OpenResult> openResults_;
  std::deque<QString> folders_;
  std::function<void(int)> doEventsHook_;
  std::function<void(const Box&)> msgBoxHook_;
  std::vector<Box> boxes_;
  std::vector<OpenCall> openCalls_;
  std::vector<FolderCall> folderCalls_;
  std::vector<int> pointerChanges_;
  int doEventsCount_ = 0;
  int pointer_ = kPointerDefault;
  int quitCount_ = 0;
  int unanswered_ = 0;
};

}  // namespace verdaline

// SPDX-License-Identifier: GPL-3.0-or-later
// The window's open-file dialog object: not a widget, only the settings the
// add-files command gives it (FileName, Filter, Flags, MaxFileSize) and
// ShowOpen, which asks the Platform for the dialog and leaves the result in
// FileName. Each setting keeps its value between uses, as the control did.
#pragma once

#include <QString>

#include "platform/platform.h"

namespace verdaline {

class CommonDialog {
 public:
  CommonDialog(Platform& platform, QWidget* owner) : platform_(platform), owner_(owner) {}

  const QString& FileName() const { return request_.fileName; }
  void SetFileName(const QString& name) { request_.fileName = name; }
  const QString& Filter() const { return request_.filter; }
  void SetFilter(const QString& filter) { request_.filter = filter; }
  int Flags() const { return request_.flags; }
  void SetFlags(int flags) { request_.flags = flags; }
  int MaxFileSize() const { return request_.maxFileSize; }
  void SetMaxFileSize(int size) { request_.maxFileSize = size; }

  // Shows the modal open dialog; afterwards FileName holds "" (cancelled),
  // one full path, or folder NUL name NUL name... Errors of the dialog
  // (a VbError) pass to the caller.
  void ShowOpen() { request_.fileName = platform_.ShowOpen(owner_, request_); }

 private:
  Platform& platform_;
  QWidget* owner_;
  OpenFileRequest request_;
};

}  // namespace verdaline

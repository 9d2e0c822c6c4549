// SPDX-License-Identifier: GPL-3.0-or-later
// A fresh main window over a ScriptedPlatform, with its controls at hand by name.
#pragma once

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <memory>

#include "platform/qt_test_app.h"
#include "platform/scripted_platform.h"
#include "shell/frm_step1.h"
#include "shell/vb_progress_bar.h"

namespace verdaline::testing {

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureQtApp(); }
  void SetUp() override { window_ = std::make_unique<frmStep1>(platform_); }

  frmStep1& window() { return *window_; }

  template <typename T = QWidget>
  T* Control(const char* name) {
    T* w = window_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QPushButton* Button(const char* name) { return Control<QPushButton>(name); }
  QString Caption(const char* label) { return Control<QLabel>(label)->text(); }
  std::vector<QString> Rows() {
    std::vector<QString> out;
    for (int r = 0; r < window_->grdFiles1().Rows(); ++r) out.push_back(window_->grdFiles1().CellText(r, 0));
    return out;
  }

  ScriptedPlatform platform_;
  std::unique_ptr<frmStep1> window_;
};

}  // namespace verdaline::testing

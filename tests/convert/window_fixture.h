// SPDX-License-Identifier: GPL-3.0-or-later
// The real window, offscreen, answered by the scripted platform, with the
// mail library writing into a fake store and importing through a fake
// importer: the conversion run end to end without any file format.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <filesystem>

#include "engine/conversion_engine.h"
#include "mapi/mapi_error.h"
#include "mapi/fake_pst_writer.h"
#include "mapi/rdo_session.h"
#include "mapi/temp_dir.h"
#include "mime/importer.h"
#include "platform/scripted_platform.h"
#include "pst/prop_tags.h"
#include "shell/frm_step1.h"
#include "shell/vb_progress_bar.h"

namespace verdaline::testing {

// Made once and never destroyed: destroying it during exit runs after Qt's
// own per-thread data is gone.
inline QApplication& App() {
  static int argc = 1;
  static char arg0[] = "convert_tests";
  static char* argv[] = {arg0, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

class WindowRunTest : public ::testing::Test {
 protected:
  WindowRunTest() {
    App();
    window = std::make_unique<frmStep1>(platform);
    deps.writer = factory.Writer();
    deps.now = [this] { return clock; };
    // "bad" files cannot be imported; "att" files have an attachment.
    deps.importer = [](const std::string& path, pst::Message& out) {
      if (path.find("bad") != std::string::npos) throw mime::ImportError("the file has no header section");
      out.props.Set(pst::tags::kMessageClass, std::string("IPM.Note"));
      out.props.Set(pst::tags::kSubject, path);
      if (path.find("att") != std::string::npos) out.attachments.emplace_back();
    };
  }
  // Session creation fails as when the mail library is not installed.
  void SessionClassUnavailable() {
    deps.session = [](const mapi::SessionOptions&) -> std::unique_ptr<mapi::RDOSession> {
      throw mapi::MapiError(mapi::hr::kClassNotRegistered, "Class not registered (Redemption.RDOSession).");
    };
  }

  void AddRows(const std::vector<QString>& paths) {
    for (const auto& p : paths) window->AddFileRow(p);
    window->CmdExtractDBX().setEnabled(true);
  }
  // Presses "Convert &Messages", answering the folder dialog with folder.
  void Convert(const QString& folder) {
    platform.QueueFolder(folder);
    window->SetEngineDeps(deps);
    window->CmdExtractDBX().click();
  }
  QPushButton* Button(const char* name) { return window->findChild<QPushButton*>(QString::fromLatin1(name)); }
  QString Frame() { return window->FrameConversion().title(); }
  QString Label() { return window->LblCurrentDBX().text(); }
  float Bar() { return window->ProgressBar1().Value(); }

  // Subjects of the stored messages by folder path.
  std::map<std::string, std::vector<std::string>> Messages(const fake::Store& s) const {
    std::map<std::string, std::vector<std::string>> out;
    for (const auto& [nid, m] : s.messages)
      out[s.PathOf(nid)].push_back(m.props.GetString(pst::TagId(pst::tags::kSubject)).value_or("(none)"));
    return out;
  }

  fake::Factory factory;
  EngineDeps deps;  // what the window's runs are given, at each Convert
  testutil::TempDir outDir;
  ScriptedPlatform platform;
  std::unique_ptr<frmStep1> window;
  QDateTime clock{QDate(2026, 12, 6), QTime(7, 5, 3)};
};

}  // namespace verdaline::testing

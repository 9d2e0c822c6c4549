// SPDX-License-Identifier: GPL-3.0-or-later
// Starts the one window and runs until it is closed.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/qt_platform.h"
#include "platform/stop_signals.h"
#include "shell/frm_step1.h"

namespace {

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// Without a desktop Qt aborts with a message about platform plugins; say
// instead what is missing and what converts without one. A platform named
// outright (QT_QPA_PLATFORM=offscreen, -platform) is Qt's to start.
bool DesktopReachable(int argc, char* argv[]) {
  if (Set("QT_QPA_PLATFORM") || Set("DISPLAY") || Set("WAYLAND_DISPLAY")) return true;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) return true;
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!DesktopReachable(argc, argv)) {
    std::fputs(
        "verdaline: no desktop to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
        "To convert mail without a desktop, use verdaline-convert (see verdaline-convert --help).\n",
        stderr);
    return 1;
  }
  // The same look on every desktop: Fusion stands in for the themed controls.
  QApplication::setStyle(QStringLiteral("Fusion"));
  QApplication app(argc, argv);
  QApplication::setApplicationName(verdaline::kAppTitle);
  verdaline::QtPlatform platform;
  verdaline::frmStep1 window(platform);
  // A stop request from outside ends the program as the close box does.
  verdaline::StopSignals stop([&platform](int signo) { platform.EndProgram(128 + signo); });
  window.show();
  if (platform.IsEnding()) return platform.ExitCode();
  const int code = QApplication::exec();
  return platform.IsEnding() ? platform.ExitCode() : code;
}

// Starts the one window and runs until it is closed.
#include <QApplication>

#include "platform/qt_platform.h"
#include "platform/stop_signals.h"
#include "shell/frm_step1.h"

int main(int argc, char* argv[]) {
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

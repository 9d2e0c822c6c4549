// SPDX-License-Identifier: GPL-3.0-or-later
// verdaline-headless: the real window, offscreen, driven from the command
// line with the scripted platform answering every dialog and message box.
//
//   verdaline-headless [--add-folder DIR] [--add-files FILE...] ... --convert-to OUTDIR
//
// The add options run the window's own commands, in the order given; then
// "Convert &Messages" runs with OUTDIR chosen in the folder dialog. It prints
// every message box it answered, the window's captions and bars at the end,
// and "pst: PATH" for the file the run created. Exit status 0 when the run
// completed (a file was created, the run was not refused and the file did
// not fail), 1 otherwise, 2 for a usage error.
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/file_names.h"
#include "platform/scripted_platform.h"
#include "platform/stop_signals.h"
#include "shell/frm_step1.h"
#include "shell/vb_progress_bar.h"

namespace {

using verdaline::ScriptedPlatform;

struct Step {
  enum Kind { kFolder, kFiles } kind;
  std::vector<QString> args;
};

constexpr const char* kUsage =
    "usage: verdaline-headless [--add-folder DIR] [--add-files FILE...] ... --convert-to OUTDIR\n";

int Usage(const char* why) {
  std::fprintf(stderr, "verdaline-headless: %s\n", why);
  std::fputs(kUsage, stderr);
  return 2;
}

// A folder given relative to the current one, as a full path: the folder
// dialog of the window only ever answers with full paths.
QString Absolute(const QString& path) { return QDir::cleanPath(QDir::current().absoluteFilePath(path)); }

QString OneLine(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\\r\\n"));
  text.replace(u'\n', QStringLiteral("\\n"));
  return text;
}

void Print(const QString& line) { std::printf("%s\n", line.toLocal8Bit().constData()); }

QSet<QString> PstFilesIn(const QString& dir) {
  QSet<QString> out;
  for (const QString& name : QDir(dir).entryList({QStringLiteral("*.pst")}, QDir::Files)) out.insert(name);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

  std::vector<Step> steps;
  QString outDir;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--add-folder") {
      if (++i >= argc) return Usage("--add-folder needs a folder");
      steps.push_back({Step::kFolder, {Absolute(verdaline::DecodeFileName(argv[i]))}});
    } else if (arg == "--add-files") {
      Step step{Step::kFiles, {}};
      while (i + 1 < argc && std::string(argv[i + 1]).rfind("--", 0) != 0)
        step.args.push_back(verdaline::DecodeFileName(argv[++i]));
      if (step.args.empty()) return Usage("--add-files needs at least one file");
      steps.push_back(step);
    } else if (arg == "--convert-to") {
      if (++i >= argc) return Usage("--convert-to needs a folder");
      outDir = verdaline::DecodeFileName(argv[i]);
    } else {
      return Usage(("unknown argument " + arg).c_str());
    }
  }
  if (outDir.isEmpty()) return Usage("--convert-to is required");

  QApplication app(argc, argv);
  ScriptedPlatform platform;
  size_t boxesPrinted = 0;
  auto printBoxes = [&] {
    for (; boxesPrinted < platform.Boxes().size(); ++boxesPrinted) {
      const auto& b = platform.Boxes()[boxesPrinted];
      Print(QStringLiteral("msgbox: style=%1 title=\"%2\" text=\"%3\"").arg(b.style).arg(b.title, OneLine(b.text)));
    }
  };

  verdaline::frmStep1 window(platform);
  // SIGTERM and SIGINT stop the commands as closing the window does; the
  // scripted platform runs no event loop, so every yield asks.
  verdaline::StopSignals stop([&platform](int signo) {
    std::fprintf(stderr, "verdaline-headless: stopped by signal %d\n", signo);
    platform.EndProgram(128 + signo);
  });
  platform.SetDoEventsHook([&stop](int) { stop.Poll(); });
  window.show();
  auto button = [&](const char* name) { return window.findChild<QPushButton*>(QString::fromLatin1(name)); };

  for (const Step& step : steps) {
    if (step.kind == Step::kFolder) {
      platform.QueueFolder(step.args[0]);
      button("CmdAddFolder")->click();
    } else {
      // One open dialog per file: files may come from different folders.
      for (const QString& file : step.args) {
        platform.QueueOpenResult(Absolute(file));
        button("cmdAdd")->click();
      }
    }
    printBoxes();
    if (stop.Poll() != 0) return 128 + stop.Poll();
    if (platform.Ended()) return 1;
  }
  Print(QStringLiteral("list: %1").arg(window.lblCount1().text()));

  const QString absOut = Absolute(outDir);
  const QSet<QString> before = PstFilesIn(absOut);
  const size_t boxesBefore = platform.Boxes().size();
  if (!window.CmdExtractDBX().isEnabled()) {
    Print(QStringLiteral("convert: the button is disabled"));
    return 1;
  }
  platform.QueueFolder(absOut);
  window.CmdExtractDBX().click();
  printBoxes();

  Print(QStringLiteral("frame: %1").arg(window.FrameConversion().title()));
  Print(QStringLiteral("label: %1").arg(window.LblCurrentDBX().text()));
  Print(QStringLiteral("bar1: %1").arg(static_cast<double>(window.ProgressBar1().Value())));
  Print(QStringLiteral("bar2: %1").arg(static_cast<double>(window.ProgressBar2().Value())));
  Print(QStringLiteral("convert-enabled: %1").arg(window.CmdExtractDBX().isEnabled() ? 1 : 0));

  QStringList created;
  for (const QString& name : PstFilesIn(absOut))
    if (!before.contains(name)) created << absOut + u'/' + name;
  created.sort();
  for (const QString& path : created) Print(QStringLiteral("pst: %1").arg(path));

  bool refused = false;
  for (size_t i = boxesBefore; i < platform.Boxes().size(); ++i) {
    const auto& b = platform.Boxes()[i];
    // The session error, and a list that could not be converted at all.
    if (b.title == QStringLiteral("Outlook Error") || b.text.startsWith(QStringLiteral("Nothing was converted")) ||
        b.text.startsWith(QStringLiteral("There are no message files")))
      refused = true;
    // The critical icon: the file itself failed (a full disk, the file or
    // its folder removed).
    if ((b.style & 0x70) == verdaline::mb::kCritical) refused = true;
  }
  std::fflush(stdout);
  if (stop.Poll() != 0) return 128 + stop.Poll();
  return (!created.isEmpty() && !refused && !platform.Ended()) ? 0 : 1;
}

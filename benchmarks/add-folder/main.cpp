// SPDX-License-Identifier: GPL-3.0-or-later
// bench-add-folder [files] [grid-files]: creates a folder of empty message
// files (100,000 by default), then times the walker alone and the add-folder
// command, which pumps the real Qt event queue before every path and every
// add, over a plain list; then the command over the window's grid, shown,
// with a second folder of grid-files (as many as files by default). Exits 1
// when a run does not add every file or does not pump the expected number of
// times.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include "platform/flex_grid_view.h"
#include "platform/platform.h"
#include "sources/message_file_list.h"
#include "sources/path_logger.h"
#include "sources/source_commands.h"

namespace {

using namespace verdaline;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Pumps Qt's real event queue; boxes are recorded, not shown.
class PumpingPlatform : public Platform {
 public:
  int MsgBox(const QString& text, int, const QString&) override {
    lastBox = text;
    return mb::kOk;
  }
  QString ShowOpen(QWidget*, const OpenFileRequest&) override { return QString(); }
  QString ChooseFolder(QWidget*, const QString&) override { return folder; }
  void DoEvents() override {
    ++pumps;
    QCoreApplication::processEvents();
  }
  void SetMousePointer(int) override {}

  QString folder;
  QString lastBox;
  long pumps = 0;
};

// Fills `folder` with `count` empty .eml files.
bool MakeFiles(const QString& folder, long count) {
  if (!QDir().mkpath(folder)) return false;
  for (long i = 0; i < count; ++i) {
    const QByteArray name =
        QFile::encodeName(folder + QStringLiteral("/message%1.eml").arg(i, 6, 10, QChar(u'0')));
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    ::close(fd);
  }
  return true;
}

bool Check(bool ok, const char* what) {
  if (!ok) std::printf("  FAILED: %s\n", what);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const long files = argc > 1 ? std::atol(argv[1]) : 100000;
  const long gridFiles = argc > 2 ? std::atol(argv[2]) : files;

  QTemporaryDir temp;
  if (!temp.isValid()) return 2;
  const QString many = temp.path() + QStringLiteral("/many");
  const QString fewer = temp.path() + QStringLiteral("/fewer");
  auto start = Clock::now();
  if (!MakeFiles(many, files) || !MakeFiles(fewer, gridFiles)) return 2;
  std::printf("created %ld + %ld empty .eml files: %.2f s\n", files, gridFiles, SecondsSince(start));

  bool ok = true;
  start = Clock::now();
  {
    pathLogger walker;
    walker.PathLogInit();
    walker.LogPath(many);
    ok &= Check(walker.fullFileNames()->Count() == files, "walk found every file");
    walker.Terminate();
  }
  std::printf("walk only:                         %.2f s\n", SecondsSince(start));

  const QString expectedBox = QString::number(files) + QStringLiteral(" Files Added to List.");
  {
    PumpingPlatform platform;
    platform.folder = many;
    QStringList rows;
    start = Clock::now();
    CmdAddFolder_Click(SourceCommandContext{platform, nullptr,
                                            [&rows](const QString& p) { rows.push_back(p); },
                                            [](bool) {}});
    std::printf("add folder, plain list:            %.2f s (%ld event pumps)\n", SecondsSince(start),
                platform.pumps);
    ok &= Check(rows.size() == files, "every file added");
    ok &= Check(platform.pumps == 2 * files, "a pump before every path and every add");
    ok &= Check(platform.lastBox == expectedBox, "count message");
  }
  {
    PumpingPlatform platform;
    platform.folder = fewer;
    FlexGridView grid;
    grid.resize(600, 300);
    grid.show();
    QString caption;
    MessageFileList list(grid, [&caption](const QString& c) { caption = c; });
    start = Clock::now();
    CmdAddFolder_Click(SourceCommandContext{platform, nullptr,
                                            [&list](const QString& p) { list.AddFileRow(p); },
                                            [](bool) {}});
    const double seconds = SecondsSince(start);
    std::printf("add folder of %ld, the window's grid: %.2f s (%.2f ms a file, %ld event pumps)\n",
                gridFiles, seconds, gridFiles > 0 ? 1000.0 * seconds / static_cast<double>(gridFiles) : 0.0,
                platform.pumps);
    ok &= Check(grid.Rows() == (gridFiles > 0 ? gridFiles : 1), "every file in the grid");
    ok &= Check(caption == QString::number(gridFiles) + QStringLiteral(" files"), "count label");
    ok &= Check(platform.pumps == 2 * gridFiles, "a pump before every path and every add");
  }
  return ok ? 0 : 1;
}

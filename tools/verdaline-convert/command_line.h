// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of verdaline-convert: what the user asked for, or why the
// line cannot be taken.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

namespace verdaline::cli {

enum class ReportFormat { kNone, kJson, kTsv };

// Where a message goes in the store: under the folders its source gives it
// (a Maildir's folders, an mbox's name...), or, as the window does, under
// the folders of its file's path below the root of the file system.
enum class FolderMode { kSource, kPath };

// A --files-from list: its PATHs take the place of the option among the
// PATH arguments, so that the order of the command line is the order stored.
struct FileList {
  QString file;         // "-": standard input
  qsizetype before = 0;  // how many PATH arguments came before it
};

struct Options {
  QStringList paths;     // message files and folders, in the order given
  std::vector<FileList> fileLists;  // --files-from, in the order given
  QString outputFile;    // -o: exactly this .pst
  QString outputDir;     // -d: a clock-named .pst in this folder
  QString reportFile;    // --report
  QString storeName;     // --store-name: the store's display name ("" the clock's)
  QString foldersValue;  // --folders as given: "source" or "path"
  QString maxSizeValue;  // --max-size as given
  uint64_t maxFileSize = 0;  // --max-size in bytes; 0: the engine's default
  FolderMode folders = FolderMode::kSource;
  ReportFormat reportFormat = ReportFormat::kNone;
  bool quiet = false;
  bool nulSeparated = false;  // -0: the lists' PATHs end in NUL, not in a line break
  bool dryRun = false;
  bool verify = false;
  bool help = false;
  bool version = false;
};

struct ParsedCommandLine {
  Options options;
  QString error;  // not empty: the line is wrong (exit status 2)
};

// `arguments` without the program name.
ParsedCommandLine ParseCommandLine(const QStringList& arguments);

// Puts the PATHs of the --files-from lists in their places among the PATH
// arguments; `read(file)` gives a list's bytes or throws std::runtime_error
// with the cause. The error ("" when none): a list that cannot be read, or
// no PATH at all, given or listed.
QString ExpandFileLists(Options& options, const std::function<QByteArray(const QString&)>& read);

// A size as --max-size takes it: bytes, or a whole number with K, M, G or T
// (powers of 1024); false when the text is not one or it overflows.
bool ParseSize(const QString& text, uint64_t& bytes);

// One list's bytes as PATHs: lines (or NUL-ended names); empty ones are skipped.
QStringList SplitFileList(const QByteArray& bytes, bool nulSeparated);

QString UsageText();

}  // namespace verdaline::cli

// The command line of verdaline-convert: what the user asked for, or why the
// line cannot be taken.
#pragma once

#include <QString>
#include <QStringList>

namespace verdaline::cli {

enum class ReportFormat { kNone, kJson, kTsv };

// Where a message goes in the store: under the folders its source gives it
// (a Maildir's folders, an mbox's name...), or, as the window does, under
// the folders of its file's path below the root of the file system.
enum class FolderMode { kSource, kPath };

struct Options {
  QStringList paths;     // message files and folders, in the order given
  QString outputFile;    // -o: exactly this .pst
  QString outputDir;     // -d: a clock-named .pst in this folder
  QString reportFile;    // --report
  QString storeName;     // --store-name: the store's display name ("" the clock's)
  QString foldersValue;  // --folders as given: "source" or "path"
  FolderMode folders = FolderMode::kSource;
  ReportFormat reportFormat = ReportFormat::kNone;
  bool quiet = false;
  bool help = false;
  bool version = false;
};

struct ParsedCommandLine {
  Options options;
  QString error;  // not empty: the line is wrong (exit status 2)
};

// `arguments` without the program name.
ParsedCommandLine ParseCommandLine(const QStringList& arguments);

QString UsageText();

}  // namespace verdaline::cli

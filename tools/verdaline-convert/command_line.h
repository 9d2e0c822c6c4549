// The command line of verdaline-convert: what the user asked for, or why the
// line cannot be taken.
#pragma once

#include <QString>
#include <QStringList>

namespace verdaline::cli {

enum class ReportFormat { kNone, kJson, kTsv };

struct Options {
  QStringList paths;     // message files and folders, in the order given
  QString outputFile;    // -o: exactly this .pst
  QString outputDir;     // -d: a clock-named .pst in this folder
  QString reportFile;    // --report
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

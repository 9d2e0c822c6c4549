#include "command_line.h"

namespace verdaline::cli {
namespace {

// Options that take a value: the long name, the short letter (or none).
struct ValueOption {
  const char* longName;
  char shortName;
  QString Options::*field;
};

constexpr ValueOption kValueOptions[] = {
    {"output", 'o', &Options::outputFile},
    {"output-dir", 'd', &Options::outputDir},
    {"report", '\0', &Options::reportFile},
    {"store-name", '\0', &Options::storeName},
    {"folders", '\0', &Options::foldersValue},
};

const ValueOption* FindLong(const QString& name) {
  for (const ValueOption& option : kValueOptions)
    if (name == QLatin1String(option.longName)) return &option;
  return nullptr;
}

const ValueOption* FindShort(QChar letter) {
  for (const ValueOption& option : kValueOptions)
    if (option.shortName != '\0' && letter == QLatin1Char(option.shortName)) return &option;
  return nullptr;
}

// Sets a flag given by its long name; false when there is no such flag.
bool SetFlag(Options& options, const QString& name) {
  if (name == QLatin1String("quiet")) {
    options.quiet = true;
  } else if (name == QLatin1String("help")) {
    options.help = true;
  } else if (name == QLatin1String("version")) {
    options.version = true;
  } else {
    return false;
  }
  return true;
}

QString CheckOptions(Options& options) {
  if (options.help || options.version) return {};
  if (!options.outputFile.isEmpty() && !options.outputDir.isEmpty())
    return QStringLiteral("--output and --output-dir cannot be given together");
  if (!options.reportFile.isEmpty()) {
    const QString lower = options.reportFile.toLower();
    if (lower.endsWith(QLatin1String(".json"))) {
      options.reportFormat = ReportFormat::kJson;
    } else if (lower.endsWith(QLatin1String(".tsv"))) {
      options.reportFormat = ReportFormat::kTsv;
    } else {
      return QStringLiteral("%1: the report must end in .json or .tsv").arg(options.reportFile);
    }
  }
  if (options.foldersValue == QLatin1String("path")) {
    options.folders = FolderMode::kPath;
  } else if (!options.foldersValue.isEmpty() && options.foldersValue != QLatin1String("source")) {
    return QStringLiteral("--folders takes \"source\" or \"path\", not \"%1\"").arg(options.foldersValue);
  }
  if (options.paths.isEmpty()) return QStringLiteral("no message file or folder given");
  return {};
}

}  // namespace

ParsedCommandLine ParseCommandLine(const QStringList& arguments) {
  ParsedCommandLine parsed;
  Options& options = parsed.options;
  auto fail = [&parsed](const QString& why) {
    parsed.error = why;
    return parsed;
  };
  bool optionsEnded = false;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& arg = arguments[i];
    if (optionsEnded || arg == QLatin1String("-") || !arg.startsWith(u'-')) {
      options.paths << arg;
    } else if (arg == QLatin1String("--")) {
      optionsEnded = true;
    } else if (arg.startsWith(QLatin1String("--"))) {
      const qsizetype equals = arg.indexOf(u'=');
      const QString name = arg.mid(2, equals < 0 ? -1 : equals - 2);
      if (const ValueOption* option = FindLong(name)) {
        QString value;
        if (equals >= 0) {
          value = arg.mid(equals + 1);
        } else if (i + 1 < arguments.size()) {
          value = arguments[++i];
        } else {
          return fail(QStringLiteral("option --%1 needs a value").arg(name));
        }
        if (value.isEmpty()) return fail(QStringLiteral("option --%1 needs a value").arg(name));
        options.*(option->field) = value;
      } else if (equals >= 0 || !SetFlag(options, name)) {
        return fail(QStringLiteral("unknown option %1").arg(arg));
      }
    } else {
      // Short options, several in one word ("-qo out.pst", "-oout.pst").
      for (qsizetype k = 1; k < arg.size(); ++k) {
        const QChar letter = arg[k];
        if (const ValueOption* option = FindShort(letter)) {
          QString value = arg.mid(k + 1);
          if (value.isEmpty() && i + 1 < arguments.size()) value = arguments[++i];
          if (value.isEmpty()) return fail(QStringLiteral("option -%1 needs a value").arg(letter));
          options.*(option->field) = value;
          break;
        }
        if (letter == u'q') {
          options.quiet = true;
        } else if (letter == u'h') {
          options.help = true;
        } else {
          return fail(QStringLiteral("unknown option -%1").arg(letter));
        }
      }
    }
  }
  const QString error = CheckOptions(options);
  if (!error.isEmpty()) return fail(error);
  return parsed;
}

QString UsageText() {
  return QStringLiteral(
      "Usage: verdaline-convert [OPTIONS] PATH...\n"
      "Convert mail into a new Outlook .pst file.\n"
      "\n"
      "A PATH is a message file, a mail store or a folder holding any of them:\n"
      "  .eml file            one message (a file named here is taken whatever its name)\n"
      "  folder of .eml       its .eml files, searched as the window's Add Folder does\n"
      "  Maildir              cur/ and new/; Maildir++ .Sub.Folders and Dovecot\n"
      "                       LAYOUT=fs subfolders; its own mail goes to Inbox\n"
      "  mbox                 one folder named after the file (mboxo, mboxrd, mboxcl,\n"
      "                       mboxcl2); Thunderbird NAME.sbd folders below it,\n"
      "                       Apple Mail NAME.mbox/mbox, Google Takeout exports\n"
      "  .emlx                Apple Mail message files\n"
      "\n"
      "What the store says of a message is kept: read or unread, flagged for\n"
      "follow-up, answered, forwarded, draft (stored unsent and unread), labels\n"
      "and keywords as categories. Maildir: flags S R P F D T, new/ is unread.\n"
      "mbox: Status: and X-Status:, X-Mozilla-Status. Takeout: X-Gmail-Labels\n"
      "(first folder label is the folder, Unread, Starred, others categories).\n"
      "Any message with X-Unsent: 1 is a draft. Messages deleted in their\n"
      "source (Maildir T, expunged Thunderbird entries) are counted, not converted.\n"
      "Without a store (a loose .eml file) a message is stored as read.\n"
      "\n"
      "  -o, --output FILE.pst     write exactly this file (never overwritten)\n"
      "  -d, --output-dir DIR      write a new file named from the clock in DIR\n"
      "                            (default: the current folder)\n"
      "      --store-name NAME     the store's display name (default: from the clock)\n"
      "      --folders=source      store folders as the source names them (default)\n"
      "      --folders=path        store folders mirror each message's file-system\n"
      "                            folder below the root, as the window does\n"
      "      --report FILE         one record per message, as JSON (.json) or TSV (.tsv)\n"
      "  -q, --quiet               no progress and no summary; errors only\n"
      "  -h, --help                show this help and exit\n"
      "      --version             show the version and exit\n"
      "\n"
      "Exit status: 0 every message stored, 1 some messages not stored, 2 nothing\n"
      "written or a wrong command line, 130/143 stopped by SIGINT/SIGTERM.\n");
}

}  // namespace verdaline::cli

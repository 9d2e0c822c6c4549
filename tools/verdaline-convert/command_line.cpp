// SPDX-License-Identifier: GPL-3.0-or-later
#include "command_line.h"

#include <stdexcept>

#include "engine/size_limit.h"
#include "platform/file_names.h"

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
    {"max-size", '\0', &Options::maxSizeValue},
    {"files-from", '\0', nullptr},  // a list of PATHs, taken in its place
};

void SetValue(Options& options, const ValueOption& option, const QString& value) {
  if (option.field != nullptr)
    options.*(option.field) = value;
  else
    options.fileLists.push_back(FileList{value, options.paths.size()});
}

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
  } else if (name == QLatin1String("null")) {
    options.nulSeparated = true;
  } else if (name == QLatin1String("dry-run")) {
    options.dryRun = true;
  } else if (name == QLatin1String("verify")) {
    options.verify = true;
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
  if (!options.maxSizeValue.isEmpty()) {
    if (!ParseSize(options.maxSizeValue, options.maxFileSize))
      return QStringLiteral("--max-size takes a size such as 45G, 50M or 1048576 (bytes), not \"%1\"")
          .arg(options.maxSizeValue);
    if (options.maxFileSize < kMinMaxFileSize)
      return QStringLiteral("--max-size %1 leaves no room for mail: it must be at least 1M").arg(options.maxSizeValue);
  }
  if (options.nulSeparated && options.fileLists.empty())
    return QStringLiteral("-0 (--null) goes with --files-from");
  if (options.dryRun && options.verify) return QStringLiteral("--dry-run writes no file for --verify to check");
  if (options.paths.isEmpty() && options.fileLists.empty()) return QStringLiteral("no message file or folder given");
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
        SetValue(options, *option, value);
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
          SetValue(options, *option, value);
          break;
        }
        if (letter == u'q') {
          options.quiet = true;
        } else if (letter == u'h') {
          options.help = true;
        } else if (letter == u'0') {
          options.nulSeparated = true;
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

bool ParseSize(const QString& text, uint64_t& bytes) {
  qsizetype digits = 0;
  while (digits < text.size() && text[digits] >= u'0' && text[digits] <= u'9') ++digits;
  if (digits == 0 || digits > 19 || text.size() - digits > 1) return false;
  int shift = 0;
  if (digits < text.size()) {
    const qsizetype unit = QStringLiteral("KMGT").indexOf(text[digits].toUpper());
    if (unit < 0) return false;
    shift = 10 * static_cast<int>(unit + 1);
  }
  bool ok = false;
  const qulonglong value = text.left(digits).toULongLong(&ok);
  if (!ok || value > (UINT64_MAX >> shift)) return false;
  bytes = static_cast<uint64_t>(value) << shift;
  return true;
}

QStringList SplitFileList(const QByteArray& bytes, bool nulSeparated) {
  QStringList paths;
  for (const QByteArray& name : bytes.split(nulSeparated ? '\0' : '\n'))
    if (!name.isEmpty()) paths << DecodeFileName(name);
  return paths;
}

QString ExpandFileLists(Options& options, const std::function<QByteArray(const QString&)>& read) {
  QStringList paths;
  qsizetype taken = 0;
  for (const FileList& list : options.fileLists) {
    for (; taken < list.before; ++taken) paths << options.paths[taken];
    try {
      paths << SplitFileList(read(list.file), options.nulSeparated);
    } catch (const std::runtime_error& e) {
      return QStringLiteral("%1: %2").arg(list.file, QString::fromLocal8Bit(e.what()));
    }
  }
  for (; taken < options.paths.size(); ++taken) paths << options.paths[taken];
  options.paths = std::move(paths);
  if (options.paths.isEmpty()) return QStringLiteral("no message file or folder given or listed");
  return {};
}

QString UsageText() {
  return QStringLiteral(
      "Usage: verdaline-convert [OPTIONS] PATH...\n"
      "Convert mail into a new Outlook .pst file.\n"
      "\n"
      "A PATH is a message file, a mail store or a folder holding any of them,\n"
      "told by its layout and content; each gives these store folders:\n"
      "  message file     one message (.eml or any name), in a folder named after\n"
      "                   the folder it lies in\n"
      "  Maildir          cur/ and new/ go to Inbox; Maildir++ .Sub.Folders and\n"
      "                   Dovecot LAYOUT=fs subfolders beside it\n"
      "  mbox             a folder named after the file (mboxo, mboxrd, mboxcl,\n"
      "                   mboxcl2); Thunderbird's NAME.sbd folders below it;\n"
      "                   Apple Mail's NAME.mbox/mbox is NAME; a Google Takeout\n"
      "                   message goes to its first folder label\n"
      "  .emlx            Apple Mail's message file, as a message file\n"
      "  folder           searched through: its sub-folders at the top, its loose\n"
      "                   message files in a folder named after it\n"
      "\n"
      "What the source says of a message is kept: read or unread, flagged for\n"
      "follow-up, answered, forwarded, draft (stored unsent and unread), keywords\n"
      "and labels as categories (see the man page for every flag):\n"
      "  Maildir          flags S read, R answered, P forwarded, F flagged, D draft,\n"
      "                   T deleted; without S (as in new/) unread; Dovecot's\n"
      "                   keywords are categories\n"
      "  mbox             Status: R read; X-Status: A answered, F flagged, T draft,\n"
      "                   D deleted; a file with no Status: field at all is read\n"
      "  Thunderbird      X-Mozilla-Status: 0x1 read, 0x2 answered, 0x4 flagged,\n"
      "                   0x1000 forwarded, 0x8 expunged\n"
      "  .emlx            flags bit 0 read, 1 deleted, 2 answered, 4 flagged,\n"
      "                   6 draft, 8 forwarded\n"
      "  Takeout          X-Gmail-Labels: Unread, Starred, Drafts; every label but\n"
      "                   its folder, Unread, Starred, Opened, Archived a category\n"
      "  any              X-Unsent: 1 is a draft; a loose message file is read\n"
      "Messages deleted in their source are counted as expunged, not converted.\n"
      "\n"
      "  -o, --output FILE.pst     write exactly this file (never overwritten)\n"
      "  -d, --output-dir DIR      write a new file named from the clock in DIR\n"
      "                            (default: the current folder)\n"
      "      --store-name NAME     the store's display name (default: from the clock)\n"
      "      --max-size SIZE       no .pst grows past SIZE (bytes, or K, M, G, T in\n"
      "                            powers of 1024; default 45G, room for Outlook's\n"
      "                            50 GB): the run goes on in NAME (2).pst, ...\n"
      "      --folders=source      store folders as the source names them (default)\n"
      "      --folders=path        store folders mirror each message's file-system\n"
      "                            folder below the root, as the window does\n"
      "      --report FILE         one record per message (and per path that gave\n"
      "                            none), as JSON (.json) or TSV (.tsv); it replaces\n"
      "                            only an earlier report, never a link or the .pst\n"
      "      --files-from FILE     more PATHs, one a line, from FILE (\"-\": standard\n"
      "                            input), in the option's place among the PATHs;\n"
      "                            empty lines are skipped\n"
      "  -0, --null                the --files-from names end in NUL, not a line break\n"
      "      --dry-run             scan and classify as a conversion would; list each\n"
      "                            store folder's messages and expunged ones, write\n"
      "                            no .pst (the report's results are would-store)\n"
      "      --verify              check each written file with verdaline-check\n"
      "  -q, --quiet               no progress and no summary; errors only\n"
      "  -h, --help                show this help and exit\n"
      "      --version             show the version and exit\n"
      "\n"
      "Exit status: 0 every message stored (--dry-run: something to convert), 1 some\n"
      "messages not stored or --verify found problems, 2 nothing written or a wrong\n"
      "command line, 130/143 stopped by SIGINT/SIGTERM.\n");
}

}  // namespace verdaline::cli

// SPDX-License-Identifier: GPL-3.0-or-later
#include "run_report.h"

#include <QSaveFile>

#include "platform/file_names.h"

namespace verdaline::cli {
namespace {

// How each report begins: a file that begins otherwise is not ours to replace.
const QByteArray kJsonHead = "{\n    \"output\": ";
const QByteArray kTsvHead = "path\tstore_folder\tresult\treason\t";

// A TSV field holds no tab or line break: those and the backslash are
// written as \t, \n, \r and \\.
QString TsvField(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (const QChar c : text) {
    switch (c.unicode()) {
      case u'\\': out += QLatin1String("\\\\"); break;
      case u'\t': out += QLatin1String("\\t"); break;
      case u'\n': out += QLatin1String("\\n"); break;
      case u'\r': out += QLatin1String("\\r"); break;
      default: out += c;
    }
  }
  return out;
}

// A message's place in its file; none for a file that is one message.
QString TsvPosition(qint64 value) { return value < 0 ? QString() : QString::number(value); }

}  // namespace

QString ResultName(const Record& record) {
  if (record.expunged) return QStringLiteral("expunged");
  if (record.wouldStore) return QStringLiteral("would-store");
  switch (record.file.outcome) {
    case FileOutcome::kStored: return QStringLiteral("stored");
    case FileOutcome::kStoredWithWarnings: return QStringLiteral("stored-with-warnings");
    case FileOutcome::kNotStored: break;
  }
  return QStringLiteral("not-stored");
}

Counts CountRecords(const RunSummary& summary) {
  Counts counts;
  summary.records([&counts](const Record& record) {
    if (record.expunged) {
      ++counts.expunged;
    } else if (record.wouldStore) {
      ++counts.wouldStore;
    } else if (record.file.outcome == FileOutcome::kStored) {
      ++counts.stored;
    } else if (record.file.outcome == FileOutcome::kStoredWithWarnings) {
      ++counts.storedWithWarnings;
    } else {
      ++counts.notStored;
    }
  });
  return counts;
}

namespace {

// The report is written as it is made, a record at a time, through a
// buffer: a run of a million messages must not hold its report twice over.
class ReportWriter {
 public:
  explicit ReportWriter(QIODevice& device) : device_(device) { buffer_.reserve(kFlushAt + 4096); }
  ReportWriter& operator<<(const QByteArray& bytes) {
    buffer_ += bytes;
    if (buffer_.size() >= kFlushAt) Flush();
    return *this;
  }
  ReportWriter& operator<<(const char* text) { return *this << QByteArray(text); }
  ReportWriter& operator<<(const QString& text) { return *this << text.toUtf8(); }
  bool Flush() {
    ok_ = ok_ && device_.write(buffer_) == buffer_.size();
    buffer_.clear();
    return ok_;
  }

 private:
  static constexpr qsizetype kFlushAt = 64 * 1024;
  QIODevice& device_;
  QByteArray buffer_;
  bool ok_ = true;
};

// A JSON string: quotes, backslashes and control characters escaped; the
// rest as UTF-8. A byte of a file name that is not UTF-8 (carried as a lone
// surrogate, see file_names.h) is written as that surrogate's \u escape, as
// Python's json module writes a name decoded with "surrogateescape": a
// reader gets the name's bytes back, and the byte 0xFF stays apart from the
// four characters "\xFF".
QByteArray JsonString(const QString& text) {
  QByteArray out = "\"";
  QString run;
  auto flush = [&] {
    for (const char c : run.toUtf8()) {
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
          if (static_cast<unsigned char>(c) < 0x20)
            out += QByteArray("\\u00") + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
          else
            out += c;
      }
    }
    run.clear();
  };
  for (qsizetype at = 0; at < text.size(); ++at) {
    const QChar c = text[at];
    if (c.isLowSurrogate() || c.isHighSurrogate()) {
      // A pair is one character; only a lone half needs the escape.
      const bool paired = c.isHighSurrogate() ? at + 1 < text.size() && text[at + 1].isLowSurrogate()
                                              : at > 0 && text[at - 1].isHighSurrogate();
      if (!paired) {
        flush();
        out += QByteArray("\\u") + QByteArray::number(c.unicode(), 16);
        continue;
      }
    }
    run += c;
  }
  flush();
  return out + '"';
}

QByteArray JsonPosition(qint64 value) { return value < 0 ? QByteArray("null") : QByteArray::number(value); }

// The .pst that holds the record's message; "" when none does.
QString HoldingFile(const RunSummary& summary, const Record& record) {
  const int at = record.file.pstFile;
  if (record.expunged || record.wouldStore || record.file.outcome == FileOutcome::kNotStored || at < 0 ||
      static_cast<size_t>(at) >= summary.pstPaths.size())
    return {};
  return summary.pstPaths[static_cast<size_t>(at)];
}

void WriteJson(ReportWriter& out, const RunSummary& summary) {
  const Counts counts = CountRecords(summary);
  out << kJsonHead << (summary.pstPath.isEmpty() ? QByteArray("null") : JsonString(summary.pstPath))
      << ",\n    \"outputs\": [";
  for (size_t k = 0; k < summary.pstPaths.size(); ++k) out << (k ? ", " : "") << JsonString(summary.pstPaths[k]);
  out << "],\n    \"status\": " << JsonString(summary.status) << ",\n    \"stored\": "
      << QByteArray::number(counts.stored) << ",\n    \"storedWithWarnings\": "
      << QByteArray::number(counts.storedWithWarnings) << ",\n    \"notStored\": "
      << QByteArray::number(counts.notStored) << ",\n    \"expunged\": " << QByteArray::number(counts.expunged);
  if (counts.wouldStore > 0) out << ",\n    \"wouldStore\": " << QByteArray::number(counts.wouldStore);
  out << ",\n    \"files\": [";
  bool first = true;
  summary.records([&](const Record& record) {
    const FileResult& file = record.file;
    QByteArray warnings = "[";
    for (size_t i = 0; i < file.warnings.size(); ++i)
      warnings += (i ? ", " : "") + JsonString(file.warnings[i]);
    warnings += "]";
    out << (first ? "\n        {" : ",\n        {") << "\"path\": " << JsonString(file.path)
        << ", \"storeFolder\": " << JsonString(file.storeFolder)
        << ", \"result\": " << JsonString(ResultName(record)) << ", \"reason\": " << JsonString(file.reason)
        << ", \"warnings\": " << warnings << ", \"index\": " << JsonPosition(record.index)
        << ", \"offset\": " << JsonPosition(record.offset) << ", \"file\": ";
    const QString holder = HoldingFile(summary, record);
    out << (holder.isEmpty() ? QByteArray("null") : JsonString(holder)) << "}";
    first = false;
  });
  out << (first ? "]\n}\n" : "\n    ]\n}\n");
}

void WriteTsv(ReportWriter& out, const RunSummary& summary) {
  out << kTsvHead << "warnings\tindex\toffset\tfile\n";
  summary.records([&out, &summary](const Record& record) {
    const FileResult& file = record.file;
    QStringList warnings;
    for (const QString& warning : file.warnings) warnings << TsvField(warning);
    out << TsvField(ReadableFileName(file.path)) + u'\t' + TsvField(ReadableFileName(file.storeFolder)) + u'\t' +
               ResultName(record) + u'\t' + TsvField(file.reason) + u'\t' + warnings.join(QStringLiteral("; ")) +
               u'\t' + TsvPosition(record.index) + u'\t' + TsvPosition(record.offset) + u'\t' +
               TsvField(ReadableFileName(HoldingFile(summary, record))) + u'\n';
  });
}

}  // namespace

bool IsReplaceableReport(const QByteArray& head) {
  return head.isEmpty() || head.startsWith(kJsonHead) || head.startsWith(kTsvHead);
}

QString WriteReport(const QString& path, ReportFormat format, const RunSummary& summary) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString();
  ReportWriter out(file);
  if (format == ReportFormat::kJson)
    WriteJson(out, summary);
  else
    WriteTsv(out, summary);
  if (!out.Flush() || !file.commit()) return file.errorString();
  return {};
}

}  // namespace verdaline::cli

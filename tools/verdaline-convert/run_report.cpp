#include "run_report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include "platform/file_names.h"

namespace verdaline::cli {
namespace {

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
QJsonValue JsonPosition(qint64 value) { return value < 0 ? QJsonValue() : QJsonValue(value); }
QString TsvPosition(qint64 value) { return value < 0 ? QString() : QString::number(value); }

}  // namespace

QString ResultName(const Record& record) {
  if (record.expunged) return QStringLiteral("expunged");
  switch (record.file.outcome) {
    case FileOutcome::kStored: return QStringLiteral("stored");
    case FileOutcome::kStoredWithWarnings: return QStringLiteral("stored-with-warnings");
    case FileOutcome::kNotStored: break;
  }
  return QStringLiteral("not-stored");
}

Counts CountRecords(const std::vector<Record>& records) {
  Counts counts;
  for (const Record& record : records) {
    if (record.expunged) {
      ++counts.expunged;
    } else if (record.file.outcome == FileOutcome::kStored) {
      ++counts.stored;
    } else if (record.file.outcome == FileOutcome::kStoredWithWarnings) {
      ++counts.storedWithWarnings;
    } else {
      ++counts.notStored;
    }
  }
  return counts;
}

QByteArray ReportJson(const RunSummary& summary) {
  QJsonArray files;
  for (const Record& record : summary.records) {
    const FileResult& file = record.file;
    QJsonArray warnings;
    for (const QString& warning : file.warnings) warnings.append(warning);
    files.append(QJsonObject{{QStringLiteral("path"), ReadableFileName(file.path)},
                             {QStringLiteral("storeFolder"), ReadableFileName(file.storeFolder)},
                             {QStringLiteral("result"), ResultName(record)},
                             {QStringLiteral("reason"), file.reason},
                             {QStringLiteral("warnings"), warnings},
                             {QStringLiteral("index"), JsonPosition(record.index)},
                             {QStringLiteral("offset"), JsonPosition(record.offset)}});
  }
  const Counts counts = CountRecords(summary.records);
  const QJsonObject root{
      {QStringLiteral("output"),
       summary.pstPath.isEmpty() ? QJsonValue() : QJsonValue(ReadableFileName(summary.pstPath))},
      {QStringLiteral("status"), summary.status},
      {QStringLiteral("stored"), counts.stored},
      {QStringLiteral("storedWithWarnings"), counts.storedWithWarnings},
      {QStringLiteral("notStored"), counts.notStored},
      {QStringLiteral("expunged"), counts.expunged},
      {QStringLiteral("files"), files}};
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray ReportTsv(const RunSummary& summary) {
  QString out = QStringLiteral("path\tstore_folder\tresult\treason\twarnings\tindex\toffset\n");
  for (const Record& record : summary.records) {
    const FileResult& file = record.file;
    QStringList warnings;
    for (const QString& warning : file.warnings) warnings << TsvField(warning);
    out += TsvField(ReadableFileName(file.path)) + u'\t' + TsvField(ReadableFileName(file.storeFolder)) + u'\t' +
           ResultName(record) + u'\t' + TsvField(file.reason) + u'\t' + warnings.join(QStringLiteral("; ")) + u'\t' +
           TsvPosition(record.index) + u'\t' + TsvPosition(record.offset) + u'\n';
  }
  return out.toUtf8();
}

QString WriteReport(const QString& path, ReportFormat format, const RunSummary& summary) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString();
  const QByteArray bytes = format == ReportFormat::kJson ? ReportJson(summary) : ReportTsv(summary);
  if (file.write(bytes) != bytes.size() || !file.commit()) return file.errorString();
  return {};
}

}  // namespace verdaline::cli

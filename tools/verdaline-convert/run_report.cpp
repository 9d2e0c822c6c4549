#include "run_report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include "platform/file_names.h"


namespace verdaline::cli {
namespace {

qint64 CountOf(const RunSummary& summary, FileOutcome outcome) {
  qint64 n = 0;
  for (const FileResult& file : summary.files) n += file.outcome == outcome ? 1 : 0;
  return n;
}

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

}  // namespace

QString OutcomeName(FileOutcome outcome) {
  switch (outcome) {
    case FileOutcome::kStored: return QStringLiteral("stored");
    case FileOutcome::kStoredWithWarnings: return QStringLiteral("stored-with-warnings");
    case FileOutcome::kNotStored: break;
  }
  return QStringLiteral("not-stored");
}

QByteArray ReportJson(const RunSummary& summary) {
  QJsonArray files;
  for (const FileResult& file : summary.files) {
    QJsonArray warnings;
    for (const QString& warning : file.warnings) warnings.append(warning);
    files.append(QJsonObject{{QStringLiteral("path"), ReadableFileName(file.path)},
                             {QStringLiteral("storeFolder"), ReadableFileName(file.storeFolder)},
                             {QStringLiteral("result"), OutcomeName(file.outcome)},
                             {QStringLiteral("reason"), file.reason},
                             {QStringLiteral("warnings"), warnings}});
  }
  const QJsonObject root{
      {QStringLiteral("output"),
       summary.pstPath.isEmpty() ? QJsonValue() : QJsonValue(ReadableFileName(summary.pstPath))},
      {QStringLiteral("status"), summary.status},
      {QStringLiteral("stored"), CountOf(summary, FileOutcome::kStored)},
      {QStringLiteral("storedWithWarnings"), CountOf(summary, FileOutcome::kStoredWithWarnings)},
      {QStringLiteral("notStored"), CountOf(summary, FileOutcome::kNotStored)},
      {QStringLiteral("files"), files}};
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray ReportTsv(const RunSummary& summary) {
  QString out = QStringLiteral("path\tstore_folder\tresult\treason\twarnings\n");
  for (const FileResult& file : summary.files) {
    QStringList warnings;
    for (const QString& warning : file.warnings) warnings << TsvField(warning);
    out += TsvField(ReadableFileName(file.path)) + u'\t' + TsvField(ReadableFileName(file.storeFolder)) + u'\t' +
           OutcomeName(file.outcome) + u'\t' +
           TsvField(file.reason) + u'\t' + warnings.join(QStringLiteral("; ")) + u'\n';
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

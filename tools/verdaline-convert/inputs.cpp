// SPDX-License-Identifier: GPL-3.0-or-later
#include "inputs.h"

#include <QDir>
#include <sys/stat.h>

#include "engine/relative_folder.h"
#include "mailstore/mail_sources.h"
#include "platform/file_names.h"

namespace verdaline::cli {
namespace {

QString Text(const std::string& bytes) {
  return DecodeFileName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

}  // namespace

// A file that cannot be looked at counts for nothing here; its import says why.
qint64 BytesOnDisk(const model::MessageRef& ref) {
  if (ref.length != model::MessageRef::kToEnd) return static_cast<qint64>(ref.length);
  struct stat info{};
  if (::stat(ref.path.c_str(), &info) != 0) return 0;
  const auto size = static_cast<uint64_t>(info.st_size);
  return size > ref.offset ? static_cast<qint64>(size - ref.offset) : 0;
}

namespace {

class Collector {
 public:
  Collector(FolderMode mode, const std::atomic<bool>* cancel) : mode_(mode) {
    options_.cancel = cancel;
    // Taken as the scan goes: the scan's entries are never all held at once.
    options_.take = [this](std::vector<mailstore::Entry>& entries) { TakeAll(entries); };
  }

  void Scan(const QString& given) {
    const QString path = AbsolutePath(given);
    const size_t first = taken_;
    mailstore::ScanPath(EncodeFileName(path).toStdString(), scan_, options_);
    TakeAll(scan_.entries);
    scan_.entries.clear();
    const bool cancelled = options_.cancel != nullptr && options_.cancel->load();
    if (taken_ == first && !cancelled) {
      // The scan promises an entry for a path that holds nothing; should it
      // not give one, the path still may not vanish from the report.
      Problem(path, QStringLiteral("no messages found"));
    }
  }

  Inputs Result() { return std::move(inputs_); }

 private:
  void TakeAll(const std::vector<mailstore::Entry>& entries) {
    for (const mailstore::Entry& entry : entries) Take(entry);
    taken_ += entries.size();
  }

  void Problem(const QString& path, const QString& reason) {
    InputEntry entry;
    entry.kind = RecordKind::kProblem;
    entry.record.path = path;
    entry.record.reason = NamedOnce(path, reason);
    entry.before = inputs_.messages.size();
    inputs_.errors.push_back(path + QStringLiteral(": ") + entry.record.reason);
    inputs_.others.push_back(std::move(entry));
  }

  void Take(const mailstore::Entry& found) {
    if (found.kind == mailstore::EntryKind::kProblem) {
      Problem(Text(found.ref.path), QString::fromStdString(found.reason));
      return;
    }
    InputEntry entry;
    entry.before = inputs_.messages.size();
    if (found.index >= 0) {
      entry.index = found.index;
      entry.offset = static_cast<qint64>(found.at);
    } else if (!found.ref.WholeFile()) {
      entry.offset = static_cast<qint64>(found.ref.offset);
    }
    QString folder;
    try {
      folder = StoreFolderOf(found.folder);
    } catch (const RowPathError& e) {
      // Only a store directly in "/" has no folder below the root to mirror.
      entry.kind = RecordKind::kProblem;
      entry.record.path = Text(found.ref.path);
      entry.record.reason = QString::fromStdString(e.what());
      inputs_.errors.push_back(entry.record.path + QStringLiteral(": ") + entry.record.reason);
      inputs_.others.push_back(std::move(entry));
      return;
    }
    if (found.kind == mailstore::EntryKind::kExpunged) {
      entry.kind = RecordKind::kExpunged;
      entry.record.path = Text(found.ref.path);
      entry.record.storeFolder = folder;
      entry.record.reason = QStringLiteral("deleted in its source");
      ++inputs_.expunged;
      inputs_.others.push_back(std::move(entry));
    } else {
      inputs_.messages.Add(found.ref, folder, found.state, entry.index, entry.offset);
      inputs_.bytes += BytesOnDisk(found.ref);
    }
  }

  // Folders are shared by many messages: each one's store path is made once.
  QString StoreFolderOf(uint32_t index) {
    if (index >= scan_.folders.size()) throw RowPathError(RowPathError::Kind::kEmpty, "the scan gave no folder");
    if (folderNames_.size() < scan_.folders.size()) folderNames_.resize(scan_.folders.size());
    QString& name = folderNames_[index];
    if (name.isEmpty()) {
      const mailstore::Folder& folder = scan_.folders[index];
      name = mode_ == FolderMode::kSource ? SourceStoreFolder(folder.names) : QString();
      // A source folder without a name has nothing else to go by than where it is.
      if (name.isEmpty()) name = PathStoreFolder(folder.container);
    }
    return name;
  }

  FolderMode mode_;
  mailstore::ScanOptions options_;
  mailstore::ScanResult scan_;
  std::vector<QString> folderNames_;
  size_t taken_ = 0;  // entries taken from the scan so far
  Inputs inputs_;
};

}  // namespace

QString SourceStoreFolder(const std::vector<std::string>& names) {
  QStringList parts;
  for (const std::string& name : names) parts << StoreFolderName(Text(name));
  return parts.join(kStoreSeparator);
}

QString PathStoreFolder(const std::string& container) {
  // The folder a file inside the container would have: the container's own path.
  return GetRelativeFolder(Text(container) + QStringLiteral("/x"), u'/');
}

QString NamedOnce(const QString& path, const QString& text) {
  if (path.isEmpty()) return text;
  QString out = text;
  if (out.startsWith(path)) {
    qsizetype at = path.size();
    const QString atByte = QStringLiteral(" at byte ");
    if (out.mid(at, atByte.size()) == atByte) {
      qsizetype digits = at + atByte.size();
      while (digits < out.size() && out[digits].isDigit()) ++digits;
      if (digits > at + atByte.size()) at = digits;
    }
    if (out.mid(at, 2) == QLatin1String(": ")) out = out.mid(at + 2);
  }
  // "...: PATH" at the end says nothing the line's own path does not.
  for (const QString& tail : {QStringLiteral(": ") + path, QStringLiteral(": ") + path + u'.'})
    if (out.endsWith(tail)) {
      out.chop(tail.size());
      break;
    }
  // Only the whole name: "/a/b" is not in "/a/bc" nor in "/a/b/c".
  auto boundary = [&out](qsizetype i) {
    if (i >= out.size()) return true;
    const QChar c = out[i];
    if (c == u'.') return i + 1 >= out.size() || out[i + 1].isSpace();
    return c.isSpace() || c == u':' || c == u',' || c == u')' || c == u';';
  };
  for (qsizetype at = out.indexOf(path); at >= 0; at = out.indexOf(path, at)) {
    const bool startsWord = at == 0 || out[at - 1].isSpace() || out[at - 1] == u'(';
    if (startsWord && boundary(at + path.size())) {
      out.replace(at, path.size(), QStringLiteral("it"));
      at += 2;
    } else {
      at += path.size();
    }
  }
  return out;
}

QString AbsolutePath(const QString& path) { return QDir::cleanPath(QDir::current().absoluteFilePath(path)); }

Inputs CollectInputs(const QStringList& paths, FolderMode folders, const std::atomic<bool>* cancel) {
  Collector collector(folders, cancel);
  for (const QString& path : paths) {
    if (cancel != nullptr && cancel->load()) break;
    collector.Scan(path);
  }
  return collector.Result();
}

}  // namespace verdaline::cli

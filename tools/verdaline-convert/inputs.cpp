#include "inputs.h"

#include <QDir>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "platform/file_names.h"
#include "platform/paths.h"
#include "sources/folder_walk.h"

namespace verdaline::cli {
namespace {

void Reject(Inputs& inputs, const QString& path, const QString& reason) {
  InputEntry entry;
  entry.rejected.path = path;
  entry.rejected.outcome = FileOutcome::kNotStored;
  entry.rejected.reason = reason;
  inputs.entries.push_back(entry);
  inputs.errors.push_back(path + QStringLiteral(": ") + reason);
}

void Take(Inputs& inputs, const QString& path) {
  InputEntry entry;
  entry.engineIndex = static_cast<qint64>(inputs.files.size());
  inputs.files.push_back(path);
  inputs.entries.push_back(entry);
}

void TakeFolder(Inputs& inputs, const QString& folder) {
  const FolderWalk walk = WalkFolder(WithTrailingSeparator(folder));
  for (const QString& path : *walk.paths)
    if (IsMessageFilePath(path)) Take(inputs, path);
  // The messages of a folder that could not be listed are unknown: the
  // folder itself stands for them in the report.
  for (const FolderReadError& skipped : walk.skipped)
    Reject(inputs, skipped.folder(), QStringLiteral("folder could not be read: ") + skipped.reason());
  if (walk.failure)
    Reject(inputs, folder,
           QStringLiteral("folder walk stopped: ") + QString::fromStdString(walk.failure->description()));
}

}  // namespace

QString AbsolutePath(const QString& path) { return QDir::cleanPath(QDir::current().absoluteFilePath(path)); }

Inputs CollectInputs(const QStringList& paths) {
  Inputs inputs;
  for (const QString& given : paths) {
    const QString path = AbsolutePath(given);
    struct stat info{};
    if (::stat(EncodeFileName(path).constData(), &info) != 0) {
      Reject(inputs, path, QString::fromLocal8Bit(std::strerror(errno)));
    } else if (S_ISDIR(info.st_mode)) {
      TakeFolder(inputs, path);
    } else {
      Take(inputs, path);
    }
  }
  return inputs;
}

}  // namespace verdaline::cli

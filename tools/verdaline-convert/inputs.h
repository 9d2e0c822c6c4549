// From the PATH arguments to the ordered list of message files: a file named
// on the command line is taken whatever its name (the user chose it); a
// folder is walked as the window's "Add Folder" walks it, keeping the files
// whose names end in ".eml". What cannot be taken (a path that does not
// exist, a folder of the tree that cannot be listed) becomes a record of its
// own, in its place among the others.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "engine/conversion_engine.h"

namespace verdaline::cli {

struct InputEntry {
  qint64 engineIndex = -1;  // position in `files`; -1: rejected here, see `rejected`
  FileResult rejected;
};

struct Inputs {
  std::vector<QString> files;       // absolute paths, in the order they are to be stored
  std::vector<InputEntry> entries;  // every record of the report, in order
  std::vector<QString> errors;      // "PATH: cause", for standard error
};

Inputs CollectInputs(const QStringList& paths);

// The absolute, cleaned form of a path given relative to the current folder.
QString AbsolutePath(const QString& path);

}  // namespace verdaline::cli

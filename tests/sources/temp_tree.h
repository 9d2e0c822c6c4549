// SPDX-License-Identifier: GPL-3.0-or-later
// Real folder trees in a temporary folder, and the file system's own
// enumeration order to compare a walk against.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <QString>
#include <QTemporaryDir>

namespace verdaline::testing {

class TempTree {
 public:
  TempTree() { root_ = std::filesystem::path(dir_.path().toStdString()); }
  bool ok() const { return dir_.isValid(); }

  // The root, as a QString without a trailing separator.
  QString Root() const { return QString::fromStdString(root_.string()); }
  std::filesystem::path Path(const std::string& relative) const { return root_ / relative; }
  QString QPath(const std::string& relative) const {
    return QString::fromStdString(Path(relative).string());
  }

  void Folder(const std::string& relative) { std::filesystem::create_directories(Path(relative)); }
  void File(const std::string& relative) {
    std::filesystem::create_directories(Path(relative).parent_path());
    std::FILE* f = std::fopen(Path(relative).c_str(), "w");
    if (f != nullptr) std::fclose(f);
  }

 private:
  QTemporaryDir dir_;
  std::filesystem::path root_;
};

// The names in `folder` as the file system enumerates them (no sorting),
// split into folders and the rest; links are classified by what they name.
struct Listing {
  std::vector<std::string> folders;
  std::vector<std::string> files;
};

inline Listing ListInOrder(const std::filesystem::path& folder) {
  Listing listing;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::error_code ec;
    const bool isFolder = std::filesystem::is_directory(entry.path(), ec);
    (isFolder ? listing.folders : listing.files).push_back(entry.path().filename().string());
  }
  return listing;
}

}  // namespace verdaline::testing

// SPDX-License-Identifier: GPL-3.0-or-later
// Where a listed message file goes in the new store: its folder relative to
// the root of its file system, as store folder names joined by "\".
//
//   Linux:   /home/ann/Mail/Work/a.eml   -> home\ann\Mail\Work
//   Windows: C:\Mail\Work\a.eml          -> Mail\Work   (the drive plays no part)
//
// Store folder paths always use "\", whatever the file system's separator.
#pragma once

#include <QString>
#include <stdexcept>

#include "platform/paths.h"

namespace verdaline {

// Why a row cannot be placed in the store.
class RowPathError : public std::runtime_error {
 public:
  enum class Kind { kEmpty, kNotFullPath, kInRoot };
  RowPathError(Kind kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

// The store folder path of a listed file. Spaces around the path are ignored
// (other white space is part of it); empty components from doubled
// separators are skipped. Throws RowPathError for an empty path, a path that
// is not a full path (no leading "/" on Linux; no drive and "\" under the
// Windows convention, for example a network path), and a file that lies
// directly in the root, which has no folder to mirror.
QString GetRelativeFolder(const QString& path, QChar sep = kPathSeparator);

// The text without the space characters at both ends; other white space,
// such as tabs, stays part of it.
QString TrimSpaces(const QString& s);

// Store folder paths join their names with this.
inline constexpr QChar kStoreSeparator = u'\\';
// A "\" inside a folder's own name (an ordinary character on Linux) cannot
// stand for itself in a source folder path, where it joins names: kept as
// it is, the folder "a\b" would be merged with the folders "a" > "b". It is
// carried as U+DC5C, a lone surrogate that decoding a file name never gives
// (escaped bytes are U+DC80 to U+DCFF), so that "a\b" stays apart from a
// real "a∖b" until the store's names are chosen (StoreFolderTree).
inline constexpr QChar kBackslashInName = QChar(0xDC5C);
// How the store shows a "\" in a folder's name: U+2216 SET MINUS, which
// looks the same and is not the store's separator.
inline constexpr QChar kSeparatorLookAlike = u'\u2216';
// A source folder's name as one component of a source folder path.
QString StoreFolderName(QString name);

}  // namespace verdaline

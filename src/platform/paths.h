// SPDX-License-Identifier: GPL-3.0-or-later
// The one place that decides how paths are spelt on this platform. Every
// routine that splits or joins paths takes the separator as a parameter, so
// both conventions can be exercised on any machine; callers pass this one.
#pragma once

#include <QChar>
#include <QString>

namespace verdaline {

#ifdef _WIN32
inline constexpr QChar kPathSeparator = u'\\';
#else
// On Linux "/" alone separates; a "\" is an ordinary character in a name.
inline constexpr QChar kPathSeparator = u'/';
#endif

// True when `path` ends with `sep`.
inline bool EndsWithSeparator(const QString& path, QChar sep = kPathSeparator) {
  return !path.isEmpty() && path.back() == sep;
}

// `path` with `sep` appended unless it already ends with one ("" gives sep).
inline QString WithTrailingSeparator(const QString& path, QChar sep = kPathSeparator) {
  return EndsWithSeparator(path, sep) ? path : path + sep;
}

}  // namespace verdaline

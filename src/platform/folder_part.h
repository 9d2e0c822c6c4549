// SPDX-License-Identifier: GPL-3.0-or-later
// The path splitter shared by the folder command and the conversion: the
// folder part of a path.
#pragma once

#include <QString>

#include "platform/paths.h"

namespace verdaline {

// `path` up to and including its last `sep`; "" when it has none.
// REQUIRES: `path` is not empty; an empty one raises error 9 (subscript out
// of range), as splitting an empty text yields no piece to take.
QString GetFolderPart(const QString& path, QChar sep = kPathSeparator);

}  // namespace verdaline

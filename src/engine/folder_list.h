// SPDX-License-Identifier: GPL-3.0-or-later
// The list of store folders a run needs: every folder of the listed files
// and every folder on the way to it, each once, in ascending ordinal order,
// so that every folder comes after its parent.
#pragma once

#include <QString>
#include <functional>
#include <vector>

namespace verdaline {

// relativeFolders: the store folder path of each row (GetRelativeFolder).
// Yields three times: between sorting and removing repeats, and around the
// second sort. Raises error 9 when relativeFolders holds no non-empty entry.
std::vector<QString> BuildFolderList(const std::vector<QString>& relativeFolders,
                                     const std::function<void()>& yield);

}  // namespace verdaline

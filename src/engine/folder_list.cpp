// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/folder_list.h"

#include <QStringList>
#include <cstdint>

#include "engine/mod_main.h"
#include "engine/relative_folder.h"

namespace verdaline {

namespace {

void SortWhole(std::vector<QString>& list) {
  QuickSortStrings(list, 0, static_cast<std::int64_t>(list.size()) - 1);
}

}  // namespace

std::vector<QString> BuildFolderList(const std::vector<QString>& relativeFolders,
                                     const std::function<void()>& yield) {
  std::vector<QString> list = relativeFolders;
  SortWhole(list);
  yield();
  RemoveDuplicates(list);

  // Every folder brings its ancestors along (and itself once more); the
  // entries added here are not expanded again.
  const size_t distinct = list.size();
  for (size_t i = 0; i < distinct; ++i) {
    const QStringList names = list[i].split(kStoreSeparator);
    QString prefix = names[0];
    list.push_back(prefix);
    for (qsizetype k = 1; k < names.size(); ++k) {
      prefix += kStoreSeparator + names[k];
      list.push_back(prefix);
    }
  }

  yield();
  SortWhole(list);
  yield();
  RemoveDuplicates(list);
  return list;
}

}  // namespace verdaline

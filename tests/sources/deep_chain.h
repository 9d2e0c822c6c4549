// SPDX-License-Identifier: GPL-3.0-or-later
// A chain of folders nested so deep that the full path of the lowest ones is
// longer than the system accepts in a path: listing them fails even for root,
// which chmod cannot stop. Built and removed through folder handles, since
// their paths cannot be used.
#pragma once

#include <climits>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace verdaline::testing {

inline const std::string kChainSegment(250, 'd');

// Makes `levels` nested folders named kChainSegment under `root`; false on failure.
inline bool MakeDeepChain(const std::string& root, int levels) {
  int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  for (int i = 0; i < levels; ++i) {
    if (::mkdirat(fd, kChainSegment.c_str(), 0755) != 0) break;
    const int next = ::openat(fd, kChainSegment.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    if (next < 0) return false;
    fd = next;
  }
  ::close(fd);
  return true;
}

// Removes `name` under the open folder `parent`, whatever it holds.
inline void RemoveTreeAt(int parent, const char* name) {
  const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (fd < 0) {
    ::unlinkat(parent, name, 0);
    return;
  }
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string child = entry->d_name;
    if (child == "." || child == "..") continue;
    RemoveTreeAt(fd, child.c_str());
  }
  ::closedir(dir);
  ::unlinkat(parent, name, AT_REMOVEDIR);
}

inline void RemoveDeepChain(const std::string& root) {
  const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  RemoveTreeAt(fd, kChainSegment.c_str());
  ::close(fd);
}

// Enough levels that the chain's path passes PATH_MAX below `root`.
inline int LevelsPastPathMax(const std::string& root) {
  return static_cast<int>((PATH_MAX - root.size()) / (kChainSegment.size() + 1)) + 2;
}

}  // namespace verdaline::testing

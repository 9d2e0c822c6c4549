// SPDX-License-Identifier: GPL-3.0-or-later
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "pst/file_names.h"
#include "pst/ndb/node_store.h"
#include "pst/ndb/pst_file.h"

namespace pst::file_names {

void RequireFree(const std::string& path) {
  if (struct stat st; ::lstat(path.c_str(), &st) == 0)
    throw PstExistsError("The file already exists: " + path);
  else if (errno != ENOENT)
    throw PstError("Cannot create " + path + ": " + std::strerror(errno));
}

bool Taken(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

void PublishNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
    int err = errno;
    if (err == EEXIST) throw PstExistsError("The file already exists: " + to);
    if (err != EINVAL && err != ENOSYS) throw PstError("Cannot create " + to + ": " + std::strerror(err));
    // File systems without the no-replace rename: a hard link fails on an existing name.
    if (::link(from.c_str(), to.c_str()) == 0) {
      ::unlink(from.c_str());
    } else if (errno == EEXIST) {
      throw PstExistsError("The file already exists: " + to);
    } else if (Taken(to) || ::rename(from.c_str(), to.c_str()) != 0) {
      throw PstError("Cannot create " + to + ": " + std::strerror(errno));
    }
  }
  ndb::SyncDirectoryOf(to);
}

void Remove(const std::string& path) { ::unlink(path.c_str()); }

int64_t ProcessId() { return ::getpid(); }

namespace {

bool IsStalePartial(int dir, const char* name) {
  int64_t pid = 0;
  if (!PartialNameProcess(name, pid)) return false;
  if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) return false;
  struct stat st {};
  if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
    return false;
  if (st.st_size == 0) return true;
  const int fd = ::openat(dir, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  char magic[4] = {};
  const bool ours = ::pread(fd, magic, sizeof magic, 0) == 4 && std::memcmp(magic, "!BDN", 4) == 0;
  ::close(fd);
  return ours;
}

}  // namespace

void RemoveStalePartials(const std::string& target) {
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  DIR* d = ::opendir(folder.c_str());
  if (!d) return;
  while (const dirent* e = ::readdir(d))
    if (IsStalePartial(::dirfd(d), e->d_name)) ::unlinkat(::dirfd(d), e->d_name, 0);
  ::closedir(d);
}

}  // namespace pst::file_names

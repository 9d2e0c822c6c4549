// SPDX-License-Identifier: GPL-3.0-or-later
// The file calls the importer makes on a message file, behind one small
// interface: message_file_posix.cpp and message_file_win32.cpp. A file is
// a C runtime descriptor on both, since GMime's file stream takes one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mime::file {

// What the importer looks at of a file, to read it and to tell whether it
// changed while it was read.
struct Facts {
  int64_t size = 0;
  uint64_t identity = 0;  // the inode, or Windows' file index
  int64_t modifiedSeconds = 0;
  int64_t modifiedNanoseconds = 0;
};

// Opens path for reading without ever waiting on it (a FIFO opened plainly
// waits for a writer that may never come); throws ImportError for anything
// but a regular file ("cannot open PATH: ...", "cannot read PATH: it is a
// folder, not a regular file").
int OpenRegular(const std::string& path, Facts& facts);
// false when path cannot be looked at.
bool FactsOf(const std::string& path, Facts& facts);
// false when it fails; LastError() says why.
bool FactsOfOpen(int fd, Facts& facts);
// Whether a file with `after` is not the one that had `before`.
inline bool Changed(const Facts& before, const Facts& after) {
  return after.size != before.size || after.identity != before.identity ||
         after.modifiedSeconds != before.modifiedSeconds || after.modifiedNanoseconds != before.modifiedNanoseconds;
}

// Each returns the bytes moved, 0 at the end of the file, or -1 with the
// reason in LastError(); interrupted calls are retried. ReadAt leaves the
// descriptor's position where it was.
int64_t Read(int fd, void* to, size_t n);
int64_t ReadAt(int fd, void* to, size_t n, uint64_t offset);
int64_t Write(int fd, const void* from, size_t n);
// A file in folder `dir` that has no name and goes when it is closed, for
// reading and writing; -1 when it cannot be made.
int OpenUnnamedTemporary(const std::string& dir);
// A second descriptor for the same open file, which outlives the first;
// -1 when it cannot be made.
int Duplicate(int fd);
void Close(int fd);
// The system's reason for the last failed call above.
std::string LastError();

}  // namespace mime::file

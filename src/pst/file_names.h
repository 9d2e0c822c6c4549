// SPDX-License-Identifier: GPL-3.0-or-later
// What the writer asks of the file system besides the file itself: whether
// a name is taken, giving the finished file its name, and tidying what a
// killed run left behind. Implemented in file_names_posix.cpp and
// file_names_win32.cpp.
#pragma once

#include <cstdint>
#include <string>

namespace pst::file_names {

// Throws PstExistsError when path names anything (a dangling link too),
// PstError when the system cannot tell.
void RequireFree(const std::string& path);
// Whether path names anything, or cannot be looked at.
bool Taken(const std::string& path);
// Gives the finished file its name without ever replacing an existing one;
// throws PstExistsError when the name was taken meanwhile.
void PublishNoReplace(const std::string& from, const std::string& to);
// Best effort.
void Remove(const std::string& path);
int64_t ProcessId();

// A temporary file of an earlier run that was killed before it could
// remove it is named "NAME.partial-PID-N"; the process id, when name is one.
bool PartialNameProcess(const char* name, int64_t& pid);
// Removes such files beside target whose process is gone, that are empty
// or a node database ("!BDN") and are this user's. Anything else of that
// name, or of a process still running, is left alone.
void RemoveStalePartials(const std::string& target);

}  // namespace pst::file_names

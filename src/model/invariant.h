// SPDX-License-Identifier: GPL-3.0-or-later
// Checks of the program's own invariants: conditions that no input, file
// system or caller can bring about unless this program's code is wrong (an
// encoder handed a block image of the wrong size, a reference count going
// below zero, a heap index the writer never gave out).
//
// A failed check writes "verdaline: internal error at FILE:LINE: WHAT" to
// standard error and aborts the process, in every build type: unlike
// assert(), NDEBUG does not turn it off. It aborts rather than throwing
// because once one of these fails, the writer's in-memory state (its
// B-trees, reference counts and allocation maps) can no longer be trusted,
// and nothing that catches an exception could put it right; writing on
// would only carry the damage into the file. Stopping at once leaves the
// file on disk as its last commit made it, which is a valid store.
//
// Conditions that input can cause (a stream too large, a full disk, a
// folder that does not exist) stay exceptions: the caller reports them and
// goes on.
#pragma once

#include <string_view>

namespace model {

[[noreturn]] void InvariantFailed(const char* file, int line, std::string_view what) noexcept;

}  // namespace model

// WHAT is evaluated only when COND is false, so it may build a string.
#define VERDALINE_INVARIANT(cond, what)                                  \
  do {                                                                   \
    if (!(cond)) ::model::InvariantFailed(__FILE__, __LINE__, (what));   \
  } while (false)

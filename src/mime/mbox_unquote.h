// SPDX-License-Identifier: GPL-3.0-or-later
// An mbox quotes a body line that begins "From " as ">From " (and, in its
// mboxrd form, ">From " as ">>From " and so on), so that no body line is
// taken for the start of the next message. Reading a message back undoes
// exactly one level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mime {

// Undoes the quoting in place: a line that begins with one or more '>'
// followed by "From " loses exactly one '>'. Returns the bytes the buffer
// holds after it. atLineStart says whether the buffer begins a line, and is
// left saying whether the next one does; a buffer must not end inside the
// quotes of a line start that is to be judged.
size_t UnquoteFromLines(uint8_t* data, size_t n, bool& atLineStart);

// Copies `length` bytes of `from` at `offset` to the end of `to`, a chunk
// at a time, unquoted when `unquote`. A chunk ends after its last line end,
// so that no line start is judged on part of its quotes (a run of quotes
// longer than a whole chunk, a megabyte by default, is left as it is).
// Stops early at the end of `from`. Returns "" or why it failed.
std::string CopyRange(int from, uint64_t offset, uint64_t length, bool unquote, int to,
                      size_t chunk = size_t{1} << 20);

}  // namespace mime

// SPDX-License-Identifier: GPL-3.0-or-later
// Splits an mbox file into its messages in one pass, front to back, with
// bounded buffers: each message goes on as soon as it ends (its place and
// its header's facts, never its bytes), so nothing piles up with the size
// of the file.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "mailstore/file_io.h"
#include "mailstore/mail_state.h"
#include "model/message_ref.h"

namespace mailstore::detail {

struct MboxMessage {
  uint64_t at = 0;      // its "From " line
  uint64_t offset = 0;  // the message: after that line...
  uint64_t length = 0;  // ...up to the blank line before the next separator, or the end of the file
  model::MessageFormat format = model::MessageFormat::kMboxQuoted;
  HeaderFacts facts;
};

struct MboxScan {
  uint64_t messages = 0;   // how many were handed on
  bool not_mbox = false;   // the file does not start with a "From " line
  bool cancelled = false;  // stopped early: the messages handed on are those found until then
  int read_error = 0;      // errno of a failed read: the messages handed on are those before it
};

// Takes each message as soon as its end is known, in file order.
using MboxSink = std::function<void(MboxMessage&&)>;

// Separators: a "From " line at the start of the file or after a blank
// line (RFC 4155), or one that has a separator's date even without the
// blank line. A Content-Length that ends the body exactly at the end of the
// file or at a (blank line and) "From " line is trusted (mboxcl): "From "
// lines inside that body do not split it, and when there are such lines
// unquoted, the body is taken as it stands (mboxcl2).
MboxScan ScanMbox(const ReadFile& file, const std::atomic<bool>* cancel, const MboxSink& sink);

}  // namespace mailstore::detail

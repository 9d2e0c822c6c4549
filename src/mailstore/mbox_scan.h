// Splits an mbox file into its messages in one pass, front to back, with
// bounded buffers: what is kept per message is its place and its header's
// facts, never its bytes.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

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
  std::vector<MboxMessage> messages;
  bool not_mbox = false;   // the file does not start with a "From " line
  bool cancelled = false;  // stopped early: `messages` are those found until then
  int read_error = 0;      // errno of a failed read: `messages` are those before it
};

// Separators: a "From " line at the start of the file or after a blank
// line (RFC 4155), or one that has a separator's date even without the
// blank line. A Content-Length that ends the body exactly at the end of the
// file or at a (blank line and) "From " line is trusted (mboxcl): "From "
// lines inside that body do not split it, and when there are such lines
// unquoted, the body is taken as it stands (mboxcl2).
MboxScan ScanMbox(const ReadFile& file, const std::atomic<bool>* cancel);

}  // namespace mailstore::detail

// SPDX-License-Identifier: GPL-3.0-or-later
// What a path on the command line holds, as mail: the messages of a loose
// .eml file or a folder of them, a Maildir (with Maildir++ subfolders or
// Dovecot's LAYOUT=fs), an mbox file in any of its forms (Thunderbird's
// profile layout and Apple Mail's NAME.mbox bundles among them), or Apple
// Mail .emlx files. A source is recognised by its layout and content, never
// by its name alone.
//
// Scanning finds where each message is and what the store says of it (its
// folder, read, flagged, answered...); it reads no message whole and holds
// no message in memory. The messages themselves are read later, one at a
// time, through their MessageRef.
//
// Nothing found is dropped without an entry: every message is one entry,
// every message the store marks as expunged is one entry, and whatever
// could not be taken (a file that cannot be read, a path that yields no
// message) is one entry with its reason. A path that is neither a regular
// file nor a folder (a FIFO, a device) is never opened: it is a kProblem
// entry ("not a regular file"), whether named on its own or met in a walk.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <functional>
#include <string_view>
#include <vector>

#include "model/message_ref.h"
#include "model/message_state.h"

namespace mailstore {

// One folder of the store the messages go to.
struct Folder {
  // Its names from the top of the store down, as UTF-8 where the source
  // gives text (modified UTF-7 names decoded) and as the file system's own
  // bytes where a file or folder name is taken as it stands. A name may hold
  // any character, '\' and '/' included: the caller makes store names of them.
  std::vector<std::string> names;
  // The directory or mbox file (system bytes, absolute) whose messages this
  // folder holds: a caller that mirrors the file system places it by this.
  std::string container;
};

enum class EntryKind : uint8_t {
  kMessage,   // a message to convert
  kExpunged,  // deleted in its source but still in the file: not converted, counted
  kProblem,   // nothing taken from `ref.path`; `reason` says why
};

struct Entry {
  EntryKind kind = EntryKind::kMessage;
  model::MessageRef ref;  // the message's bytes (kProblem: only the path)
  int64_t index = -1;     // its position in a file of many, from 0; -1: the file is one message
  uint64_t at = 0;        // in a file of many: where its entry starts (an mbox's "From " line)
  uint32_t folder = 0;    // into ScanResult::folders (kMessage, kExpunged)
  model::MessageState state;
  std::string reason;     // kProblem: why; otherwise empty
};

enum class SourceKind : uint8_t {
  kNone,        // nothing that holds mail (kProblem entry says why)
  kEmlFile,     // one message file
  kEmlFolder,   // a folder walked for message files (and any stores inside it)
  kMaildir,     // Maildir, Maildir++ or Dovecot LAYOUT=fs
  kMbox,        // one mbox file (and its Thunderbird .sbd children)
  kMboxTree,    // a folder of mbox files: a Thunderbird profile's Mail folder, an Apple Mail export
  kEmlx,        // one Apple Mail .emlx / .partial.emlx file
};
std::string_view KindName(SourceKind kind);  // "maildir", "mbox", ... for messages and --help

struct Entry;
struct ScanOptions {
  const std::atomic<bool>* cancel = nullptr;  // set: stop scanning soon, keep what was found
  // Set: handed the entries found so far now and then, in order, while the
  // scan goes on (they leave the result), so that a store of a million
  // messages is never held twice over. The folders stay in the result.
  std::function<void(std::vector<Entry>& entries)> take;
};

struct ScanResult {
  std::vector<Folder> folders;  // each distinct folder once
  std::vector<Entry> entries;   // in the order the messages are to be stored and reported
};

// Scans one path (system bytes; absolute or relative to the current folder)
// and appends what it holds to `out`, folders shared with earlier scans of
// the same result where their names are equal. The store's tree comes from
// the path itself: a Maildir's own messages go to "Inbox" and its
// subfolders beside it; an mbox becomes a folder named after it (a
// Thunderbird NAME.sbd folder's mboxes below it); a folder of .eml files
// gives its own subfolders at the top and its loose files a folder named
// after it. Never throws for what it finds on disk. Returns what it took the
// path for.
SourceKind ScanPath(const std::string& path, ScanResult& out, const ScanOptions& options = {});

}  // namespace mailstore

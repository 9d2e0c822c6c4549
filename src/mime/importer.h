// SPDX-License-Identifier: GPL-3.0-or-later
// Importing one Internet mail message (RFC 5322 with MIME, RFC 2045-2049)
// into the in-memory message object the .pst writer stores, following the
// mapping of [MS-OXCMAIL] 2.2 (Internet mail to message object).
//
// Error model: a file that cannot be read, is empty, or has no header
// section at all and is not text throws ImportError (a text file without
// headers is its own body). Anything else, however malformed, is
// imported as far as possible; what the parser had to repair is reported
// as warnings, never as a failure.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/message.h"
#include "model/message_ref.h"

namespace mime {

class ImportError : public std::runtime_error {
 public:
  explicit ImportError(const std::string& reason) : std::runtime_error(reason) {}
};

namespace detail {
// For tests: `hook` runs after a message file is opened and before it is
// read, so that a test can change the file under the import.
void SetAfterOpenHookForTesting(std::function<void(const std::string& path)> hook);
}  // namespace detail

struct ImportOptions {
  // Nesting of message/rfc822 parts kept as embedded messages; a message
  // nested deeper is kept as a plain .eml attachment instead.
  int maxEmbeddedDepth = 16;
  // When set, PidTagCreationTime and PidTagLastModificationTime are this
  // FILETIME instead of the current time, so that output is repeatable.
  int64_t fixedNow = 0;
};

// Per-file problems found while importing (broken boundaries, bad encodings,
// undecodable characters...): worth a note, not a failure.
using ImportWarnings = std::vector<std::string>;

// What an import reports besides the message: the parser's complaints and
// the importer's own repairs, for the run to show per file.
struct ImportResult {
  ImportWarnings warnings;
};

// Fills `out` (expected empty) from the message file at `path`.
// Throws ImportError when the file is missing, unreadable, empty or not mail.
// Memory use is proportional to the largest single part, not to the file.
ImportResult ImportMessageFile(const std::string& path, model::Message& out);
void ImportMessageFile(const std::string& path, model::Message& out, const ImportOptions& options,
                       ImportWarnings* warnings);

// The same for a message wherever it is: a whole file, or a range of one
// (an mbox entry, unquoted as its format says; an .emlx's message). A range
// past the file's end is read as far as the file goes, with a warning.
ImportResult ImportMessage(const model::MessageRef& ref, model::Message& out);
void ImportMessage(const model::MessageRef& ref, model::Message& out, const ImportOptions& options,
                   ImportWarnings* warnings);

// The same for a message held in memory.
ImportResult ImportMessageData(std::span<const uint8_t> data, model::Message& out);
void ImportMessageData(std::span<const uint8_t> data, model::Message& out,
                       const ImportOptions& options, ImportWarnings* warnings);

}  // namespace mime

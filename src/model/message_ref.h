// SPDX-License-Identifier: GPL-3.0-or-later
// Where one message's bytes are: a whole message file, or a range of a file
// that holds many (an mbox) or wraps one (an Apple Mail .emlx). The importer
// reads exactly these bytes; the writer never sees the reference.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace model {

enum class MessageFormat : uint8_t {
  kRfc822,       // the bytes are the message as they stand
  kMboxQuoted,   // an mbox entry whose "From " lines were quoted: every line
                 // that is ">From ", ">>From ", ... loses exactly one '>'
};

struct MessageRef {
  static constexpr uint64_t kToEnd = UINT64_MAX;

  std::string path;           // the file, in the system's own bytes
  uint64_t offset = 0;        // where the message starts in it
  uint64_t length = kToEnd;   // its bytes on disk (before unquoting); kToEnd: to the end of the file
  MessageFormat format = MessageFormat::kRfc822;

  MessageRef() = default;
  // A whole message file: what every caller that lists files means.
  MessageRef(std::string file) : path(std::move(file)) {}  // NOLINT(google-explicit-constructor)
  MessageRef(const char* file) : path(file) {}             // NOLINT(google-explicit-constructor)
  MessageRef(std::string file, uint64_t at, uint64_t bytes, MessageFormat how)
      : path(std::move(file)), offset(at), length(bytes), format(how) {}

  bool WholeFile() const { return offset == 0 && length == kToEnd && format == MessageFormat::kRfc822; }
  // Importers that only ever read whole files may take the reference as
  // its path.
  operator const std::string&() const { return path; }  // NOLINT(google-explicit-constructor)

  bool operator==(const MessageRef&) const = default;
};

}  // namespace model

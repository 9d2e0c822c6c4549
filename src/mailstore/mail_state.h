// SPDX-License-Identifier: GPL-3.0-or-later
// What an mbox message's own header says of its state: Status / X-Status
// (mutt, Pine, mboxrd writers), X-Mozilla-Status (Thunderbird), X-Unsent,
// Google Takeout's X-Gmail-Labels, and its Content-Length (mboxcl).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mailstore::detail {

struct HeaderFacts {
  bool status_seen = false;  // Status: or X-Mozilla-Status: is there
  bool read = false;         // what it says (when status_seen)
  bool flagged = false;
  bool answered = false;
  bool forwarded = false;
  bool draft = false;
  bool expunged = false;     // deleted, still in the file
  bool has_labels = false;   // X-Gmail-Labels: is there (a Takeout message)
  std::vector<std::string> labels;
  bool has_content_length = false;
  uint64_t content_length = 0;
};

// Takes a message's header line by line and keeps only the fields above.
// It reads at most kMaxHeaderBytes of header; the rest is not looked at.
class HeaderParser {
 public:
  static constexpr size_t kMaxHeaderBytes = 256 * 1024;

  void Line(std::string_view line);  // one header line, with or without its line end
  void End();                        // the header is over: the last field counts too
  const HeaderFacts& facts() const { return facts_; }

 private:
  void Take(std::string_view name, std::string_view value);

  HeaderFacts facts_;
  std::string name_;
  std::string value_;  // the field being read, unfolded
  bool keeping_ = false;
  bool ended_ = false;
  size_t seen_ = 0;
  int status_read_ = -1;   // Status: says read (1) or not (0)
  int mozilla_read_ = -1;  // X-Mozilla-Status: likewise; it wins over Status
};

// The fields one at a time (also what HeaderParser does with them).
void ApplyStatus(std::string_view value, bool& read);  // "RO": R read
void ApplyXStatus(std::string_view value, HeaderFacts& facts);  // A answered, F flagged, T draft, D deleted
bool ApplyMozillaStatus(std::string_view value, HeaderFacts& facts, bool& read);  // false: not hex

}  // namespace mailstore::detail

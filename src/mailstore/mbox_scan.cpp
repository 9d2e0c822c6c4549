// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/mbox_scan.h"

#include <algorithm>
#include <array>

#include "mailstore/line_reader.h"
#include "mailstore/mail_probe.h"

namespace mailstore::detail {
namespace {

constexpr uint64_t kCancelCheckBytes = 4 << 20;

// Whether a body counted by Content-Length may end at `end`: the end of the
// file, or a line start holding a "From " line, or a blank line and then one.
bool CountedEndFits(const ReadFile& file, uint64_t end) {
  if (end > file.size()) return false;
  if (end == file.size()) return true;
  if (end == 0) return false;
  std::array<char, 1024> bytes{};
  const ssize_t got = file.ReadAt(bytes.data(), bytes.size(), end - 1);
  if (got < 2) return false;
  std::string_view at(bytes.data(), static_cast<size_t>(got));
  if (at.front() != '\n') return false;
  at.remove_prefix(1);
  if (StartsWithFrom(at)) return true;
  const std::string_view blank = FirstLine(at);
  return IsBlankLine(blank) && blank.back() == '\n' && StartsWithFrom(at.substr(blank.size()));
}

enum class Phase { kHeader, kBody, kCountedBody, kBetween };

class Splitter {
 public:
  Splitter(const ReadFile& file, MboxScan& scan, const MboxSink& sink) : file_(file), scan_(scan), sink_(sink) {}

  void Start(const Line& from_line) {
    current_ = MboxMessage{};
    current_.at = from_line.start;
    current_.offset = from_line.start + from_line.length;
    header_ = HeaderParser{};
    phase_ = Phase::kHeader;
    blank_before_ = false;
    unquoted_from_ = false;
  }

  void Take(const Line& line) {
    const bool blank = IsBlankLine(line.head) && line.length <= 2;
    switch (phase_) {
      case Phase::kHeader:
        if (blank) {
          header_.End();
          const uint64_t body = line.start + line.length;
          const HeaderFacts& facts = header_.facts();
          if (facts.has_content_length && facts.content_length <= file_.size() - std::min(body, file_.size()) &&
              CountedEndFits(file_, body + facts.content_length)) {
            phase_ = Phase::kCountedBody;
            counted_end_ = body + facts.content_length;
            if (counted_end_ == body) Take(Line{body, 0, {}, false});  // nothing counted: it ends here
          } else {
            phase_ = Phase::kBody;
            blank_before_ = true;
            blank_at_ = line.start;
          }
        } else if (IsSeparatorLine(line.head)) {
          Finish(line.start);
          Start(line);
        } else {
          header_.Line(line.head);
        }
        return;
      case Phase::kBody:
        if (StartsWithFrom(line.head) && (blank_before_ || IsSeparatorLine(line.head))) {
          Finish(blank_before_ ? blank_at_ : line.start);
          Start(line);
          return;
        }
        blank_before_ = blank;
        if (blank) blank_at_ = line.start;
        return;
      case Phase::kCountedBody:
        if (line.start < counted_end_) {
          if (StartsWithFrom(line.head)) unquoted_from_ = true;
          return;
        }
        Finish(counted_end_);
        phase_ = Phase::kBetween;
        if (line.length == 0) return;  // the marker for an empty counted body
        [[fallthrough]];
      case Phase::kBetween:
        // Only the blank line the count was checked against, then the
        // "From " line; a file changed under us might hold other lines.
        if (StartsWithFrom(line.head)) Start(line);
        return;
    }
  }

  void End(uint64_t end_of_file) {
    switch (phase_) {
      case Phase::kHeader:
      case Phase::kBody:
        Finish(end_of_file);
        break;
      case Phase::kCountedBody:
        Finish(std::min(counted_end_, end_of_file));
        break;
      case Phase::kBetween:
        break;
    }
    phase_ = Phase::kBetween;
  }

 private:
  void Finish(uint64_t end) {
    header_.End();
    current_.facts = header_.facts();
    current_.length = end > current_.offset ? end - current_.offset : 0;
    current_.format = phase_ == Phase::kCountedBody && unquoted_from_ ? model::MessageFormat::kRfc822
                                                                     : model::MessageFormat::kMboxQuoted;
    ++scan_.messages;
    sink_(std::move(current_));
    current_ = MboxMessage{};
  }

  const ReadFile& file_;
  MboxScan& scan_;
  const MboxSink& sink_;
  MboxMessage current_;
  HeaderParser header_;
  Phase phase_ = Phase::kBetween;
  bool blank_before_ = false;
  uint64_t blank_at_ = 0;
  uint64_t counted_end_ = 0;
  bool unquoted_from_ = false;
};

}  // namespace

MboxScan ScanMbox(const ReadFile& file, const std::atomic<bool>* cancel, const MboxSink& sink) {
  MboxScan scan;
  LineReader reader(file.fd());
  Line line;
  if (!reader.Next(line)) {
    scan.read_error = reader.error();
    scan.not_mbox = reader.error() == 0;
    return scan;
  }
  if (!StartsWithFrom(line.head)) {
    scan.not_mbox = true;
    return scan;
  }
  Splitter splitter(file, scan, sink);
  splitter.Start(line);
  uint64_t next_check = kCancelCheckBytes;
  while (reader.Next(line)) {
    if (line.start >= next_check) {
      next_check = line.start + kCancelCheckBytes;
      if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
        scan.cancelled = true;
        return scan;
      }
    }
    splitter.Take(line);
  }
  if (reader.error() != 0) {
    scan.read_error = reader.error();
    return scan;
  }
  splitter.End(reader.position());
  return scan;
}

}  // namespace mailstore::detail

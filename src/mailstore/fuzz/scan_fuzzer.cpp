// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry: any bytes through the mail-store parsers. The parsers
// that take text get the bytes directly; the mbox scanner, which reads a
// file, gets them as one file written once per run. Beside the sanitizers'
// findings, a broken invariant of the scan (a range outside the file,
// entries out of order, a folder that is not there) traps.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "mailstore/emlx.h"
#include "mailstore/encoded_words.h"
#include "mailstore/file_io.h"
#include "mailstore/gmail_labels.h"
#include "mailstore/mail_sources.h"
#include "mailstore/mail_state.h"
#include "mailstore/maildir_flags.h"
#include "mailstore/modified_utf7.h"

namespace {

using namespace mailstore;
using namespace mailstore::detail;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

std::string& ScratchFile() {
  static std::string path;
  return path;
}

void RemoveScratch() {
  if (ScratchFile().empty()) return;
  ::unlink(ScratchFile().c_str());
  ::rmdir(DirName(ScratchFile()).c_str());
}

bool WriteAll(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put <= 0) break;
    done += static_cast<size_t>(put);
  }
  ::close(fd);
  return done == bytes.size();
}

bool HasSlash(const std::string& s) { return s.find('/') != std::string::npos; }

void CheckState(const model::MessageState& state) {
  // A draft is never read, and each category is there once.
  Check(!(state.draft && state.read));
  std::set<std::string_view> categories;
  for (const std::string& category : state.categories) Check(categories.insert(category).second);
}

// Maildir names: the first line is the file name, the rest the folder's
// dovecot-keywords file.
void FuzzMaildirName(std::string_view text) {
  const size_t nl = text.find('\n');
  const std::string_view name = text.substr(0, nl);
  const std::string_view keywords_text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
  const std::vector<std::string> keywords = ParseDovecotKeywords(keywords_text);
  Check(keywords.size() == 26);
  const MaildirFlags flags = ParseMaildirName(name, keywords);
  CheckState(flags.state);
  Check(flags.state.categories.size() <= keywords.size());
  (void)IsServerFile(name);
}

void FuzzFolderName(std::string_view text) {
  const std::string decoded = DecodeModifiedUtf7(text);
  // At most 4 UTF-8 bytes for 2 UTF-16 units, which take 6 base64 characters.
  Check(decoded.size() <= text.size() + text.size() / 2 + 4);
  if (text.find('&') == std::string_view::npos) Check(decoded == text);
}

void FuzzLabels(std::string_view text) {
  const std::string decoded = DecodeEncodedWords(text);
  // Latin-1 doubles at most; the other decodings shrink.
  Check(decoded.size() <= 2 * text.size());
  if (text.find("=?") == std::string_view::npos) Check(decoded == text);
  const std::vector<std::string> labels = SplitGmailLabels(decoded);
  size_t bytes = 0;
  for (const std::string& label : labels) {
    Check(!label.empty());
    bytes += label.size();
  }
  Check(bytes <= decoded.size());
  const TakeoutPlace place = PlaceByLabels(labels);
  // Only the deepest folder of a label nested deeper than kept holds a '/'.
  Check(place.folder.size() <= kMaxLabelDepth);
  for (size_t i = 0; i < place.folder.size(); ++i)
    Check(!place.folder[i].empty() && (!HasSlash(place.folder[i]) || i + 1 == kMaxLabelDepth));
  CheckState(place.state);
}

void FuzzHeader(std::string_view text) {
  HeaderParser parser;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string_view::npos ? text.size() : end + 1;
    parser.Line(text.substr(start, end - start));
    start = end;
  }
  parser.End();
  const HeaderFacts& facts = parser.facts();
  Check(facts.has_labels || facts.labels.empty());
  Check(facts.has_content_length || facts.content_length == 0);
}

void FuzzEmlx(const std::string& path, uint64_t size) {
  const ReadFile file(path);
  Check(file.ok() && file.size() == size);
  for (const bool need_plist : {false, true}) {
    if (const auto layout = ReadEmlx(file, need_plist)) {
      Check(layout->offset <= size && layout->length <= size - layout->offset);
      CheckState(StateOfEmlxFlags(layout->flags).state);
    }
  }
}

void CheckScan(const ScanResult& result, const std::string& path, std::string_view bytes) {
  const uint64_t size = bytes.size();
  int64_t next_index = 0;
  uint64_t end_of_last = 0;
  for (const Entry& entry : result.entries) {
    if (entry.kind == EntryKind::kProblem) {
      Check(!entry.reason.empty());
      continue;
    }
    Check(entry.reason.empty());
    Check(entry.ref.path == path);
    Check(entry.folder < result.folders.size());
    CheckState(entry.state);
    if (entry.index < 0) {
      // One message in the file: the whole file, or an .emlx's counted bytes.
      Check(entry.ref.WholeFile() ||
            (entry.ref.offset <= size && entry.ref.length <= size - entry.ref.offset));
      continue;
    }
    // An mbox's messages: counted from 0, in file order, each after its
    // own "From " line and none overlapping the one before.
    Check(entry.index == next_index++);
    Check(entry.at <= entry.ref.offset);
    Check(entry.ref.offset <= size && entry.ref.length <= size - entry.ref.offset);
    Check(entry.at >= end_of_last);
    Check(bytes.substr(entry.at, 5) == "From ");
    Check(entry.ref.offset == size || bytes[entry.ref.offset - 1] == '\n');
    end_of_last = entry.ref.offset + entry.ref.length;
  }
  for (const Folder& folder : result.folders) Check(!folder.names.empty());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/mailstore-fuzz-XXXXXX";
  if (::mkdtemp(dir.data()) == nullptr) std::abort();
  ScratchFile() = dir + "/input";
  std::atexit(RemoveScratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  FuzzMaildirName(text);
  FuzzFolderName(text);
  FuzzLabels(text);
  FuzzHeader(text);

  const std::string& path = ScratchFile();
  if (!WriteAll(path, text)) std::abort();
  FuzzEmlx(path, size);
  ScanResult result;
  ScanPath(path, result);
  CheckScan(result, path, text);
  return 0;
}

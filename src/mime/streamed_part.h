// SPDX-License-Identifier: GPL-3.0-or-later
// Large attachments of a message parsed from its file are not decoded into
// memory: the attachment's bytes are a ByteSource that reads the part's
// encoded content from the file and decodes it as the writer asks for it.
// One pass at import learns the decoded size; the writer's pass reads in
// order. The file stays open (a duplicate of its descriptor, shared by the
// message's parts) until the message is stored and freed; nothing is
// written anywhere, so a killed run leaves nothing behind.
#pragma once

#include <gmime/gmime.h>

#include <cstdint>
#include <memory>

#include "mime/message_file.h"
#include "mime/message_mapping.h"
#include "model/byte_source.h"

namespace mime::detail {

// The file a message is parsed from, held open for the parts read later.
class ContentFile {
 public:
  // Duplicates `fd`, the descriptor the parser reads; nullptr when that
  // fails (the parts are then decoded into memory as usual).
  static std::shared_ptr<const ContentFile> Hold(int fd);
  ~ContentFile();
  ContentFile(const ContentFile&) = delete;
  ContentFile& operator=(const ContentFile&) = delete;

  // Whether a GMime stream reads this file (a part's content, as the
  // parser left it in place).
  bool Backs(GMimeStream* stream) const;
  // Reads up to n bytes at `offset`; fewer only at the end of the file.
  // Throws std::runtime_error when the file cannot be read or is no longer
  // the size and age it had when it was opened.
  size_t ReadAt(uint64_t offset, uint8_t* to, size_t n) const;
  void CheckUnchanged() const;
  // Its size when it was opened.
  uint64_t size() const;

 private:
  ContentFile(int parsedFd, int fd, const file::Facts& facts) : parsedFd_(parsedFd), fd_(fd), opened_(facts) {}
  int parsedFd_;
  int fd_;
  file::Facts opened_;
};

// Parts whose encoded content is larger than this are left in the file.
inline constexpr uint64_t kStreamedPartSize = 8 << 20;

// The content of a leaf part with its transfer encoding undone: left in
// the message's file when it is large and there (ctx.file), else decoded
// into memory (DecodedContent). Throws ImportError as DecodedContent does.
std::shared_ptr<const model::ByteSource> PartContent(GMimePart* part, const ImportContext& ctx);

// How a part's content is encoded in its file, for StreamedPart.
enum class PartEncoding { kNone, kBase64, kQuotedPrintable };

// For tests: bytes [begin, end) of `file` decoded from `encoding`, read in
// pieces of `piece` bytes. nullptr when they cannot be decoded in pieces.
std::shared_ptr<const model::ByteSource> StreamedPartForTesting(std::shared_ptr<const ContentFile> file,
                                                                uint64_t begin, uint64_t end,
                                                                PartEncoding encoding, size_t piece);

}  // namespace mime::detail

// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/streamed_part.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "mime/importer.h"
#include "mime/message_file.h"
#include "mime/piece_decoders.h"
#include "mime/uuencode.h"

namespace mime::detail {

std::shared_ptr<const ContentFile> ContentFile::Hold(int fd) {
  file::Facts facts;
  if (!file::FactsOfOpen(fd, facts)) return nullptr;
  const int copy = file::Duplicate(fd);
  if (copy < 0) return nullptr;
  return std::shared_ptr<const ContentFile>(new ContentFile(fd, copy, facts));
}

ContentFile::~ContentFile() { file::Close(fd_); }

bool ContentFile::Backs(GMimeStream* stream) const {
  return stream && GMIME_IS_STREAM_FS(stream) && GMIME_STREAM_FS(stream)->fd == parsedFd_;
}

uint64_t ContentFile::size() const { return static_cast<uint64_t>(opened_.size); }

void ContentFile::CheckUnchanged() const {
  file::Facts now;
  if (!file::FactsOfOpen(fd_, now))
    throw std::runtime_error("cannot look at the message file again: " + file::LastError());
  if (file::Changed(opened_, now))
    throw std::runtime_error("the message file changed after it was read (" + std::to_string(opened_.size) +
                             " bytes then, " + std::to_string(now.size) +
                             " now), so its attachments could not be stored as they were");
}

size_t ContentFile::ReadAt(uint64_t offset, uint8_t* to, size_t n) const {
  size_t done = 0;
  while (done < n) {
    const int64_t got = file::ReadAt(fd_, to + done, n - done, offset + done);
    if (got < 0) throw std::runtime_error("cannot read the message file again: " + file::LastError());
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

namespace {

// A part's content in the message's file, decoded as it is read. Reads are
// expected in order (the writer stores a value from its start to its end);
// one that goes back starts the decoding again from the beginning.
class StreamedPart final : public model::ByteSource {
 public:
  StreamedPart(std::shared_ptr<const ContentFile> file, uint64_t begin, uint64_t end, PartEncoding encoding,
               size_t piece)
      : file_(std::move(file)), begin_(begin), end_(end), encoding_(encoding), piece_(piece) {}

  // Decodes the content once to learn its size; false when it cannot be
  // decoded in pieces.
  bool Measure() {
    if (encoding_ == PartEncoding::kNone) {
      size_ = end_ - begin_;
      return true;
    }
    Restart();
    uint64_t total = 0;
    for (;;) {
      const bool more = NextPiece();
      if (broken_) return false;
      total += pending_.size();
      if (!more) break;
    }
    size_ = total;
    Release();
    return true;
  }

  uint64_t size() const override { return size_; }

  void read(uint64_t offset, std::span<uint8_t> out) const override {
    std::lock_guard lock(mutex_);
    if (offset > size_ || out.size() > size_ - offset)
      throw std::runtime_error("read past the end of an attachment");
    if (encoding_ == PartEncoding::kNone) {
      if (offset == 0) file_->CheckUnchanged();
      if (file_->ReadAt(begin_ + offset, out.data(), out.size()) != out.size()) throw Shorter();
      return;
    }
    if (!decoder_ || offset < decodedAt_) Restart();
    size_t done = 0;
    while (done < out.size()) {
      if (pendingAt_ == pending_.size()) {
        const bool more = NextPiece();
        if (broken_ || (!more && pending_.empty())) throw Shorter();
      }
      const size_t available = pending_.size() - pendingAt_;
      if (decodedAt_ < offset) {
        const size_t skip = static_cast<size_t>(std::min<uint64_t>(available, offset - decodedAt_));
        pendingAt_ += skip;
        decodedAt_ += skip;
        continue;
      }
      const size_t n = std::min(available, out.size() - done);
      std::memcpy(out.data() + done, pending_.data() + pendingAt_, n);
      pendingAt_ += n;
      decodedAt_ += n;
      done += n;
    }
    // Stored to its end: nothing need stay in memory.
    if (decodedAt_ == size_) Release();
  }

 private:
  static std::runtime_error Shorter() {
    return std::runtime_error("an attachment decodes to fewer bytes than when its message was read");
  }

  void Restart() const {
    file_->CheckUnchanged();
    if (encoding_ == PartEncoding::kBase64)
      decoder_ = std::make_unique<Base64Pieces>();
    else
      decoder_ = std::make_unique<QuotedPrintablePieces>();
    encodedAt_ = begin_;
    finished_ = false;
    broken_ = false;
    pending_.clear();
    pendingAt_ = 0;
    decodedAt_ = 0;
  }

  // Replaces pending_ with the next decoded bytes; false once the content
  // has ended (pending_ then holds the decoder's last bytes, if any).
  // Sets broken_ when the content cannot be decoded in pieces.
  bool NextPiece() const {
    pending_.clear();
    pendingAt_ = 0;
    while (!finished_ && pending_.empty()) {
      if (encodedAt_ >= end_) {
        decoder_->Finish(pending_);
        finished_ = true;
        break;
      }
      const size_t n = static_cast<size_t>(std::min<uint64_t>(piece_, end_ - encodedAt_));
      raw_.resize(n);
      if (file_->ReadAt(encodedAt_, raw_.data(), n) != n) throw Shorter();
      encodedAt_ += n;
      if (!decoder_->Feed(raw_, pending_)) {
        broken_ = true;
        return false;
      }
    }
    return !finished_;
  }

  void Release() const {
    decoder_.reset();
    std::vector<uint8_t>().swap(pending_);
    std::vector<uint8_t>().swap(raw_);
    pendingAt_ = 0;
  }

  std::shared_ptr<const ContentFile> file_;
  uint64_t begin_, end_;
  PartEncoding encoding_;
  size_t piece_;
  uint64_t size_ = 0;

  mutable std::mutex mutex_;
  mutable std::unique_ptr<PieceDecoder> decoder_;
  mutable uint64_t encodedAt_ = 0;  // the next byte of the file to decode
  mutable bool finished_ = false;
  mutable bool broken_ = false;
  mutable std::vector<uint8_t> raw_;
  mutable std::vector<uint8_t> pending_;  // decoded and not yet read
  mutable size_t pendingAt_ = 0;
  mutable uint64_t decodedAt_ = 0;  // where pending_[pendingAt_] is in the decoded content
};

constexpr size_t kPiece = 64 << 10;

std::shared_ptr<const model::ByteSource> InMemory(GMimePart* part) {
  return std::make_shared<model::MemorySource>(DecodedContent(part));
}

}  // namespace

std::shared_ptr<const model::ByteSource> PartContent(GMimePart* part, const ImportContext& ctx) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);  // transfer none
  GMimeStream* encoded = content ? g_mime_data_wrapper_get_stream(content) : nullptr;  // transfer none
  if (!ctx.file || !ctx.file->Backs(encoded)) return InMemory(part);
  const uint64_t begin = static_cast<uint64_t>(std::max<gint64>(encoded->bound_start, 0));
  const uint64_t end = encoded->bound_end < 0 ? ctx.file->size()
                                              : std::min(static_cast<uint64_t>(encoded->bound_end), ctx.file->size());
  if (end <= begin || end - begin <= kStreamedPartSize) return InMemory(part);
  PartEncoding encoding = PartEncoding::kNone;
  switch (g_mime_data_wrapper_get_encoding(content)) {
    case GMIME_CONTENT_ENCODING_BASE64: encoding = PartEncoding::kBase64; break;
    case GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE: encoding = PartEncoding::kQuotedPrintable; break;
    case GMIME_CONTENT_ENCODING_UUENCODE: return InMemory(part);
    default: break;
  }
  if (IsUuencoding(HeaderValue(GMIME_OBJECT(part), "Content-Transfer-Encoding"))) return InMemory(part);
  RefuseUnstorable(end - begin, encoding == PartEncoding::kBase64, StoredAs::kBytes);
  auto source = std::make_shared<StreamedPart>(ctx.file, begin, end, encoding, kPiece);
  try {
    if (!source->Measure()) return InMemory(part);
  } catch (const std::runtime_error& e) {
    throw ImportError(e.what());
  }
  return source;
}

std::shared_ptr<const model::ByteSource> StreamedPartForTesting(std::shared_ptr<const ContentFile> file,
                                                                uint64_t begin, uint64_t end,
                                                                PartEncoding encoding, size_t piece) {
  auto source = std::make_shared<StreamedPart>(std::move(file), begin, end, encoding, piece);
  if (!source->Measure()) return nullptr;
  return source;
}

}  // namespace mime::detail

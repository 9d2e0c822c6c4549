// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/importer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "mime/gmime_session.h"
#include "mime/limits.h"
#include "mime/memory_budget.h"
#include "mime/message_file.h"
#include "mime/mbox_unquote.h"
#include "mime/text_util.h"
#include "model/prop_tags.h"
#include "mime/message_mapping.h"
#include "mime/raw_repair.h"
#include "mime/streamed_part.h"
#include "mime/whole_file_text.h"

namespace mime {
namespace {

using detail::GPtr;

// Where the header section starts: after a UTF-8 byte order mark and blank
// lines that some tools put before it. `head` is the start of the input.
int64_t HeaderStart(std::span<const uint8_t> head) {
  size_t i = 0;
  if (head.size() >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) i = 3;
  // A first line indented like a continuation is still the first field.
  while (i < head.size() && (head[i] == '\r' || head[i] == '\n' || head[i] == ' ' || head[i] == '\t'))
    ++i;
  return static_cast<int64_t>(i);
}

// Fields of the message and of its top part (where GMime files Content-*).
int CountHeaders(GMimeMessage* message) {
  int count = 0;
  for (GMimeObject* object : {GMIME_OBJECT(message), g_mime_message_get_mime_part(message)}) {
    GMimeHeaderList* list = object ? g_mime_object_get_header_list(object) : nullptr;
    if (list) count += g_mime_header_list_get_count(list);
  }
  return count;
}

// The input with the repairs applied, as one stream over the pieces of the
// original and the bytes put in; nullptr when nothing needs repair.
GMimeStream* RepairedStream(GMimeStream* stream, int64_t start, const std::vector<detail::RawEdit>& edits) {
  if (edits.empty()) return nullptr;
  GMimeStream* cat = g_mime_stream_cat_new();
  int64_t from = start;
  for (const detail::RawEdit& edit : edits) {
    const int64_t at = start + static_cast<int64_t>(edit.at);
    if (at > from) {
      GPtr<GMimeStream> piece(g_mime_stream_substream(stream, from, at));
      g_mime_stream_cat_add_source(GMIME_STREAM_CAT(cat), piece.get());
    }
    if (!edit.insert.empty()) {
      GPtr<GMimeStream> added(g_mime_stream_mem_new_with_buffer(edit.insert.data(), edit.insert.size()));
      g_mime_stream_cat_add_source(GMIME_STREAM_CAT(cat), added.get());
    }
    from = std::max(from, at + static_cast<int64_t>(edit.remove));
  }
  GPtr<GMimeStream> rest(g_mime_stream_substream(stream, from, -1));
  g_mime_stream_cat_add_source(GMIME_STREAM_CAT(cat), rest.get());
  return cat;
}

// Where the byte at `offset` of the repaired input (made by RepairedStream
// from the input at `start`) was in the input; a byte put in by a repair
// maps to where it was put.
int64_t OriginalOffset(int64_t offset, int64_t start, const std::vector<detail::RawEdit>& edits) {
  int64_t original = 0, repaired = 0;
  for (const detail::RawEdit& edit : edits) {
    const int64_t at = static_cast<int64_t>(edit.at);
    if (offset < repaired + (at - original)) break;
    repaired += at - original;
    original = at;
    const auto inserted = static_cast<int64_t>(edit.insert.size());
    if (offset < repaired + inserted) return start + original;
    repaired += inserted;
    original += static_cast<int64_t>(edit.remove);
  }
  return start + original + (offset - repaired);
}

// Text with every line ending in CRLF, as valid UTF-8.
std::string CrlfText(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 16);
  for (const uint8_t c : bytes) {
    if (c == '\r') continue;
    if (c == '\n')
      out += "\r\n";
    else
      out += static_cast<char>(c);
  }
  return detail::ValidUtf8(out);
}

// A file with no header section at all that reads as text: kept as a body
// of its own rather than refused. Binary data is not mail.
bool IsHeaderlessText(std::span<const uint8_t> data) {
  return !data.empty() && std::find(data.begin(), data.end(), uint8_t{0}) == data.end();
}

// `data` is the whole input when `whole`, else at least its first bytes.
void ImportFromStream(GMimeStream* stream, std::span<const uint8_t> data, bool whole,
                      model::Message& out, const ImportOptions& options, ImportWarnings* warnings) {
  if (whole) {
    ImportWarnings notes;
    if (const auto text = detail::WholeFileAsMail(data, notes)) {
      ImportWarnings local;
      ImportWarnings* sink = warnings ? warnings : &local;
      sink->insert(sink->end(), notes.begin(), notes.end());
      GPtr<GMimeStream> again(g_mime_stream_mem_new_with_buffer(reinterpret_cast<const char*>(text->data()),
                                                                text->size()));
      ImportFromStream(again.get(), *text, true, out, options, sink);
      return;
    }
  }
  const int64_t start = HeaderStart(data);
  if (start >= static_cast<int64_t>(data.size()))
    throw ImportError("the file holds no mail message (it is blank)");
  // A message in memory is parsed only when the process can afford it; a
  // larger file is parsed from disk, and each part asks as it is decoded.
  std::optional<detail::MemoryReservation> hold;
  if (whole) hold.emplace(detail::MessageMemoryEstimate(data), "read it");
  g_mime_stream_set_bounds(stream, start, -1);

  ImportWarnings local;
  ImportWarnings* sink = warnings ? warnings : &local;
  const std::span<const uint8_t> body = data.subspan(static_cast<size_t>(start));
  // The parser's own warnings cost time in the square of a field's
  // parameters; a field with thousands goes without them.
  ImportWarnings* parserSink = sink;
  if (const size_t most = detail::MostContentParameters(whole ? data : std::span<const uint8_t>{});
      most > detail::kMaxParameters) {
    sink->push_back("a Content field has " + std::to_string(most) +
                    " parameters; the parser's warnings on this message were not collected");
    parserSink = nullptr;
  }
  const std::string_view text(reinterpret_cast<const char*>(body.data()), body.size());
  const std::vector<detail::RawEdit> edits = detail::PlanRawRepairs(text, whole, *sink);
  GPtr<GMimeStream> mended(RepairedStream(stream, start, edits));
  // A header section of thousands of fields is parsed cut down to bounds;
  // the transport headers keep it as it came.
  std::optional<detail::TrimmedHeader> trimmed;
  if (!mended && whole) trimmed = detail::TrimHeaderSection(body);
  if (trimmed) {
    mended.reset(g_mime_stream_cat_new());
    GPtr<GMimeStream> fields(g_mime_stream_mem_new_with_buffer(trimmed->parsed.data(), trimmed->parsed.size()));
    GPtr<GMimeStream> rest(g_mime_stream_substream(stream, start + static_cast<int64_t>(trimmed->end), -1));
    g_mime_stream_cat_add_source(GMIME_STREAM_CAT(mended.get()), fields.get());
    g_mime_stream_cat_add_source(GMIME_STREAM_CAT(mended.get()), rest.get());
    sink->push_back("the header section has " + std::to_string(trimmed->fields) + " fields" +
                    (trimmed->cut ? ", some longer than " + std::to_string(detail::kMaxFieldBytes) + " bytes" : "") +
                    "; " + std::to_string(trimmed->keptFields) +
                    " of them were read, and the transport headers keep every field whole");
  }
  if (!mended) g_mime_stream_seek(stream, start, GMIME_STREAM_SEEK_SET);
  auto parsed = std::make_unique<detail::ParsedMessage>(mended ? mended.get() : stream, parserSink);
  bool repaired = !edits.empty();
  if (!parsed->message() || CountHeaders(parsed->message()) == 0) {
    repaired = false;
    if (!whole || !IsHeaderlessText(body))
      throw ImportError("the file is not a mail message (it has no header section)");
    // Parsed again behind an empty header section: all of it is the body.
    sink->push_back("no header section; the whole file is kept as the text of the message");
    parsed.reset();
    trimmed.reset();
    GPtr<GMimeStream> withBlank(g_mime_stream_cat_new());
    GPtr<GMimeStream> blank(g_mime_stream_mem_new_with_buffer("\n", 1));
    GPtr<GMimeStream> all(g_mime_stream_substream(stream, start, -1));
    g_mime_stream_cat_add_source(GMIME_STREAM_CAT(withBlank.get()), blank.get());
    g_mime_stream_cat_add_source(GMIME_STREAM_CAT(withBlank.get()), all.get());
    mended = std::move(withBlank);
    parsed = std::make_unique<detail::ParsedMessage>(mended.get(), parserSink);
    if (!parsed->message())
      throw ImportError("the file is not a mail message (it has no header section)");
  }
  GMimeMessage* message = parsed->message();
  // A signature covers the body as it came, not as it was repaired.
  if (repaired && parsed->headersEnd() >= 0)
    parsed->SetOriginalBody(stream, OriginalOffset(parsed->headersEnd(), start, edits));

  const int64_t now = options.fixedNow != 0 ? options.fixedNow
                                            : model::FileTimeFromUnix(static_cast<int64_t>(std::time(nullptr)));
  // Parsed from its file, a message's large parts stay there until stored.
  std::shared_ptr<const detail::ContentFile> file;
  if (!whole && GMIME_IS_STREAM_FS(stream)) file = detail::ContentFile::Hold(GMIME_STREAM_FS(stream)->fd);
  const detail::ImportContext ctx{options, sink, now, parsed.get(), std::move(file)};
  out = model::Message();
  detail::ImportParsedMessage(message, out, ctx, 0);
  if (trimmed)
    out.props.Set(model::tags::kTransportMessageHeaders, CrlfText(body.subspan(0, trimmed->end)));
  out.warnings = *sink;
}

// For tests: runs between opening a message file and reading it.
std::function<void(const std::string&)> g_afterOpen;

// Files up to this size are read whole with one call and parsed from
// memory: the parser's many small reads and seeks cost more than the copy.
constexpr int64_t kWholeFileLimit = 64 << 20;
// Of a larger file, this much is read first to find its header section.
constexpr size_t kHeadScanLimit = 1 << 20;

// Each thread keeps one buffer for the files it reads, so that a run of
// messages does not allocate, fault in and free a new one per file. Files
// larger than this get a buffer of their own, given back at once.
constexpr size_t kReusedBufferLimit = 8 << 20;

struct ReusedBuffer {
  GByteArray* array = nullptr;
  bool inUse = false;
  ~ReusedBuffer() {
    if (array) g_byte_array_unref(array);
  }
};
thread_local ReusedBuffer t_buffer;

// Marks the thread's buffer free again when the stream over it is gone.
class BufferLease {
 public:
  BufferLease() = default;
  BufferLease(const BufferLease&) = delete;
  BufferLease& operator=(const BufferLease&) = delete;
  ~BufferLease() {
    if (held_) t_buffer.inUse = false;
  }
  GByteArray* Take(size_t size) {
    if (size > kReusedBufferLimit || t_buffer.inUse) return g_byte_array_sized_new(static_cast<guint>(size));
    if (!t_buffer.array) t_buffer.array = g_byte_array_new();
    t_buffer.inUse = true;
    held_ = true;
    return t_buffer.array;
  }
  bool held() const { return held_; }

 private:
  bool held_ = false;
};

// Reads the open file (of `size` bytes when it was looked at) into a memory
// stream and closes it. A file that shrank since is read as far as it goes.
// The lease must outlive the stream.
GMimeStream* WholeFileStream(int fd, size_t size, BufferLease& lease) {
  GByteArray* array = lease.Take(size);
  g_byte_array_set_size(array, static_cast<guint>(size));
  auto fail = [&](const std::string& why) {
    file::Close(fd);
    if (!lease.held()) g_byte_array_unref(array);
    throw ImportError(why);
  };
  size_t done = 0;
  while (done < size) {
    const int64_t n = file::Read(fd, array->data + done, size - done);
    if (n < 0) fail("cannot read it: " + file::LastError());
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  g_byte_array_set_size(array, static_cast<guint>(done));
  if (done == 0) fail("the file is empty");
  file::Close(fd);
  GMimeStream* stream = g_mime_stream_mem_new_with_byte_array(array);
  // A stream owns its array unless told otherwise; the thread's buffer
  // stays with the thread.
  if (lease.held()) g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(stream), FALSE);
  return stream;
}

}  // namespace

ImportResult ImportMessageFile(const std::string& path, model::Message& out) {
  ImportResult result;
  ImportMessageFile(path, out, ImportOptions{}, &result.warnings);
  return result;
}

namespace {

// Imports the open regular file of `size` bytes; takes over fd. `label`
// names it in reasons.
void ImportOpenFile(int fd, int64_t size, model::Message& out, const ImportOptions& options,
                    ImportWarnings* warnings) {
  if (size <= kWholeFileLimit) {
    BufferLease lease;
    GPtr<GMimeStream> stream(WholeFileStream(fd, static_cast<size_t>(size), lease));
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
    ImportFromStream(stream.get(), std::span<const uint8_t>(bytes->data, bytes->len), true, out, options,
                     warnings);
    return;
  }
  // A very large file: the first bytes decide where the headers start;
  // the parser then reads the file through the stream, keeping part
  // contents on disk until they are decoded.
  std::vector<uint8_t> head(kHeadScanLimit);
  const int64_t got = file::ReadAt(fd, head.data(), head.size(), 0);
  if (got <= 0) {
    const std::string why = got < 0 ? file::LastError() : "no data";
    file::Close(fd);
    throw ImportError("cannot read it: " + why);
  }
  GPtr<GMimeStream> stream(g_mime_stream_fs_new(fd));  // owns fd from here on
  ImportFromStream(stream.get(), std::span<const uint8_t>(head.data(), static_cast<size_t>(got)), false, out,
                   options, warnings);
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) file::Close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// Reads up to n bytes at offset; fewer only at the end of the file.
size_t ReadAt(int fd, uint8_t* to, size_t n, uint64_t offset) {
  size_t done = 0;
  while (done < n) {
    const int64_t got = file::ReadAt(fd, to + done, n - done, offset + done);
    if (got < 0) throw ImportError("cannot read it: " + file::LastError());
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

// A large range goes to an unnamed temporary file, unquoted on the way, and
// is imported from there as any large file is: its memory stays bounded.
int SpillToTemporaryFile(int fd, uint64_t offset, uint64_t length, bool unquote) {
  const char* dir = g_get_tmp_dir();
  const int tmp = file::OpenUnnamedTemporary(dir);
  if (tmp < 0) throw ImportError(std::string("cannot make a temporary file in ") + dir + ": " + file::LastError());
  Fd owned(tmp);
  const std::string failure = CopyRange(fd, offset, length, unquote, tmp);
  if (!failure.empty()) throw ImportError(failure);
  return owned.release();
}

}  // namespace

void ImportMessageFile(const std::string& path, model::Message& out, const ImportOptions& options,
                       ImportWarnings* warnings) {
  detail::EnsureGMime();
  file::Facts st;
  const int fd = file::OpenRegular(path, st);
  if (st.size == 0) {
    file::Close(fd);
    throw ImportError(path + " is empty");
  }
  if (g_afterOpen) g_afterOpen(path);
  try {
    ImportOpenFile(fd, st.size, out, options, warnings);
  } catch (const ImportError& e) {
    throw ImportError(path + ": " + e.what());
  }
  // Another program may write the file while it is read (a mail client
  // still saving it, a sync tool): what was read is stored, and said to be
  // of a file that changed.
  file::Facts after;
  if (file::FactsOf(path, after) && file::Changed(st, after)) {
    const std::string note = "the file changed while it was read (" + std::to_string(st.size) +
                             " bytes when it was opened, " + std::to_string(after.size) +
                             " now): what was read is stored";
    out.warnings.push_back(note);
    if (warnings) warnings->push_back(note);
  }
}

namespace detail {
void SetAfterOpenHookForTesting(std::function<void(const std::string& path)> hook) { g_afterOpen = std::move(hook); }
}  // namespace detail

ImportResult ImportMessage(const model::MessageRef& ref, model::Message& out) {
  ImportResult result;
  ImportMessage(ref, out, ImportOptions{}, &result.warnings);
  return result;
}

void ImportMessage(const model::MessageRef& ref, model::Message& out, const ImportOptions& options,
                   ImportWarnings* warnings) {
  if (ref.WholeFile()) {
    ImportMessageFile(ref.path, out, options, warnings);
    return;
  }
  detail::EnsureGMime();
  file::Facts st;
  Fd fd(file::OpenRegular(ref.path, st));
  const std::string where = ref.path + " at byte " + std::to_string(ref.offset);
  const uint64_t size = static_cast<uint64_t>(st.size);
  // An mbox entry that is only its "From " line holds no message at all.
  if (ref.length == 0) throw ImportError(where + ": the message is empty");
  if (ref.offset >= size)
    throw ImportError(where + ": the file ends before this message (it is shorter than when it was scanned)");
  const uint64_t available = size - ref.offset;
  const uint64_t length = ref.length == model::MessageRef::kToEnd ? available : std::min(ref.length, available);
  if (length == 0) throw ImportError(where + ": the message is empty");
  ImportWarnings local;
  ImportWarnings* sink = warnings ? warnings : &local;
  std::vector<std::string> early;
  if (ref.length != model::MessageRef::kToEnd && ref.length > available)
    early.push_back("the file ends " + std::to_string(ref.length - available) +
                    " bytes before the end of this message (it is shorter than when it was scanned)");
  const bool unquote = ref.format == model::MessageFormat::kMboxQuoted;
  try {
    if (length <= static_cast<uint64_t>(kWholeFileLimit)) {
      BufferLease lease;
      GByteArray* array = lease.Take(static_cast<size_t>(length));
      g_byte_array_set_size(array, static_cast<guint>(length));
      size_t got = 0;
      try {
        got = ReadAt(fd.get(), array->data, static_cast<size_t>(length), ref.offset);
      } catch (...) {
        if (!lease.held()) g_byte_array_unref(array);
        throw;
      }
      bool atLineStart = true;
      if (unquote) got = UnquoteFromLines(array->data, got, atLineStart);
      g_byte_array_set_size(array, static_cast<guint>(got));
      GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_byte_array(array));
      if (lease.held()) g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(stream.get()), FALSE);
      if (got == 0) throw ImportError("the message is empty");
      ImportFromStream(stream.get(), std::span<const uint8_t>(array->data, array->len), true, out, options, sink);
    } else {
      const int tmp = SpillToTemporaryFile(fd.get(), ref.offset, length, unquote);
      file::Facts tst;
      if (!file::FactsOfOpen(tmp, tst)) {
        const std::string why = file::LastError();
        file::Close(tmp);
        throw ImportError("cannot read its temporary copy: " + why);
      }
      ImportOpenFile(tmp, tst.size, out, options, sink);
    }
  } catch (const ImportError& e) {
    throw ImportError(where + ": " + e.what());
  }
  out.warnings.insert(out.warnings.begin(), early.begin(), early.end());
  if (warnings) sink->insert(sink->begin(), early.begin(), early.end());
}

ImportResult ImportMessageData(std::span<const uint8_t> data, model::Message& out) {
  ImportResult result;
  ImportMessageData(data, out, ImportOptions{}, &result.warnings);
  return result;
}

void ImportMessageData(std::span<const uint8_t> data, model::Message& out,
                       const ImportOptions& options, ImportWarnings* warnings) {
  detail::EnsureGMime();
  if (data.empty()) throw ImportError("the message is empty");
  GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(
      reinterpret_cast<const char*>(data.data()), data.size()));
  ImportFromStream(stream.get(), data, true, out, options, warnings);
}

}  // namespace mime

#include "mime/importer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>
#include <string_view>

#include "mime/gmime_session.h"
#include "mime/limits.h"
#include "mime/text_util.h"
#include "pst/prop_tags.h"
#include "mime/message_mapping.h"

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

bool IsFieldNameChar(uint8_t c) { return c >= 33 && c <= 126 && c != ':'; }

// Some writers forget the blank line between header and body, so the first
// line of text follows the last field. GMime would take that line for a
// broken field and drop the text; a line that reads like prose (it has a
// space before any colon) is taken as the start of the body instead.
// Returns the offset of that line, or -1 when the header section is sound.
int64_t MissingBlankLineAt(GMimeStream* stream, int64_t start) {
  constexpr size_t kScanLimit = 1 << 20;
  std::string head;
  GPtr<GMimeStream> sub(g_mime_stream_substream(stream, start, -1));
  char buffer[8192];
  while (head.size() < kScanLimit) {
    const ssize_t got = g_mime_stream_read(sub.get(), buffer, sizeof buffer);
    if (got <= 0) break;
    head.append(buffer, static_cast<size_t>(got));
    if (head.find("\n\n") != std::string::npos || head.find("\n\r\n") != std::string::npos) break;
  }
  size_t pos = 0;
  bool first = true;
  while (pos < head.size()) {
    size_t eol = head.find('\n', pos);
    if (eol == std::string::npos) return -1;  // the section runs past what was read
    std::string_view line(head.data() + pos, eol - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) return -1;  // the proper end of the header section
    const bool continuation = line[0] == ' ' || line[0] == '\t';
    const bool mbox = first && line.substr(0, 5) == "From ";
    size_t i = 0;
    while (i < line.size() && IsFieldNameChar(static_cast<uint8_t>(line[i]))) ++i;
    size_t j = i;
    while (j < line.size() && (line[j] == ' ' || line[j] == '\t')) ++j;
    const bool field = i > 0 && j < line.size() && line[j] == ':';
    if (!continuation && !mbox && !field && !first) {
      const size_t colon = line.find(':');
      const size_t space = line.find(' ');
      if (space != std::string_view::npos && (colon == std::string_view::npos || space < colon))
        return start + static_cast<int64_t>(pos);
    }
    first = false;
    pos = eol + 1;
  }
  return -1;
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

// `whole` is the whole input when it sits in memory, else empty.
void ImportFromStream(GMimeStream* stream, std::span<const uint8_t> head, std::span<const uint8_t> whole,
                      pst::Message& out, const ImportOptions& options, ImportWarnings* warnings) {
  const int64_t start = HeaderStart(head);
  if (start >= static_cast<int64_t>(head.size()))
    throw ImportError("the file holds no mail message (it is blank)");
  g_mime_stream_set_bounds(stream, start, -1);

  ImportWarnings local;
  ImportWarnings* sink = warnings ? warnings : &local;
  GPtr<GMimeStream> mended;
  if (const int64_t at = MissingBlankLineAt(stream, start); at > start) {
    // Parse the input with the missing blank line put back in.
    mended.reset(g_mime_stream_cat_new());
    GPtr<GMimeStream> before(g_mime_stream_substream(stream, start, at));
    GPtr<GMimeStream> blank(g_mime_stream_mem_new_with_buffer("\n", 1));
    GPtr<GMimeStream> after(g_mime_stream_substream(stream, at, -1));
    g_mime_stream_cat_add_source(GMIME_STREAM_CAT(mended.get()), before.get());
    g_mime_stream_cat_add_source(GMIME_STREAM_CAT(mended.get()), blank.get());
    g_mime_stream_cat_add_source(GMIME_STREAM_CAT(mended.get()), after.get());
    sink->push_back("no blank line after the header section; the body starts at byte " +
                    std::to_string(at));
  } else {
    g_mime_stream_seek(stream, start, GMIME_STREAM_SEEK_SET);
  }
  // The parser's own warnings cost time in the square of a field's
  // parameters; a field with thousands goes without them.
  ImportWarnings* parserSink = sink;
  if (const size_t most = detail::MostContentParameters(whole); most > detail::kMaxParameters) {
    sink->push_back("a Content field has " + std::to_string(most) +
                    " parameters; the parser's warnings on this message were not collected");
    parserSink = nullptr;
  }
  // A header section of thousands of fields is parsed cut down to bounds;
  // the transport headers keep it as it came.
  std::optional<detail::TrimmedHeader> trimmed;
  GPtr<GMimeStream> bounded;
  if (!mended && !whole.empty()) trimmed = detail::TrimHeaderSection(whole.subspan(static_cast<size_t>(start)));
  if (trimmed) {
    bounded.reset(g_mime_stream_cat_new());
    GPtr<GMimeStream> fields(g_mime_stream_mem_new_with_buffer(trimmed->parsed.data(), trimmed->parsed.size()));
    GPtr<GMimeStream> rest(g_mime_stream_substream(stream, start + static_cast<int64_t>(trimmed->end), -1));
    g_mime_stream_cat_add_source(GMIME_STREAM_CAT(bounded.get()), fields.get());
    g_mime_stream_cat_add_source(GMIME_STREAM_CAT(bounded.get()), rest.get());
    sink->push_back("the header section has " + std::to_string(trimmed->fields) + " fields" +
                    (trimmed->cut ? ", some longer than " + std::to_string(detail::kMaxFieldBytes) + " bytes" : "") +
                    "; " + std::to_string(trimmed->keptFields) +
                    " of them were read, and the transport headers keep every field whole");
  }
  detail::ParsedMessage parsed(bounded ? bounded.get() : mended ? mended.get() : stream, parserSink);
  GMimeMessage* message = parsed.message();
  if (!message || CountHeaders(message) == 0)
    throw ImportError("the file is not a mail message (it has no header section)");

  const int64_t now = options.fixedNow != 0 ? options.fixedNow
                                            : pst::FileTimeFromUnix(static_cast<int64_t>(std::time(nullptr)));
  const detail::ImportContext ctx{options, sink, now, &parsed};
  out = pst::Message();
  detail::ImportParsedMessage(message, out, ctx, 0);
  if (trimmed)
    out.props.Set(pst::tags::kTransportMessageHeaders,
                  CrlfText(whole.subspan(static_cast<size_t>(start), trimmed->end)));
}

std::string NotRegularReason(mode_t mode) {
  if (S_ISFIFO(mode)) return "it is a FIFO (named pipe), not a regular file";
  if (S_ISDIR(mode)) return "it is a folder, not a regular file";
  if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
  return "not a regular file";
}

// Files up to this size are read whole with one call and parsed from
// memory: the parser's many small reads and seeks cost more than the copy.
constexpr off_t kWholeFileLimit = 64 << 20;

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
    ::close(fd);
    if (!lease.held()) g_byte_array_unref(array);
    throw ImportError(why);
  };
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, array->data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail(std::string("cannot read it: ") + std::strerror(errno));
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  g_byte_array_set_size(array, static_cast<guint>(done));
  if (done == 0) fail("the file is empty");
  ::close(fd);
  GMimeStream* stream = g_mime_stream_mem_new_with_byte_array(array);
  // A stream owns its array unless told otherwise; the thread's buffer
  // stays with the thread.
  if (lease.held()) g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(stream), FALSE);
  return stream;
}

}  // namespace

void ImportMessageFile(const std::string& path, pst::Message& out) {
  ImportMessageFile(path, out, ImportOptions{}, nullptr);
}

void ImportMessageFile(const std::string& path, pst::Message& out, const ImportOptions& options,
                       ImportWarnings* warnings) {
  detail::EnsureGMime();
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never
  // come; nothing but a regular file is read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    throw ImportError("cannot open " + path + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw ImportError("cannot read " + path + ": " + NotRegularReason(st.st_mode));
  }
  if (st.st_size == 0) {
    ::close(fd);
    throw ImportError(path + " is empty");
  }
  try {
    if (st.st_size <= kWholeFileLimit) {
      BufferLease lease;
      GPtr<GMimeStream> stream(WholeFileStream(fd, static_cast<size_t>(st.st_size), lease));
      GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
      const std::span<const uint8_t> whole(bytes->data, bytes->len);
      ImportFromStream(stream.get(), whole.subspan(0, std::min<size_t>(whole.size(), 4096)), whole, out, options,
                       warnings);
      return;
    }
    // A very large file: the first bytes decide where the headers start;
    // the parser then reads the file through the stream, keeping part
    // contents on disk until they are decoded.
    uint8_t head[4096];
    const ssize_t got = ::pread(fd, head, sizeof head, 0);
    if (got <= 0) {
      const int err = errno;
      ::close(fd);
      throw ImportError(std::string("cannot read it: ") + (got < 0 ? std::strerror(err) : "no data"));
    }
    GPtr<GMimeStream> stream(g_mime_stream_fs_new(fd));  // owns fd from here on
    ImportFromStream(stream.get(), std::span<const uint8_t>(head, static_cast<size_t>(got)), {}, out, options,
                     warnings);
  } catch (const ImportError& e) {
    throw ImportError(path + ": " + e.what());
  }
}

void ImportMessageData(std::span<const uint8_t> data, pst::Message& out) {
  ImportMessageData(data, out, ImportOptions{}, nullptr);
}

void ImportMessageData(std::span<const uint8_t> data, pst::Message& out,
                       const ImportOptions& options, ImportWarnings* warnings) {
  detail::EnsureGMime();
  if (data.empty()) throw ImportError("the message is empty");
  GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(
      reinterpret_cast<const char*>(data.data()), data.size()));
  ImportFromStream(stream.get(), data.subspan(0, std::min<size_t>(data.size(), 4096)), data, out, options,
                   warnings);
}

}  // namespace mime

// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/gmime_session.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "mime/importer.h"
#include "mime/memory_budget.h"
#include "mime/piece_decoders.h"
#include "mime/quoted_printable.h"
#include "mime/text_util.h"
#include "mime/uuencode.h"

namespace mime::detail {

void EnsureGMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

namespace {

const char* WarningName(GMimeParserWarning code) {
  switch (code) {
    case GMIME_WARN_DUPLICATED_HEADER: return "duplicated header";
    case GMIME_WARN_DUPLICATED_PARAMETER: return "duplicated parameter";
    case GMIME_WARN_UNENCODED_8BIT_HEADER: return "unencoded 8-bit header";
    case GMIME_WARN_INVALID_CONTENT_TYPE: return "invalid content type";
    case GMIME_WARN_INVALID_RFC2047_HEADER_VALUE: return "invalid RFC 2047 header value";
    case GMIME_WARN_MALFORMED_MULTIPART: return "malformed multipart";
    case GMIME_WARN_TRUNCATED_MESSAGE: return "truncated message";
    case GMIME_WARN_MALFORMED_MESSAGE: return "malformed message";
    case GMIME_CRIT_INVALID_HEADER_NAME: return "invalid header name";
    case GMIME_CRIT_CONFLICTING_HEADER: return "conflicting header";
    case GMIME_CRIT_CONFLICTING_PARAMETER: return "conflicting parameter";
    case GMIME_CRIT_MULTIPART_WITHOUT_BOUNDARY: return "multipart without boundary";
    case GMIME_WARN_INVALID_PARAMETER: return "invalid parameter";
    case GMIME_WARN_INVALID_ADDRESS_LIST: return "invalid address list";
    case GMIME_CRIT_NESTING_OVERFLOW: return "MIME nesting too deep";
    case GMIME_WARN_PART_WITHOUT_CONTENT: return "part without content";
    case GMIME_CRIT_PART_WITHOUT_HEADERS_OR_CONTENT: return "part without headers or content";
  }
  return "parser warning";
}

// A file with thousands of broken headers would otherwise give thousands of
// identical notes; past this many, the rest are counted in the last one.
constexpr size_t kMaxWarnings = 100;
// Parts that decode to more than this ask the memory budget first.
constexpr uint64_t kReservedDecodeSize = 8 << 20;

void OnParserWarning(gint64 offset, GMimeParserWarning code, const gchar* item, gpointer data) {
  auto* warnings = static_cast<std::vector<std::string>*>(data);
  if (!warnings) return;
  if (warnings->size() >= kMaxWarnings) {
    if (warnings->size() == kMaxWarnings) warnings->push_back("further parser warnings omitted");
    return;
  }
  std::string text = WarningName(code);
  if (offset >= 0) text += " at byte " + std::to_string(offset);
  if (item && *item) text += ": " + Truncated(ValidUtf8(item), 200);
  warnings->push_back(std::move(text));
}

}  // namespace

ParsedMessage::ParsedMessage(GMimeStream* stream, std::vector<std::string>* warnings)
    : options_(g_mime_parser_options_new()), stream_(GMIME_STREAM(g_object_ref(stream))) {
  EnsureGMime();
  // Raw 8-bit header text: UTF-8 when it is valid, else the usual Western
  // Windows code page, which maps every byte to some character.
  static const char* fallback[] = {"UTF-8", "windows-1252", nullptr};
  g_mime_parser_options_set_fallback_charsets(options_, fallback);
  if (warnings) g_mime_parser_options_set_warning_callback(options_, OnParserWarning, warnings);
  GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream));
  g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
  g_mime_parser_set_persist_stream(parser.get(), TRUE);
  // Some exporters put an mbox "From " line before the headers.
  g_mime_parser_set_respect_content_length(parser.get(), FALSE);
  message_.reset(g_mime_parser_construct_message(parser.get(), options_));
  headersEnd_ = g_mime_parser_get_headers_end(parser.get());
}

void ParsedMessage::SetOriginalBody(GMimeStream* original, int64_t offset) {
  original_.reset(GMIME_STREAM(g_object_ref(original)));
  originalBodyAt_ = offset;
}

std::vector<uint8_t> ParsedMessage::RawBody() const {
  std::vector<uint8_t> out;
  if (headersEnd_ < 0) return out;
  GPtr<GMimeStream> sub(original_ ? g_mime_stream_substream(original_.get(), originalBodyAt_, -1)
                                  : g_mime_stream_substream(stream_.get(), headersEnd_, -1));
  GPtr<GMimeStream> sink(g_mime_stream_mem_new());
  g_mime_stream_write_to_stream(sub.get(), sink.get());
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(sink.get()));
  size_t skip = 0;  // the line break of the blank line, when the offset is before it
  if (bytes && bytes->len && bytes->data[0] == '\r') ++skip;
  if (bytes && bytes->len > skip && bytes->data[skip] == '\n') ++skip;
  if (bytes && bytes->len > skip) out.assign(bytes->data + skip, bytes->data + bytes->len);
  return out;
}

ParsedMessage::~ParsedMessage() {
  message_.reset();
  g_mime_parser_options_free(options_);
}

namespace {

// Base64 as Base64Pieces reads it, for a content read whole.
std::vector<uint8_t> LenientBase64(GMimeStream* encoded) {
  Base64Pieces decoder;
  std::vector<uint8_t> out;
  size_t used = 0;
  char buffer[65536];
  g_mime_stream_reset(encoded);
  // Sized once from the encoded length, so a large part does not pass through
  // a doubled buffer; grown only when the stream's length was not known.
  const gint64 encodedLength = g_mime_stream_length(encoded);
  // (Each piece's room, MaxDecoded, rounds up by at most a few bytes more
  // than the whole's.)
  if (encodedLength > 0) out.resize(Base64Pieces::MaxDecoded(static_cast<size_t>(encodedLength)) + 8);
  while (true) {
    const ssize_t got = g_mime_stream_read(encoded, buffer, sizeof buffer);
    if (got <= 0) break;
    const size_t room = Base64Pieces::MaxDecoded(static_cast<size_t>(got));
    if (out.size() - used < room) out.resize(used + room);
    used += decoder.Decode(std::span(reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(got)),
                           out.data() + used);
  }
  out.resize(used);
  return out;
}

}  // namespace

void RefuseUnstorable(uint64_t encodedSize, bool base64, StoredAs storedAs) {
  const uint64_t bound = detail::DecodedSizeBound(encodedSize, base64);
  const bool text = storedAs == StoredAs::kText;
  // Text is stored as UTF-16: up to two bytes for each one decoded.
  if ((text ? 2 * bound : bound) > detail::kMaxValueBytes)
    throw ImportError("its " + std::string(text ? "text body" : "part") + " of " + std::to_string(encodedSize) +
                      " bytes is too large for a .pst, whose values hold less than 4 GiB" +
                      (text ? " (text is stored as UTF-16)" : ""));
}

std::vector<uint8_t> DecodedContent(GMimePart* part, StoredAs storedAs) {
  std::vector<uint8_t> out;
  GMimeDataWrapper* content = g_mime_part_get_content(part);  // transfer none
  if (!content) return out;
  const bool uuencoded = IsUuencoding(HeaderValue(GMIME_OBJECT(part), "Content-Transfer-Encoding"));
  const bool quoted =
      g_mime_data_wrapper_get_encoding(content) == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
  GMimeStream* encoded = g_mime_data_wrapper_get_stream(content);  // transfer none
  // What cannot be stored is never decoded, and what is decoded must fit
  // in what the process has left.
  std::optional<detail::MemoryReservation> hold;
  if (const gint64 length = encoded ? g_mime_stream_length(encoded) : -1; length > 0) {
    const auto encodedSize = static_cast<uint64_t>(length);
    const bool base64 = g_mime_data_wrapper_get_encoding(content) == GMIME_CONTENT_ENCODING_BASE64;
    const uint64_t bound = detail::DecodedSizeBound(encodedSize, base64);
    const bool text = storedAs == StoredAs::kText;
    RefuseUnstorable(encodedSize, base64, storedAs);
    if (bound > kReservedDecodeSize)
      hold.emplace((text ? 4 : 2) * bound + (quoted || uuencoded ? encodedSize : 0),
                   "decode its part of " + std::to_string(encodedSize) + " bytes");
  }
  if ((uuencoded || quoted) && encoded) {
    GPtr<GMimeStream> sink(g_mime_stream_mem_new());
    g_mime_stream_reset(encoded);
    g_mime_stream_write_to_stream(encoded, sink.get());
    GByteArray* raw = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(sink.get()));
    const std::string_view text =
        raw ? std::string_view(reinterpret_cast<const char*>(raw->data), raw->len) : std::string_view();
    if (quoted) return DecodeQuotedPrintable(text);
    // GMime's uudecoder trusts every line's length; lines whose trailing
    // spaces were lost in transport need the lenient one.
    std::vector<uint8_t> file = DecodeUuencodedPart(std::string(text));
    if (!file.empty()) return file;
  }
  if (g_mime_data_wrapper_get_encoding(content) == GMIME_CONTENT_ENCODING_BASE64 && encoded)
    return LenientBase64(encoded);
  GPtr<GMimeStream> sink(g_mime_stream_mem_new());
  g_mime_data_wrapper_write_to_stream(content, sink.get());
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(sink.get()));
  if (bytes && bytes->len) out.assign(bytes->data, bytes->data + bytes->len);
  return out;
}

std::vector<uint8_t> SerializedObject(GMimeObject* object) {
  std::vector<uint8_t> out;
  GPtr<GMimeStream> sink(g_mime_stream_mem_new());
  g_mime_object_write_to_stream(object, nullptr, sink.get());
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(sink.get()));
  if (bytes && bytes->len) out.assign(bytes->data, bytes->data + bytes->len);
  return out;
}

std::string MimeTypeOf(GMimeObject* object) {
  GMimeContentType* type = g_mime_object_get_content_type(object);  // transfer none
  if (!type) return "text/plain";
  const char* major = g_mime_content_type_get_media_type(type);
  const char* minor = g_mime_content_type_get_media_subtype(type);
  std::string result = AsciiLower(major ? major : "text") + "/" + AsciiLower(minor ? minor : "plain");
  return result;
}

std::string HeaderValue(GMimeObject* object, const char* name) {
  GMimeHeaderList* headers = g_mime_object_get_header_list(object);  // transfer none
  if (!headers) return {};
  GMimeHeader* header = g_mime_header_list_get_header(headers, name);  // transfer none
  if (!header) return {};
  const char* raw = g_mime_header_get_raw_value(header);
  return Trimmed(Unfolded(ValidUtf8(raw ? raw : "")));
}

}  // namespace mime::detail

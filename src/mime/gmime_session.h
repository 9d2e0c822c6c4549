// SPDX-License-Identifier: GPL-3.0-or-later
// The thin layer between the importer and GMime: library start-up, owning
// pointers for GObjects, and the parser set up the way the importer needs it.
// No GMime type leaves src/mime/.
#pragma once

#include <gmime/gmime.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mime::detail {

// Starts GMime once per process; safe to call from any thread.
void EnsureGMime();

struct GObjectUnref {
  void operator()(void* object) const {
    if (object) g_object_unref(object);
  }
};
// Owns one reference. Functions documented "transfer full" hand us one;
// "transfer none" results must not be wrapped (or must be g_object_ref'd first).
template <typename T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

// A parsed message together with the parser options it was made with: GMime
// keeps a pointer to the options in the message's header lists and parses
// addresses lazily, so the options (and the warning sink their callback
// writes to) must outlive the message. Not copyable or movable.
class ParsedMessage {
 public:
  // Parses a whole message from `stream`, which the message then references
  // instead of copying: part contents stay in the stream until decoded.
  // Complaints of the parser go into `warnings` (may be null), which must
  // outlive this object.
  ParsedMessage(GMimeStream* stream, std::vector<std::string>* warnings);
  ~ParsedMessage();
  ParsedMessage(const ParsedMessage&) = delete;
  ParsedMessage& operator=(const ParsedMessage&) = delete;

  // nullptr when GMime found no message at all.
  GMimeMessage* message() const { return message_.get(); }
  // The message's body exactly as it is in the input: everything after the
  // blank line that ends the top-level header section.
  std::vector<uint8_t> RawBody() const;
  // Where the top-level header section ends in the stream parsed.
  int64_t headersEnd() const { return headersEnd_; }
  // Parsed from a repaired copy: the body as it was before the repairs
  // starts at `offset` of `original`, and RawBody reads it from there.
  void SetOriginalBody(GMimeStream* original, int64_t offset);

 private:
  GMimeParserOptions* options_;  // owned; freed after message_
  GPtr<GMimeStream> stream_;
  int64_t headersEnd_ = -1;
  GPtr<GMimeStream> original_;  // set with SetOriginalBody
  int64_t originalBodyAt_ = -1;
  GPtr<GMimeMessage> message_;
};

// How a decoded content is stored: text as UTF-16, the rest as it is.
enum class StoredAs { kBytes, kText };
// The content of a leaf part with its transfer encoding undone. Throws
// ImportError, before decoding, for a content too large to be stored or for
// which the process has not the memory left.
std::vector<uint8_t> DecodedContent(GMimePart* part, StoredAs storedAs = StoredAs::kBytes);
// Throws ImportError when a content of `encodedSize` bytes may decode to
// more than a .pst value holds.
void RefuseUnstorable(uint64_t encodedSize, bool base64, StoredAs storedAs);
// An object written out as it would appear on the wire (headers and body).
std::vector<uint8_t> SerializedObject(GMimeObject* object);

// "type/subtype" in lower case; "text/plain" when GMime has no content type.
std::string MimeTypeOf(GMimeObject* object);
// A header's value unfolded and trimmed, or "" when absent.
std::string HeaderValue(GMimeObject* object, const char* name);

}  // namespace mime::detail

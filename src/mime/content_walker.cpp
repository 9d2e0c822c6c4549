// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/content_walker.h"

#include <memory>
#include <utility>

#include "mime/attachment_names.h"
#include "mime/charset.h"
#include "mime/gmime_session.h"
#include "mime/part_file_name.h"
#include "mime/raw_repair.h"
#include "mime/streamed_part.h"
#include "mime/text_util.h"
#include "mime/uuencode.h"
#include "model/prop_tags.h"

namespace mime::detail {
namespace {

namespace tags = model::tags;

// Deeper multiparts than this are kept whole as one attachment rather than
// walked: no real mail nests so deep, and the walk must stay bounded.
constexpr int kMaxMimeDepth = 64;

// PidTagAttachFlags ATT_MHTML_REF: the HTML body refers to this attachment.
constexpr int32_t kAttachMhtmlRef = 0x4;

std::string Lower(const char* s) { return AsciiLower(s ? s : ""); }

std::string SubtypeOf(GMimeObject* object) {
  GMimeContentType* type = g_mime_object_get_content_type(object);  // transfer none
  return type ? Lower(g_mime_content_type_get_media_subtype(type)) : std::string();
}

bool IsAttachmentDisposition(GMimeObject* object) {
  const char* disposition = g_mime_object_get_disposition(object);  // transfer none
  return disposition && EqualsIgnoreCase(disposition, "attachment");
}

std::string StripAngles(std::string s) {
  s = Trimmed(s);
  if (s.size() >= 2 && s.front() == '<' && s.back() == '>') s = s.substr(1, s.size() - 2);
  return s;
}

bool Contains(const std::vector<uint8_t>& haystack, const std::string& needle) {
  if (needle.empty() || haystack.size() < needle.size()) return false;
  const std::string_view h(reinterpret_cast<const char*>(haystack.data()), haystack.size());
  return h.find(needle) != std::string_view::npos;
}

// Alternative renderings we do not store as a body; skipping them loses
// nothing, the plain or HTML alternative carries the same text.
bool IsSkippableAlternative(const std::string& type) {
  return type == "text/enriched" || type == "text/richtext" || type == "text/x-amp-html" ||
         type == "text/watch-html";
}

// Without a usable start parameter the root is the first part, unless the
// type parameter names another: then the first part of that type.
int RelatedRootByType(GMimeMultipart* related) {
  const char* type = g_mime_object_get_content_type_parameter(GMIME_OBJECT(related), "type");
  if (!type) return 0;
  const std::string wanted = AsciiLower(Trimmed(type));
  const int count = g_mime_multipart_get_count(related);
  if (count > 0 && MimeTypeOf(g_mime_multipart_get_part(related, 0)) == wanted) return 0;
  for (int i = 1; i < count; ++i)
    if (MimeTypeOf(g_mime_multipart_get_part(related, i)) == wanted) return i;
  return 0;
}

}  // namespace

void ContentWalker::Walk(GMimeObject* root, bool bodiesOnly) {
  bodiesOnly_ = bodiesOnly;
  if (root) WalkObject(root, 0, nullptr);
}

void ContentWalker::WalkObject(GMimeObject* object, int mimeDepth, GMimeObject* alternative) {
  if (GMIME_IS_MULTIPART(object)) {
    if (mimeDepth >= kMaxMimeDepth) {
      ctx_.Warn("multiparts nested too deeply; the rest is kept as one attachment");
      if (!bodiesOnly_)
        AddEntityAttachment(object, DefaultFileName("message/rfc822", ++unnamed_),
                            MimeTypeOf(object));
      return;
    }
    WalkMultipart(GMIME_MULTIPART(object), mimeDepth, alternative);
  } else if (GMIME_IS_MESSAGE_PART(object)) {
    if (!bodiesOnly_) AddEmbeddedMessage(GMIME_MESSAGE_PART(object));
  } else if (GMIME_IS_PART(object)) {
    GMimePart* part = GMIME_PART(object);
    if (TryTakeBody(part, alternative)) return;
    if (bodiesOnly_) return;
    if (MimeTypeOf(object) == "message/rfc822" && AddEncodedMessage(part)) return;
    if (AddTnefContent(part)) return;
    if (alternative && !IsAttachmentDisposition(object) &&
        IsSkippableAlternative(MimeTypeOf(object)))
      return;
    AddPartAttachment(part, false);
  }
}

void ContentWalker::WalkMultipart(GMimeMultipart* multipart, int mimeDepth,
                                  GMimeObject* alternative) {
  GMimeObject* self = GMIME_OBJECT(multipart);
  const std::string subtype = SubtypeOf(self);
  if (subtype == "related") {
    WalkRelated(multipart, mimeDepth, alternative);
    return;
  }
  GMimeObject* inner = subtype == "alternative" ? self : alternative;
  const int count = g_mime_multipart_get_count(multipart);
  if (count == 0) {
    KeepUnsplitContent(multipart, alternative);
    return;
  }
  for (int i = 0; i < count; ++i) {
    GMimeObject* child = g_mime_multipart_get_part(multipart, i);  // transfer none
    if (child) WalkObject(child, mimeDepth + 1, inner);
  }
}

void ContentWalker::WalkRelated(GMimeMultipart* related, int mimeDepth, GMimeObject* alternative) {
  const int count = g_mime_multipart_get_count(related);
  if (count == 0) return;
  // The root is the part named by the "start" parameter, else the first.
  int root = 0;
  const char* start = g_mime_object_get_content_type_parameter(GMIME_OBJECT(related), "start");
  if (start) {
    const std::string wanted = StripAngles(start);
    for (int i = 0; i < count; ++i) {
      const char* id = g_mime_object_get_content_id(g_mime_multipart_get_part(related, i));
      if (id && StripAngles(id) == wanted) {
        root = i;
        break;
      }
    }
  }
  if (root == 0) root = RelatedRootByType(related);
  WalkObject(g_mime_multipart_get_part(related, root), mimeDepth + 1, alternative);
  if (bodiesOnly_) return;
  for (int i = 0; i < count; ++i) {
    if (i == root) continue;
    GMimeObject* child = g_mime_multipart_get_part(related, i);
    if (GMIME_IS_PART(child))
      AddPartAttachment(GMIME_PART(child), true);
    else
      WalkObject(child, mimeDepth + 1, nullptr);
  }
}

void ContentWalker::KeepUnsplitContent(GMimeMultipart* multipart, GMimeObject* alternative) {
  // No boundary, or one that never occurs: GMime leaves the whole content
  // in the prologue. Keep it, as the body when it reads as text.
  const char* prologue = g_mime_multipart_get_prologue(multipart);  // transfer none
  if (!prologue || !*prologue) return;
  const std::string text = prologue;
  ctx_.Warn("a multipart without usable boundary was kept unsplit");
  const bool binary = text.find('\0') != std::string::npos || !IsValidUtf8(text);
  if (!binary && !havePlain_ && !haveHtml_) {
    havePlain_ = true;
    bodyAlternative_ = alternative;
    plain_ = text;
    plainCodepage_ = 65001;
    return;
  }
  if (bodiesOnly_) return;
  AddBytesAttachment(std::vector<uint8_t>(text.begin(), text.end()),
                     DefaultFileName(binary ? "application/octet-stream" : "text/plain", ++unnamed_),
                     binary ? "application/octet-stream" : "text/plain");
}

bool ContentWalker::TryTakeBody(GMimePart* part, GMimeObject* alternative) {
  GMimeObject* object = GMIME_OBJECT(part);
  const std::string type = MimeTypeOf(object);
  const bool isPlain = type == "text/plain";
  if (!isPlain && type != "text/html") return false;
  if (IsAttachmentDisposition(object)) return false;
  if (isPlain ? havePlain_ : haveHtml_) return false;
  // A second kind of body only when it is an alternative of the first;
  // otherwise an inline HTML part after a plain body (or the reverse) would
  // hide the first one in the mail client.
  if ((havePlain_ || haveHtml_) && (!alternative || alternative != bodyAlternative_)) return false;

  const std::vector<uint8_t> bytes = DecodedContent(part, StoredAs::kText);
  const char* label = g_mime_object_get_content_type_parameter(object, "charset");
  DecodedText text = DecodeText(bytes, label ? label : "");
  if (text.lossy)
    ctx_.Warn("characters of the " + type + " body could not be read as " +
              (label ? ValidUtf8(label) : std::string("its charset")));
  // A NUL character would end the body for every reader of the store.
  const size_t nuls = DropNulCharacters(text.utf8);
  if (nuls > 0)
    ctx_.Warn(std::to_string(nuls) + " NUL character(s) in the " + type + " body were dropped");
  if (!havePlain_ && !haveHtml_) bodyAlternative_ = alternative;
  if (isPlain) {
    havePlain_ = true;
    plainCodepage_ = CodepageOfCharset(text.charsetUsed);
    if (bodiesOnly_) {
      plain_ = std::move(text.utf8);
    } else {
      UuSplit split = ExtractUuencoded(text.utf8);
      plain_ = std::move(split.text);
      for (auto& file : split.files) {
        // The name came out of a UTF-8 body, the bytes are the file itself.
        std::string name = SafeFileName(file.name);
        if (name.empty()) name = DefaultFileName("application/octet-stream", ++unnamed_);
        AddBytesAttachment(std::move(file.bytes), name, "application/octet-stream");
      }
    }
  } else {
    haveHtml_ = true;
    const std::string declared = AsciiLower(Trimmed(label ? label : ""));
    const int32_t cp = CodepageOfCharset(declared);
    if (!text.lossy && cp != 0 && text.asLabelled && nuls == 0) {
      // Keep the HTML as sent: its own <meta> charset, if any, then agrees
      // with PidTagInternetCodepage.
      html_ = bytes;
      htmlCodepage_ = cp;
    } else {
      html_.assign(text.utf8.begin(), text.utf8.end());
      htmlCodepage_ = 65001;
    }
  }
  return true;
}

model::Attachment& ContentWalker::NewAttachment(const std::string& longName,
                                              const std::string& mimeTag, bool hidden) {
  model::Attachment& a = out_.attachments.emplace_back();
  a.props.Set(tags::kAttachMethod, tags::kAttachByValue);
  a.props.Set(tags::kAttachLongFilename, longName);
  a.props.Set(tags::kAttachFilename, ShortFileName(longName));
  a.props.Set(tags::kDisplayName, longName);
  const std::string ext = ExtensionOf(longName);
  if (!ext.empty()) a.props.Set(tags::kAttachExtension, ext);
  a.props.Set(tags::kAttachMimeTag, mimeTag);
  a.props.Set(tags::kRenderingPosition, int32_t{-1});
  a.props.Set(tags::kAttachmentHidden, hidden);
  if (!hidden) ++visible_;
  return a;
}

void ContentWalker::AddBytesAttachment(std::vector<uint8_t> bytes, const std::string& fileName,
                                       const std::string& mimeTag) {
  AddSourceAttachment(std::make_shared<model::MemorySource>(std::move(bytes)), fileName, mimeTag);
}

void ContentWalker::AddSourceAttachment(std::shared_ptr<const model::ByteSource> data,
                                        const std::string& fileName, const std::string& mimeTag) {
  model::Attachment& a = NewAttachment(fileName, mimeTag, false);
  a.props.Set(tags::kAttachSize, static_cast<int32_t>(std::min<uint64_t>(data->size(), INT32_MAX)));
  a.data = std::move(data);
}

void ContentWalker::AddEntityAttachment(GMimeObject* object, const std::string& fileName,
                                        const std::string& mimeTag) {
  AddBytesAttachment(SerializedObject(object), fileName, mimeTag);
}

void ContentWalker::AddPartAttachment(GMimePart* part, bool relatedInline) {
  GMimeObject* object = GMIME_OBJECT(part);
  const std::string mimeType = MimeTypeOf(object);
  std::string name = SafeFileName(PartFileName(part));
  if (name.empty()) name = DefaultFileName(mimeType, ++unnamed_);
  const char* rawId = g_mime_object_get_content_id(object);  // transfer none, no angles
  const std::string contentId = StripAngles(ValidUtf8(rawId ? rawId : ""));
  const char* rawLocation = g_mime_part_get_content_location(part);
  const std::string location = Trimmed(ValidUtf8(rawLocation ? rawLocation : ""));

  // Hidden only when the HTML body really shows it; an unreferenced part of
  // a multipart/related would otherwise be lost to the reader.
  const bool referenced = (!contentId.empty() && Contains(html_, "cid:" + contentId)) ||
                          (!location.empty() && Contains(html_, location));
  const bool hidden = relatedInline && haveHtml_ && referenced;

  std::shared_ptr<const model::ByteSource> data = PartContent(part, ctx_);
  model::Attachment& a = NewAttachment(name, mimeType, hidden);
  if (!contentId.empty()) a.props.Set(tags::kAttachContentId, contentId);
  if (!location.empty()) a.props.Set(tags::kAttachContentLocation, location);
  if (hidden) a.props.Set(tags::kAttachFlags, kAttachMhtmlRef);
  a.props.Set(tags::kAttachSize, static_cast<int32_t>(std::min<uint64_t>(data->size(), INT32_MAX)));
  a.data = std::move(data);
}

bool ContentWalker::AddEncodedMessage(GMimePart* part) {
  // A message/rfc822 part sent base64 or quoted-printable: GMime leaves it
  // a leaf; decoded, it is a message like any other.
  ImportWarnings notes;
  const std::vector<uint8_t> bytes = Repaired(DecodedContent(part), notes);
  for (std::string& note : notes) ctx_.Warn("in an encoded message: " + std::move(note));
  if (bytes.empty()) return false;
  GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(
      reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  ParsedMessage parsed(stream.get(), ctx_.warnings);
  GMimeMessage* inner = parsed.message();
  GMimeHeaderList* headers = inner ? g_mime_object_get_header_list(GMIME_OBJECT(inner)) : nullptr;
  if (!headers || g_mime_header_list_get_count(headers) == 0) return false;
  AddEmbeddedMessage(inner);
  return true;
}

void ContentWalker::AddEmbeddedMessage(GMimeMessagePart* part) {
  GMimeMessage* inner = g_mime_message_part_get_message(part);  // transfer none
  if (!inner) {
    AddEntityAttachment(GMIME_OBJECT(part), DefaultFileName("message/rfc822", ++unnamed_),
                        "message/rfc822");
    return;
  }
  AddEmbeddedMessage(inner);
}

void ContentWalker::AddEmbeddedMessage(GMimeMessage* inner) {
  const char* rawSubject = g_mime_message_get_subject(inner);  // transfer none, decoded
  const std::string subject = Trimmed(ValidUtf8(rawSubject ? rawSubject : ""));
  if (messageDepth_ + 1 > ctx_.options.maxEmbeddedDepth) {
    ctx_.Warn("messages nested too deeply; the inner one is kept as an .eml file");
    std::string name = SafeFileName(subject);
    name = name.empty() ? DefaultFileName("message/rfc822", ++unnamed_) : name + ".eml";
    AddBytesAttachment(SerializedObject(GMIME_OBJECT(inner)), name, "message/rfc822");
    return;
  }
  auto embedded = std::make_unique<model::Message>();
  ImportParsedMessage(inner, *embedded, ctx_, messageDepth_ + 1);
  model::Attachment& a = out_.attachments.emplace_back();
  a.props.Set(tags::kAttachMethod, tags::kAttachEmbeddedMsg);
  a.props.Set(tags::kDisplayName, subject.empty() ? std::string("Untitled") : subject);
  a.props.Set(tags::kAttachMimeTag, std::string("message/rfc822"));
  a.props.Set(tags::kRenderingPosition, int32_t{-1});
  a.props.Set(tags::kAttachmentHidden, false);
  a.embedded = std::move(embedded);
  ++visible_;
}

void ContentWalker::Finish() {
  if (havePlain_) out_.props.Set(tags::kBody, WithCrlf(plain_));
  if (haveHtml_) out_.props.Set(tags::kHtml, model::Bytes(html_));
  int32_t codepage = haveHtml_ ? htmlCodepage_ : plainCodepage_;
  if (codepage == 0 || codepage == 20127) codepage = havePlain_ || haveHtml_ ? 65001 : 0;
  if (haveHtml_ || havePlain_) {
    out_.props.Set(tags::kInternetCodepage, codepage);
    out_.props.Set(tags::kNativeBody, int32_t{haveHtml_ ? 3 : 1});
  }
  MergeTnefProperties();
}

}  // namespace mime::detail

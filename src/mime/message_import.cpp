// SPDX-License-Identifier: GPL-3.0-or-later
// A parsed message to a message object: envelope, addresses, then content,
// with the message class chosen by the top-level MIME type ([MS-OXOSMIME]
// 2.1 for signed and encrypted mail).
#include "mime/content_walker.h"
#include "mime/gmime_session.h"
#include "mime/message_mapping.h"
#include "mime/streamed_part.h"
#include "mime/text_util.h"
#include "model/prop_tags.h"

namespace mime::detail {
namespace {

namespace tags = model::tags;

bool IsOpaqueSmime(GMimeObject* object) {
  const std::string type = MimeTypeOf(object);
  if (type == "application/pkcs7-mime" || type == "application/x-pkcs7-mime") return true;
  if (type == "application/octet-stream" && GMIME_IS_PART(object)) {
    const char* name = g_mime_part_get_filename(GMIME_PART(object));
    const std::string lower = AsciiLower(name ? name : "");
    return lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".p7m") == 0;
  }
  return false;
}

// The top-level entity byte for byte: its Content-* fields as they came,
// the blank line, and the raw body. A signature stays verifiable only if
// nothing in it is re-encoded or re-wrapped.
std::vector<uint8_t> RawTopEntity(GMimeObject* top, const ParsedMessage& parsed) {
  std::string head;
  GMimeHeaderList* list = g_mime_object_get_header_list(top);  // transfer none
  const int count = list ? g_mime_header_list_get_count(list) : 0;
  std::string lineEnd = "\r\n";
  for (int i = 0; i < count; ++i) {
    GMimeHeader* header = g_mime_header_list_get_header_at(list, i);
    const char* name = g_mime_header_get_raw_name(header);
    const char* value = g_mime_header_get_raw_value(header);
    std::string field = std::string(name ? name : "") + ":" + (value ? value : "");
    if (field.empty() || field.back() != '\n') field += "\r\n";
    lineEnd = field.size() >= 2 && field[field.size() - 2] == '\r' ? "\r\n" : "\n";
    head += field;
  }
  head += lineEnd;
  std::vector<uint8_t> out(head.begin(), head.end());
  const std::vector<uint8_t> body = parsed.RawBody();
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace

int MapContent(GMimeMessage* message, model::Message& out, const ImportContext& ctx, int depth) {
  GMimeObject* top = g_mime_message_get_mime_part(message);  // transfer none
  out.props.Set(tags::kMessageClass, std::string("IPM.Note"));
  if (!top) return 0;
  ContentWalker walker(out, ctx, depth);
  const std::string type = MimeTypeOf(top);

  if (type == "multipart/signed" && GMIME_IS_MULTIPART(top) &&
      g_mime_multipart_get_count(GMIME_MULTIPART(top)) >= 1) {
    // Clear-signed: the body shown comes from the signed content, while the
    // whole signed entity travels intact as smime.p7m so the signature can
    // still be checked.
    out.props.Set(tags::kMessageClass, std::string("IPM.Note.SMIME.MultipartSigned"));
    GMimeObject* content = g_mime_multipart_get_part(GMIME_MULTIPART(top), 0);
    walker.Walk(content, /*bodiesOnly=*/true);
    if (depth == 0 && ctx.top)
      walker.AddBytesAttachment(RawTopEntity(top, *ctx.top), "smime.p7m", "multipart/signed");
    else
      walker.AddEntityAttachment(top, "smime.p7m", "multipart/signed");
    walker.Finish();
    // Whether the user sees attachments depends on the signed content.
    // Counted on a scratch copy, quietly: its warnings were given already.
    model::Message scratch;
    const ImportContext quiet{ctx.options, nullptr, ctx.now, nullptr};
    ContentWalker counter(scratch, quiet, ctx.options.maxEmbeddedDepth);
    counter.Walk(content);
    return counter.visibleAttachments();
  }
  if (IsOpaqueSmime(top) && GMIME_IS_PART(top)) {
    // Opaque-signed or encrypted: no body can be shown without the key; the
    // CMS content is kept as it was.
    out.props.Set(tags::kMessageClass, std::string("IPM.Note.SMIME"));
    walker.AddSourceAttachment(PartContent(GMIME_PART(top), ctx), "smime.p7m",
                               "application/pkcs7-mime");
    walker.Finish();
    return 0;
  }
  walker.Walk(top);
  walker.Finish();
  return walker.visibleAttachments();
}

void ImportParsedMessage(GMimeMessage* message, model::Message& out, const ImportContext& ctx,
                         int depth) {
  MapEnvelope(message, out, ctx);
  MapAddresses(message, out, ctx);
  MapCategories(message, out, ctx);
  const int visible = MapContent(message, out, ctx, depth);
  if (!MapReportMessage(message, out, ctx)) MapMeetingMessage(message, out, ctx);
  // A draft has not been read by anybody.
  int32_t flags = IsUnsent(message) ? tags::kMsgFlagUnsent : tags::kMsgFlagRead;
  if (visible > 0) flags |= tags::kMsgFlagHasAttach;
  out.props.Set(tags::kMessageFlags, flags);
}

}  // namespace mime::detail

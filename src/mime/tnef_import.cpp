// SPDX-License-Identifier: GPL-3.0-or-later
// A winmail.dat part (application/ms-tnef) on the message being imported
// ([MS-OXTNEF]: the TNEF body carries the sender's own message object).
// Its attachments take the part's place among the message's attachments.
// Of its message properties, the MIME header stays authoritative for what
// it says (sender, recipients, subject, dates, identifiers): those groups are
// taken from TNEF only when the header gave none of them. Everything else
// fills in what MIME left unset, except the compressed RTF body and a message
// class the MIME form cannot tell (a meeting request sent as TNEF), which
// TNEF alone knows. A part that cannot be decoded stays the file it was.
#include <vector>

#include "mime/content_walker.h"
#include "mime/gmime_session.h"
#include "mime/part_file_name.h"
#include "mime/text_util.h"
#include "mime/tnef_decoder.h"
#include "model/prop_tags.h"

namespace mime::detail {
namespace {

namespace tags = model::tags;

// Properties that hang together: a message keeps all of one group from the
// same source, so that a sender's name never meets another sender's address.
const std::vector<std::vector<uint16_t>>& HeaderGroups() {
  static const std::vector<std::vector<uint16_t>> kGroups = {
      {0x0C19, 0x0C1A, 0x0C1D, 0x0C1E, 0x0C1F, 0x5D01},                  // sender
      {0x0041, 0x0042, 0x003B, 0x0064, 0x0065, 0x5D02},                  // sent representing
      {0x0037, 0x003D, 0x0E1D, 0x0070},                                  // subject
      {0x004F, 0x0050},                                                  // reply-to
      {0x0E02, 0x0E03, 0x0E04},                                          // display lists
      {0x0039}, {0x0E06}, {0x1035}, {0x1039}, {0x1042}, {0x007D},        // dates, ids, headers
  };
  return kGroups;
}

// Received by and received representing: TNEF has them as the sender's own
// store saw them, which says nothing of who received the copy at hand.
constexpr uint16_t kReceivedByIds[] = {0x003F, 0x0040, 0x0051, 0x0075, 0x0076, 0x5D07,
                                       0x0043, 0x0044, 0x0052, 0x0077, 0x0078, 0x5D08};

bool IsTnefPart(GMimePart* part) {
  const std::string type = MimeTypeOf(GMIME_OBJECT(part));
  if (type == "application/ms-tnef" || type == "application/vnd.ms-tnef") return true;
  return EqualsIgnoreCase(PartFileName(part), "winmail.dat");
}

}  // namespace

bool ContentWalker::AddTnefContent(GMimePart* part) {
  if (!IsTnefPart(part)) return false;
  const std::vector<uint8_t> bytes = DecodedContent(part);
  model::Message decoded;
  std::vector<std::string> notes;
  std::string why;
  const TnefDecodeLimits limits{ctx_.options.maxEmbeddedDepth - messageDepth_, ctx_.now};
  if (!DecodeTnef(bytes, limits, decoded, notes, why)) {
    ctx_.Warn("the winmail.dat (TNEF) part could not be decoded (" + why + "); it is kept as a file");
    return false;
  }
  for (std::string& note : notes) ctx_.Warn("in the winmail.dat (TNEF) part: " + std::move(note));
  for (model::Attachment& a : decoded.attachments) {
    if (!a.props.GetInt(model::TagId(tags::kAttachmentHidden)).value_or(0)) ++visible_;
    out_.attachments.push_back(std::move(a));
  }
  decoded.attachments.clear();
  tnef_.push_back(std::move(decoded));
  return true;
}

void ContentWalker::MergeTnefProperties() {
  model::PropertyBag& props = out_.props;
  for (model::Message& t : tnef_) {
    for (const uint16_t id : kReceivedByIds) t.props.Remove(id);
    for (const auto& group : HeaderGroups()) {
      bool mimeHasOne = false;
      for (const uint16_t id : group) mimeHasOne = mimeHasOne || props.Find(id);
      if (mimeHasOne)
        for (const uint16_t id : group) t.props.Remove(id);
    }
    const uint16_t classId = model::TagId(tags::kMessageClass);
    const uint16_t rtfId = model::TagId(tags::kRtfCompressed);
    const bool plainNote = props.GetString(classId).value_or("IPM.Note") == "IPM.Note";
    for (const auto& [id, value] : t.props.props()) {
      const bool wins = id == rtfId || (id == classId && plainNote);
      if (wins || !props.Find(id)) props.Set(model::MakeTag(id, value.type), value.data);
    }
    for (const auto& [name, value] : t.props.named())
      if (!props.FindNamed(name)) props.SetNamed(name, value.type, value.data);
    if (out_.recipients.empty()) out_.recipients = std::move(t.recipients);
  }
  // The sender's rich text is what the mail client shows, unless the MIME
  // form has HTML; a body only TNEF gave is plain text.
  if (props.Find(model::TagId(tags::kRtfCompressed)) && !haveHtml_)
    props.Set(tags::kNativeBody, int32_t{2});
  else if (!havePlain_ && !haveHtml_ && props.Find(model::TagId(tags::kBody)))
    props.Set(tags::kNativeBody, int32_t{1});
}

}  // namespace mime::detail

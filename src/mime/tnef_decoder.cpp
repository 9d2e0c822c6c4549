// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/tnef_decoder.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "mime/attachment_names.h"
#include "mime/charset.h"
#include "mime/tnef_props.h"
#include "mime/tnef_reader.h"
#include "model/coding.h"
#include "model/prop_tags.h"

namespace mime::detail {
namespace {

namespace tags = model::tags;
namespace att = tnef_att;

// What the sending store kept about its own copy (entry ids, sizes, flags,
// keys of its replication): the .pst computes its own, so these are left out.
constexpr uint16_t kStoreOwnedIds[] = {
    0x0E07, 0x0E08, 0x0E09, 0x0E0A, 0x0E12, 0x0E13, 0x0E17, 0x0E1B, 0x0E20, 0x0E21, 0x0E27,
    0x0FF6, 0x0FF9, 0x0FFA, 0x0FFB, 0x0FFE, 0x0FFF, 0x340D, 0x65E0, 0x65E1, 0x65E2, 0x65E3,
    0x6740, 0x6741, 0x6742, 0x6743, 0x6744, 0x6745, 0x6746, 0x6747, 0x6748, 0x6749, 0x674A};

void DropStoreOwned(model::PropertyBag& bag) {
  for (const uint16_t id : kStoreOwnedIds) bag.Remove(id);
}

// The charset legacy 8-bit text is read in, from attOemCodepage.
std::string CharsetOfCodepage(uint32_t cp) {
  switch (cp) {
    case 0: case 1252: return "windows-1252";
    case 65001: return "utf-8";
    case 20127: return "us-ascii";
    case 932: return "shift_jis";
    case 936: return "gbk";
    case 949: return "euc-kr";
    case 950: return "big5";
    case 20866: return "koi8-r";
    case 21866: return "koi8-u";
    default: break;
  }
  if (cp >= 28591 && cp <= 28606) return "iso-8859-" + std::to_string(cp - 28590);
  if (cp == 874 || (cp >= 1250 && cp <= 1258)) return "windows-" + std::to_string(cp);
  return "cp" + std::to_string(cp);
}

// Message classes of the first TNEF writers and their names since
// ([MS-OXTNEF] 2.1.3.3.7, attMessageClass).
std::string ModernMessageClass(const std::string& legacy) {
  static const std::pair<const char*, const char*> kNames[] = {
      {"IPM.Microsoft Mail.Note", "IPM.Note"},
      {"IPM.Microsoft Mail.Read Receipt", "Report.IPM.Note.IPNRN"},
      {"IPM.Microsoft Mail.Non-Delivery", "Report.IPM.Note.NDR"},
      {"IPM.Microsoft Schedule.MtgReq", "IPM.Schedule.Meeting.Request"},
      {"IPM.Microsoft Schedule.MtgRespP", "IPM.Schedule.Meeting.Resp.Pos"},
      {"IPM.Microsoft Schedule.MtgRespN", "IPM.Schedule.Meeting.Resp.Neg"},
      {"IPM.Microsoft Schedule.MtgRespA", "IPM.Schedule.Meeting.Resp.Tent"},
      {"IPM.Microsoft Schedule.MtgCncl", "IPM.Schedule.Meeting.Canceled"},
  };
  for (const auto& [from, to] : kNames)
    if (legacy == from) return to;
  return legacy;
}

// Everything one attachment's attributes said, gathered before it is built:
// its attAttachment properties win over the legacy attributes.
struct PendingAttachment {
  TnefPropList props;
  std::optional<std::span<const uint8_t>> legacyData;
  std::string title, transportName;
  std::optional<int64_t> created, modified;
  std::optional<int32_t> position;
};

class Decoder {
 public:
  Decoder(const TnefDecodeLimits& limits, std::vector<std::string>& notes, std::string& why)
      : limits_(limits), notes_(notes), why_(why) {}

  bool Decode(std::span<const uint8_t> stream, model::Message& out) {
    std::optional<std::vector<TnefAttribute>> attributes = ReadTnefAttributes(stream, why_);
    if (!attributes) return false;
    for (const TnefAttribute& a : *attributes)
      if (a.level == kTnefLevelMessage && a.id == att::kOemCodepage && a.data.size() >= 4)
        charset_ = CharsetOfCodepage(model::GetU32(a.data, 0));

    TnefPropList messageProps;
    std::vector<PendingAttachment> pending;
    for (const TnefAttribute& a : *attributes) {
      const bool ok = a.level == kTnefLevelAttachment ? TakeAttachmentAttribute(a, pending)
                                                      : TakeMessageAttribute(a, out, messageProps);
      if (!ok) return false;
    }
    // attMsgProps carry the MAPI form of what legacy attributes also say.
    for (auto& [id, value] : messageProps.bag.props())
      out.props.Set(model::MakeTag(id, value.type), value.data);
    for (auto& [name, value] : messageProps.bag.named()) out.props.SetNamed(name, value.type, value.data);
    DropStoreOwned(out.props);
    Note(messageProps.skipped);
    for (PendingAttachment& p : pending)
      if (!BuildAttachment(p, out.attachments.emplace_back())) return false;
    return true;
  }

 private:
  std::string Text(std::span<const uint8_t> data) const {
    return DecodeText(TnefCString(data), charset_).utf8;
  }
  void Note(const std::vector<std::string>& skipped) {
    for (const std::string& s : skipped) notes_.push_back(s + " was left out");
  }

  bool TakeMessageAttribute(const TnefAttribute& a, model::Message& out, TnefPropList& props) {
    switch (a.id) {
      case att::kSubject: out.props.Set(tags::kSubject, Text(a.data)); break;
      case att::kMessageClass: out.props.Set(tags::kMessageClass, ModernMessageClass(Text(a.data))); break;
      case att::kBody: out.props.Set(tags::kBody, Text(a.data)); break;
      case att::kDateSent:
      case att::kDateReceived:
        if (const auto t = TnefDateAsFileTime(a.data))
          out.props.Set(a.id == att::kDateSent ? tags::kClientSubmitTime : tags::kMessageDeliveryTime, *t);
        break;
      case att::kPriority:
        // attPriority counts 1 (high) to 3 (low); PidTagImportance 2 (high) to 0 (low).
        if (a.data.size() >= 2 && model::GetU16(a.data, 0) >= 1 && model::GetU16(a.data, 0) <= 3)
          out.props.Set(tags::kImportance, static_cast<int32_t>(3 - model::GetU16(a.data, 0)));
        break;
      case att::kMsgProps: {
        std::span<const uint8_t> in = a.data;
        if (!ReadTnefPropList(in, charset_, props, why_)) return Fail("message properties: ");
        break;
      }
      case att::kRecipTable: {
        std::vector<TnefPropList> rows;
        if (!ReadTnefRecipientRows(a.data, charset_, rows, why_)) return Fail("recipients: ");
        for (TnefPropList& row : rows) {
          Note(row.skipped);
          model::Recipient& r = out.recipients.emplace_back();
          r.props = std::move(row.bag);
          r.props.Set(tags::kRowid, static_cast<int32_t>(out.recipients.size() - 1));
        }
        break;
      }
      default: break;  // version, codepage, status, owner: nothing the message keeps
    }
    return true;
  }

  bool TakeAttachmentAttribute(const TnefAttribute& a, std::vector<PendingAttachment>& pending) {
    // attAttachRendData opens each attachment; anything before it opens one too.
    if (a.id == att::kAttachRendData || pending.empty()) pending.emplace_back();
    PendingAttachment& p = pending.back();
    switch (a.id) {
      case att::kAttachRendData:
        if (a.data.size() >= 6) p.position = static_cast<int32_t>(model::GetU32(a.data, 2));
        break;
      case att::kAttachTitle: p.title = Text(a.data); break;
      case att::kAttachTransportFilename: p.transportName = Text(a.data); break;
      case att::kAttachData: p.legacyData = a.data; break;
      case att::kAttachCreateDate: p.created = TnefDateAsFileTime(a.data); break;
      case att::kAttachModifyDate: p.modified = TnefDateAsFileTime(a.data); break;
      case att::kAttachment: {
        std::span<const uint8_t> in = a.data;
        if (!ReadTnefPropList(in, charset_, p.props, why_)) return Fail("attachment properties: ");
        break;
      }
      default: break;
    }
    return true;
  }

  bool Fail(const std::string& where) {
    why_ = where + why_;
    return false;
  }

  // An embedded message from its own TNEF stream, one level further down.
  bool DecodeEmbedded(std::span<const uint8_t> stream, model::Attachment& a) {
    auto inner = std::make_unique<model::Message>();
    std::vector<std::string> innerNotes;
    const TnefDecodeLimits below{limits_.depthLeft - 1, limits_.now};
    if (!Decoder(below, innerNotes, why_).Decode(stream, *inner)) return Fail("in an embedded message: ");
    for (std::string& n : innerNotes) notes_.push_back("in an embedded message: " + std::move(n));
    if (!inner->props.Find(model::TagId(tags::kMessageClass)))
      inner->props.Set(tags::kMessageClass, std::string("IPM.Note"));
    for (const uint32_t tag : {tags::kCreationTime, tags::kLastModificationTime})
      if (!inner->props.Find(model::TagId(tag))) inner->props.Set(tag, limits_.now);
    inner->props.Set(tags::kMessageFlags, tags::kMsgFlagRead);
    const std::string subject = inner->props.GetString(model::TagId(tags::kSubject)).value_or("");
    a.props.Set(tags::kAttachMethod, tags::kAttachEmbeddedMsg);
    if (!a.props.GetString(model::TagId(tags::kDisplayName)))
      a.props.Set(tags::kDisplayName, subject.empty() ? std::string("Untitled") : subject);
    if (!a.props.Find(model::TagId(tags::kAttachMimeTag)))
      a.props.Set(tags::kAttachMimeTag, std::string("message/rfc822"));
    a.embedded = std::move(inner);
    return true;
  }

  void FillIn(model::PropertyBag& bag, uint32_t tag, model::PropData value) {
    if (!bag.Find(model::TagId(tag))) bag.Set(tag, std::move(value));
  }

  bool BuildAttachment(PendingAttachment& p, model::Attachment& a) {
    Note(p.props.skipped);
    a.props = std::move(p.props.bag);
    DropStoreOwned(a.props);
    const uint16_t dataId = model::TagId(tags::kAttachDataBinary);
    std::optional<model::Bytes> data;
    if (const model::Bytes* b = a.props.GetBinary(dataId)) data = *b;
    a.props.Remove(dataId);
    const auto object = std::find_if(p.props.objects.begin(), p.props.objects.end(),
                                     [&](const TnefObject& o) { return o.id == dataId; });
    if (object != p.props.objects.end()) {
      if (object->iid == kIidIMessage && limits_.depthLeft > 0) {
        if (!DecodeEmbedded(object->data, a)) return false;
        FillIn(a.props, tags::kRenderingPosition, p.position.value_or(-1));
        FillIn(a.props, tags::kAttachmentHidden, false);
        return true;
      }
      if (object->iid == kIidIMessage)
        notes_.push_back("messages nested too deeply; the inner one is kept as a winmail.dat file");
      if (object->iid == kIidIMessage && !a.props.GetString(model::TagId(tags::kAttachLongFilename))) {
        a.props.Set(tags::kAttachLongFilename, std::string("winmail.dat"));
        a.props.Set(tags::kAttachMimeTag, std::string("application/ms-tnef"));
      }
      data.emplace(object->data.begin(), object->data.end());
    }
    if (!data && p.legacyData) data.emplace(p.legacyData->begin(), p.legacyData->end());
    const int64_t method = a.props.GetInt(model::TagId(tags::kAttachMethod)).value_or(tags::kAttachByValue);
    // An object kept as its bytes, or an attachment that came without the
    // contents its method promises, is a file here.
    if (data || method == tags::kAttachEmbeddedMsg || method == 6)
      a.props.Set(tags::kAttachMethod, tags::kAttachByValue);
    if (!data && (method == tags::kAttachEmbeddedMsg || method == 6 || method == tags::kAttachByValue))
      notes_.push_back("an attachment came without its contents");

    std::string mimeTag = a.props.GetString(model::TagId(tags::kAttachMimeTag)).value_or("");
    std::string name;
    for (const std::optional<std::string>& candidate :
         {a.props.GetString(model::TagId(tags::kAttachLongFilename)),
          a.props.GetString(model::TagId(tags::kAttachFilename)),
          std::optional<std::string>(p.transportName), std::optional<std::string>(p.title)}) {
      if (candidate && name.empty()) name = SafeFileName(*candidate);
    }
    if (name.empty()) name = DefaultFileName(mimeTag.empty() ? "application/octet-stream" : mimeTag, ++unnamed_);
    a.props.Set(tags::kAttachLongFilename, name);
    FillIn(a.props, tags::kAttachFilename, ShortFileName(name));
    FillIn(a.props, tags::kDisplayName, name);
    if (const std::string ext = ExtensionOf(name); !ext.empty()) FillIn(a.props, tags::kAttachExtension, ext);
    FillIn(a.props, tags::kAttachMimeTag, mimeTag.empty() ? std::string("application/octet-stream") : mimeTag);
    FillIn(a.props, tags::kRenderingPosition, p.position.value_or(-1));
    FillIn(a.props, tags::kAttachmentHidden, false);
    if (p.created) FillIn(a.props, tags::kCreationTime, *p.created);
    if (p.modified) FillIn(a.props, tags::kLastModificationTime, *p.modified);
    // By reference (methods 2 to 4): the file stays where the sender's
    // properties say, and there are no bytes to keep.
    if (!data && method >= 2 && method <= 4) return true;
    model::Bytes bytes = data ? std::move(*data) : model::Bytes();
    a.props.Set(tags::kAttachSize, static_cast<int32_t>(std::min<size_t>(bytes.size(), INT32_MAX)));
    a.data = std::make_shared<model::MemorySource>(std::move(bytes));
    return true;
  }

  const TnefDecodeLimits& limits_;
  std::vector<std::string>& notes_;
  std::string& why_;
  std::string charset_ = "windows-1252";
  int unnamed_ = 0;
};

}  // namespace

bool DecodeTnef(std::span<const uint8_t> stream, const TnefDecodeLimits& limits, model::Message& out,
                std::vector<std::string>& notes, std::string& why) {
  return Decoder(limits, notes, why).Decode(stream, out);
}

}  // namespace mime::detail

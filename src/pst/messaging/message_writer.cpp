// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/messaging/message_writer.h"

#include <set>

#include "pst/coding.h"
#include "pst/ltp/prop_encoding.h"
#include "pst/ltp/property_context.h"
#include "pst/messaging/nids.h"
#include "pst/messaging/templates.h"
#include "pst/prop_tags.h"

namespace pst::messaging {

namespace {

using ltp::RowValues;

constexpr uint16_t kIdAttachDataObject = 0x3701;
constexpr uint16_t kIdRowid = 0x3000;
constexpr uint16_t kIdMessageStatus = 0x0E17;
constexpr uint16_t kIdResponsibility = 0x0E0F;

// All properties of a bag by id, named ones mapped through the name-to-id map.
RowValues Resolve(const PropertyBag& bag, NameToIdMap& names) {
  RowValues out(bag.props().begin(), bag.props().end());
  for (const auto& [name, value] : bag.named()) out[names.Map(name)] = value;
  return out;
}

// Properties a reader computes from others ([MS-PST] 2.4.2.3): Outlook's
// files hold none of them on messages or attachments (has-attachments comes
// from mfHasAttach, the normalized subject from the marked subject), nor an
// empty subject prefix.
void DropCalculated(RowValues& props) {
  for (uint32_t tag : {tags::kHasAttachments, tags::kNormalizedSubject, tags::kAttachNumber, tags::kObjectType}) {
    props.erase(TagId(tag));
  }
  auto prefix = props.find(TagId(tags::kSubjectPrefix));
  if (prefix != props.end() && prefix->second.type == PropType::Unicode &&
      std::get<std::string>(prefix->second.data).empty()) {
    props.erase(prefix);
  }
}

bool IsEmptyString(const PropValue& v) {
  return v.type == PropType::Unicode && std::get<std::string>(v.data).empty();
}

// PidLidSmartNoAttach ([MS-OXPROPS] 2.290): whether the paperclip is to be
// hidden although attachments exist, because each is shown in the body
// (PidTagAttachFlags attRenderedInBody, [MS-OXCMSG] 2.2.2.18) or hidden
// (PidTagAttachmentHidden). Outlook stores it on every message, false for
// one without attachments, and keeps mfHasAttach set beside it.
const NamedProp kSmartNoAttach{tags::kPsetidCommon, 0x8514u, ""};
constexpr int32_t kAttRenderedInBody = 0x4;

bool OnlyInlineAttachments(const Message& m) {
  if (m.attachments.empty()) return false;
  for (const Attachment& a : m.attachments) {
    const bool hidden = a.props.GetInt(TagId(tags::kAttachmentHidden)).value_or(0) != 0;
    const bool inBody = (a.props.GetInt(TagId(tags::kAttachFlags)).value_or(0) & kAttRenderedInBody) != 0;
    if (!hidden && !inBody) return false;
  }
  return true;
}

size_t ValueBytes(const RowValues& v) {
  size_t n = 0;
  for (const auto& [id, value] : v) n += ltp::EncodeValue(value).size();
  return n;
}

size_t Utf16Units(const std::string& s) { return Utf16LeFromUtf8(s).size() / 2; }

bool StartsWith(const std::string& s, const std::string& p) {
  return s.size() >= p.size() && s.compare(0, p.size(), p) == 0;
}

// Columns of a message's own table: the template's, and every further
// property the rows carry (so that nothing a row knows is lost).
std::vector<uint32_t> ColumnsFor(const std::vector<uint32_t>& base, const std::vector<RowValues>& rows,
                                 const std::set<uint16_t>& skip) {
  std::vector<uint32_t> cols = base;
  std::set<uint16_t> have;
  for (uint32_t t : base) have.insert(TagId(t));
  for (const RowValues& r : rows) {
    for (const auto& [id, v] : r) {
      if (have.count(id) || skip.count(id)) continue;
      have.insert(id);
      cols.push_back(MakeTag(id, ltp::DiskType(v.type)));
    }
  }
  return cols;
}

struct Built {
  Bid data = 0;
  Bid subnodes = 0;
  uint32_t size = 0;
  RowValues props;
};

Built BuildMessage(NodeStore& store, NameToIdMap& names, const Message& m, const MessageDefaults& d);

// One attachment's PC and its subnodes.
Built BuildAttachment(NodeStore& store, NameToIdMap& names, const Attachment& a, const MessageDefaults& d) {
  RowValues props = Resolve(a.props, names);
  props.erase(kIdAttachDataObject);
  ltp::Subnodes subs;
  ltp::PcBuilder pc(store, subs);
  bool embedded = static_cast<bool>(a.embedded);
  if (!props.count(TagId(tags::kAttachMethod))) {
    props[TagId(tags::kAttachMethod)] = {PropType::Int32, embedded ? tags::kAttachEmbeddedMsg : tags::kAttachByValue};
  }
  if (!props.count(TagId(tags::kRenderingPosition))) props[TagId(tags::kRenderingPosition)] = {PropType::Int32, -1};
  DropCalculated(props);
  if (embedded) {
    Built inner = BuildMessage(store, names, *a.embedded, d);
    Nid nid = store.AllocateNid(kNidTypeNormalMessage);
    subs.Add(nid, inner.data, inner.subnodes);
    pc.SetObject(kIdAttachDataObject, nid, inner.size);
  } else if (a.data) {
    pc.SetStream(kIdAttachDataObject, static_cast<uint16_t>(PropType::Binary), *a.data);
  }
  // The size counts every value stored, so it is set last (it sits in its record).
  props.erase(TagId(tags::kAttachSize));
  for (const auto& [id, v] : props) pc.Set(id, v);
  uint64_t size = pc.valueBytes() + 4;
  props[TagId(tags::kAttachSize)] = {PropType::Int32, static_cast<int32_t>(std::min<uint64_t>(size, INT32_MAX))};
  pc.Set(TagId(tags::kAttachSize), props[TagId(tags::kAttachSize)]);
  Built b;
  b.data = pc.Finish();
  b.subnodes = subs.Write(store);
  b.size = static_cast<uint32_t>(std::min<uint64_t>(size, INT32_MAX));
  b.props = std::move(props);
  return b;
}

Built BuildMessage(NodeStore& store, NameToIdMap& names, const Message& m, const MessageDefaults& d) {
  RowValues props = Resolve(m.props, names);
  // Required properties when the caller left them out.
  if (!props.count(TagId(tags::kMessageClass))) props[TagId(tags::kMessageClass)] = {PropType::Unicode, std::string("IPM.Note")};
  if (!props.count(TagId(tags::kMessageFlags))) props[TagId(tags::kMessageFlags)] = {PropType::Int32, 0};
  if (!props.count(TagId(tags::kCreationTime))) props[TagId(tags::kCreationTime)] = {PropType::Time, d.now};
  if (!props.count(TagId(tags::kLastModificationTime))) {
    props[TagId(tags::kLastModificationTime)] = {PropType::Time, d.now};
  }
  if (!props.count(TagId(tags::kSearchKey)) && d.newSearchKey) {
    props[TagId(tags::kSearchKey)] = {PropType::Binary, d.newSearchKey()};
  }
  // mfHasAttach follows the attachments really stored, whatever the caller
  // claimed: Outlook trusts the flag to find the table, and readers derive
  // has-attachments from it.
  {
    auto& flags = props[TagId(tags::kMessageFlags)];
    if (flags.type == PropType::Int32) {
      int32_t v = std::get<int32_t>(flags.data) & ~tags::kMsgFlagHasAttach;
      flags.data = m.attachments.empty() ? v : (v | tags::kMsgFlagHasAttach);
    }
  }
  // The subject in the marked form, with the prefix it starts with; the
  // normalized subject is what follows the prefix, so it is not stored.
  if (auto subject = m.props.GetString(TagId(tags::kSubject))) {
    std::string prefix = m.props.GetString(TagId(tags::kSubjectPrefix)).value_or("");
    if (!StartsWith(*subject, prefix)) prefix.clear();
    props[TagId(tags::kSubject)] = {PropType::Unicode, EncodeSubject(*subject, prefix)};
  }
  DropCalculated(props);
  props[names.Map(kSmartNoAttach)] = {PropType::Boolean, OnlyInlineAttachments(m)};

  // The display lists a mail client shows, from the recipients, unless given.
  // An empty list is left out: Outlook stores none (its messages without Cc
  // or Bcc recipients have no PidTagDisplayCc or PidTagDisplayBcc at all).
  for (auto [type, tag] : {std::pair{tags::kRecipTo, tags::kDisplayTo}, std::pair{tags::kRecipCc, tags::kDisplayCc},
                           std::pair{tags::kRecipBcc, tags::kDisplayBcc}}) {
    if (auto given = props.find(TagId(tag)); given != props.end()) {
      if (IsEmptyString(given->second)) props.erase(given);
      continue;
    }
    std::string list;
    for (const Recipient& r : m.recipients) {
      if (r.props.GetInt(TagId(tags::kRecipientType)).value_or(0) != type) continue;
      auto name = r.props.GetString(TagId(tags::kDisplayName));
      if (!name) name = r.props.GetString(TagId(tags::kEmailAddress));
      if (!name) continue;
      if (!list.empty()) list += "; ";
      list += *name;
    }
    if (!list.empty()) props[TagId(tag)] = {PropType::Unicode, list};
  }

  ltp::Subnodes subs;
  // Recipients.
  std::vector<RowValues> recips;
  for (size_t i = 0; i < m.recipients.size(); ++i) {
    RowValues r = Resolve(m.recipients[i].props, names);
    // A recipient is known by its row id (PidTagLtpRowId); Outlook's tables
    // have no PidTagRowid column, so a caller's one is not stored.
    r.erase(kIdRowid);
    if (!r.count(TagId(tags::kObjectType))) r[TagId(tags::kObjectType)] = {PropType::Int32, 6};  // MAPI_MAILUSER
    if (!r.count(TagId(tags::kDisplayType))) r[TagId(tags::kDisplayType)] = {PropType::Int32, 0};
    // Outlook's mail recipients all carry PidTagResponsibility, true.
    if (!r.count(kIdResponsibility)) r[kIdResponsibility] = {PropType::Boolean, true};
    recips.push_back(std::move(r));
  }
  uint64_t size = 0;
  {
    ltp::TableContext tc(store, ColumnsFor(RecipientColumns(), recips, {}));
    for (const RowValues& r : recips) {
      // Row ids come from the store-wide counter, as Outlook's do.
      tc.AddRow(store.NextUnique(), r);
      size += ValueBytes(r);
    }
    auto w = tc.Flush();
    subs.Add(kNidRecipientTable, w.data, w.subnodes);
  }
  // Attachments.
  if (!m.attachments.empty()) {
    std::vector<RowValues> rows;
    std::vector<Nid> nids;
    for (size_t i = 0; i < m.attachments.size(); ++i) {
      Built a = BuildAttachment(store, names, m.attachments[i], d);
      Nid nid = store.AllocateNid(ltp::kNidTypeAttachment);
      subs.Add(nid, a.data, a.subnodes);
      size += a.size;
      nids.push_back(nid);
      rows.push_back(std::move(a.props));
    }
    ltp::TableContext tc(store, AttachmentTableColumns());
    for (size_t i = 0; i < rows.size(); ++i) tc.AddRow(nids[i], rows[i]);
    auto w = tc.Flush();
    subs.Add(kNidAttachmentTable, w.data, w.subnodes);
  }
  // PidTagMessageSize counts every value stored, recipients and attachments
  // included; it sits in its record, so it can be set last.
  props.erase(TagId(tags::kMessageSize));
  // The status lives in the folder's contents-table row (0 unless given),
  // never in the message itself, as in Outlook's files.
  auto status = props.extract(kIdMessageStatus);
  ltp::PcBuilder pc(store, subs);
  for (const auto& [id, v] : props) pc.Set(id, v);
  props[kIdMessageStatus] = status.empty() ? PropValue{PropType::Int32, 0} : status.mapped();
  size += pc.valueBytes() + 4;
  uint32_t messageSize = static_cast<uint32_t>(std::min<uint64_t>(size, INT32_MAX));
  props[TagId(tags::kMessageSize)] = {PropType::Int32, static_cast<int32_t>(messageSize)};
  pc.Set(TagId(tags::kMessageSize), props[TagId(tags::kMessageSize)]);
  Built b;
  b.data = pc.Finish();
  b.subnodes = subs.Write(store);
  b.size = messageSize;
  b.props = std::move(props);
  return b;
}

}  // namespace

std::string EncodeSubject(const std::string& subject, const std::string& prefix) {
  size_t units = Utf16Units(prefix);
  // The length must fit one 7-bit character; longer "prefixes" are not real ones.
  char marker = static_cast<char>(units < 0x7F ? units + 1 : 1);
  return std::string("\x01") + marker + subject;
}

WrittenMessage WriteMessage(NodeStore& store, NameToIdMap& names, const Message& message,
                            const MessageDefaults& defaults) {
  Built b = BuildMessage(store, names, message, defaults);
  WrittenMessage w;
  w.data = b.data;
  w.subnodes = b.subnodes;
  w.size = b.size;
  w.row = std::move(b.props);
  return w;
}

}  // namespace pst::messaging

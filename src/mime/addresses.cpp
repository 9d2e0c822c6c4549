// SPDX-License-Identifier: GPL-3.0-or-later
// Originator and recipient header fields ([MS-OXCMAIL] 2.2.3.2.1 to
// 2.2.3.2.3): From to sent-representing, Sender (or From) to sender,
// Reply-To to the reply recipients, To/Cc/Bcc to recipient rows, and the
// addresses receipts are asked for.
#include <algorithm>
#include <span>
#include <utility>
#include <vector>

#include "mime/encoded_words.h"
#include "mime/entry_ids.h"
#include "mime/gmime_session.h"
#include "mime/limits.h"
#include "mime/message_mapping.h"
#include "mime/text_util.h"
#include "model/prop_tags.h"

namespace mime::detail {
namespace {

namespace tags = model::tags;

constexpr uint16_t kSendRichInfoId = 0x3A40;        // PidTagSendRichInfo
constexpr uint16_t kTransmittableNameId = 0x3A20;   // PidTagTransmittableDisplayName
constexpr uint16_t kRecipientFlagsId = 0x5FFD;      // PidTagRecipientFlags
constexpr uint16_t kRecipientEntryIdId = 0x5FF7;    // PidTagRecipientEntryId
constexpr uint16_t kResponsibilityId = 0x0E0F;      // PidTagResponsibility
constexpr int32_t kRecipSendable = 0x1;
constexpr int32_t kMapiMailUser = 6;                // PidTagObjectType
constexpr int32_t kDtMailUser = 0;                  // PidTagDisplayType
// Receipts the sender asked for ([MS-OXOMSG] 2.2.1, [MS-OXCMAIL] 2.6.1).
constexpr uint32_t kReadReceiptRequested = model::MakeTag(0x0029, model::PropType::Boolean);
constexpr uint32_t kOriginatorDeliveryReportRequested = model::MakeTag(0x0023, model::PropType::Boolean);
constexpr uint32_t kReadReceiptName = model::MakeTag(0x402B, model::PropType::Unicode);
constexpr uint32_t kReadReceiptEmailAddress = model::MakeTag(0x402A, model::PropType::Unicode);
constexpr uint32_t kReadReceiptAddressType = model::MakeTag(0x4029, model::PropType::Unicode);
constexpr uint32_t kReadReceiptEntryId = model::MakeTag(0x0046, model::PropType::Binary);
constexpr uint32_t kReadReceiptSearchKey = model::MakeTag(0x0053, model::PropType::Binary);
constexpr uint32_t kReadReceiptSmtpAddress = model::MakeTag(0x5D05, model::PropType::Unicode);
const std::string kSmtp = "SMTP";


// Groups are expanded into their members ("undisclosed-recipients:;" has none).
void Flatten(InternetAddressList* list, std::vector<Mailbox>& out, int depth = 0) {
  if (!list || depth > 8) return;
  const int count = internet_address_list_length(list);
  for (int i = 0; i < count; ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);  // transfer none
    if (INTERNET_ADDRESS_IS_GROUP(address)) {
      Flatten(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), out,
              depth + 1);
    } else if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
      const char* name = internet_address_get_name(address);
      const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
      Mailbox m{Trimmed(ValidUtf8(name ? name : "")), Trimmed(ValidUtf8(addr ? addr : ""))};
      // An "address" that is only an encoded word is a name without address.
      if (m.address.find("=?") != std::string::npos && m.address.find('@') == std::string::npos) {
        m.name = Trimmed(DecodedHeaderText(m.address));
        m.address.clear();
      }
      if (m.name.size() >= 2 && m.name.front() == '"' && m.name.back() == '"')
        m.name = m.name.substr(1, m.name.size() - 2);
      if (!m.address.empty() || !m.name.empty()) out.push_back(std::move(m));
    }
  }
}

// Every field named `field`, parsed from its raw text made UTF-8 first: a
// raw legacy byte in an address would otherwise make the parser give up
// on the whole field, and raw bytes inside encoded words would be decoded
// twice.
std::vector<Mailbox> MailboxesOf(GMimeMessage* message, const char* field) {
  std::vector<Mailbox> out;
  GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));  // transfer none
  const int count = headers ? g_mime_header_list_get_count(headers) : 0;
  for (int i = 0; i < count; ++i) {
    GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);  // transfer none
    const char* name = g_mime_header_get_name(header);
    if (!name || !EqualsIgnoreCase(name, field)) continue;
    const char* raw = g_mime_header_get_raw_value(header);
    const std::string text = ValidUtf8(MendEncodedWords(raw ? raw : ""));
    InternetAddressList* list = internet_address_list_parse(nullptr, text.c_str());  // transfer full
    Flatten(list, out);
    if (list) g_object_unref(list);
  }
  return out;
}

// From or Sender that GMime cannot read as addresses still names someone:
// the field's text becomes the name, so the client shows who sent it.
std::vector<Mailbox> OriginatorOf(GMimeMessage* message, const char* field) {
  std::vector<Mailbox> out = MailboxesOf(message, field);
  if (out.empty()) {
    std::string text = Trimmed(DecodedHeaderText(HeaderValue(GMIME_OBJECT(message), field)));
    // "Name <>": a null address (bounces use it); the name is what is left.
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "<>") == 0)
      text = Trimmed(text.substr(0, text.size() - 2));
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
      text = text.substr(1, text.size() - 2);
    if (!text.empty()) out.push_back(Mailbox{text, ""});
  }
  return out;
}

void SetOriginator(model::PropertyBag& props, const Mailbox& m, uint32_t nameTag, uint32_t emailTag,
                   uint32_t typeTag, uint32_t entryTag, uint32_t searchTag, uint32_t smtpTag) {
  props.Set(nameTag, m.Shown());
  props.Set(emailTag, m.address);
  props.Set(typeTag, kSmtp);
  props.Set(entryTag, OneOffEntryId(m.Shown(), kSmtp, m.address));
  props.Set(searchTag, SearchKey(kSmtp, m.address));
  props.Set(smtpTag, m.address);
}

}  // namespace

std::string JoinShown(const std::vector<Mailbox>& boxes) {
  std::string out;
  for (const auto& m : boxes) {
    if (!out.empty()) out += "; ";
    out += m.Shown();
  }
  return out;
}

void AddRecipients(model::Message& out, std::span<const Mailbox> boxes, int32_t type) {
  for (const auto& m : boxes) {
    model::Recipient& r = out.recipients.emplace_back();
    const model::Bytes entryId = OneOffEntryId(m.Shown(), kSmtp, m.address);
    r.props.Set(tags::kRecipientType, type);
    r.props.Set(tags::kDisplayName, m.Shown());
    r.props.Set(model::MakeTag(kTransmittableNameId, model::PropType::Unicode), m.Shown());
    r.props.Set(tags::kEmailAddress, m.address);
    r.props.Set(tags::kAddressType, kSmtp);
    r.props.Set(tags::kSmtpAddress, m.address);
    r.props.Set(tags::kEntryId, entryId);
    r.props.Set(tags::kRecordKey, entryId);
    r.props.Set(tags::kSearchKey, SearchKey(kSmtp, m.address));
    r.props.Set(tags::kObjectType, kMapiMailUser);
    r.props.Set(tags::kDisplayType, kDtMailUser);
    r.props.Set(model::MakeTag(kSendRichInfoId, model::PropType::Boolean), false);
    r.props.Set(model::MakeTag(kRecipientFlagsId, model::PropType::Int32), kRecipSendable);
    // As Outlook's mail recipients: the entry ID once more as the recipient's
    // own (PidTagRecipientDisplayName is an attendee's, not a mail
    // recipient's), responsibility taken, and no PidTagRowid (the table's
    // row id is the recipient's identity).
    r.props.Set(model::MakeTag(kRecipientEntryIdId, model::PropType::Binary), entryId);
    r.props.Set(model::MakeTag(kResponsibilityId, model::PropType::Boolean), true);
  }
}

void SetSenderAndAuthor(model::PropertyBag& props, const Mailbox& m) {
  SetOriginator(props, m, tags::kSentRepresentingName, tags::kSentRepresentingEmailAddress,
                tags::kSentRepresentingAddressType, tags::kSentRepresentingEntryId,
                tags::kSentRepresentingSearchKey, tags::kSentRepresentingSmtpAddress);
  SetOriginator(props, m, tags::kSenderName, tags::kSenderEmailAddress, tags::kSenderAddressType,
                tags::kSenderEntryId, tags::kSenderSearchKey, tags::kSenderSmtpAddress);
}

void MapAddresses(GMimeMessage* message, model::Message& out, const ImportContext& ctx) {
  const std::vector<Mailbox> from = OriginatorOf(message, "From");
  const std::vector<Mailbox> sender = OriginatorOf(message, "Sender");
  // From names the author (sent-representing); Sender the agent that sent it,
  // who is the author when there is no Sender field.
  const Mailbox* author = !from.empty() ? &from.front() : !sender.empty() ? &sender.front() : nullptr;
  const Mailbox* agent = !sender.empty() ? &sender.front() : author;
  if (author)
    SetOriginator(out.props, *author, tags::kSentRepresentingName,
                  tags::kSentRepresentingEmailAddress, tags::kSentRepresentingAddressType,
                  tags::kSentRepresentingEntryId, tags::kSentRepresentingSearchKey,
                  tags::kSentRepresentingSmtpAddress);
  if (agent)
    SetOriginator(out.props, *agent, tags::kSenderName, tags::kSenderEmailAddress,
                  tags::kSenderAddressType, tags::kSenderEntryId, tags::kSenderSearchKey,
                  tags::kSenderSmtpAddress);

  const std::vector<Mailbox> replyTo = MailboxesOf(message, "Reply-To");
  if (!replyTo.empty()) {
    std::vector<model::Bytes> ids;
    for (const auto& m : replyTo) ids.push_back(OneOffEntryId(m.Shown(), kSmtp, m.address));
    out.props.Set(tags::kReplyRecipientNames, JoinShown(replyTo));
    out.props.Set(tags::kReplyRecipientEntries, FlatEntryList(ids));
  }

  // Disposition-Notification-To asks for a read receipt, to the address it
  // names (the PidTagReadReceipt group); Return-Receipt-To for a delivery
  // receipt.
  const std::vector<Mailbox> notify = MailboxesOf(message, "Disposition-Notification-To");
  if (const auto it = std::find_if(notify.begin(), notify.end(), [](const Mailbox& m) { return !m.address.empty(); });
      it != notify.end()) {
    out.props.Set(kReadReceiptRequested, true);
    SetOriginator(out.props, *it, kReadReceiptName, kReadReceiptEmailAddress, kReadReceiptAddressType,
                  kReadReceiptEntryId, kReadReceiptSearchKey, kReadReceiptSmtpAddress);
  }
  if (!MailboxesOf(message, "Return-Receipt-To").empty())
    out.props.Set(kOriginatorDeliveryReportRequested, true);

  const std::vector<Mailbox> to = MailboxesOf(message, "To");
  const std::vector<Mailbox> cc = MailboxesOf(message, "Cc");
  const std::vector<Mailbox> bcc = MailboxesOf(message, "Bcc");
  // Rows for the first kMaxRecipientRows only, in the order To, Cc, Bcc:
  // each row costs some kilobytes in memory and in the file.
  size_t room = kMaxRecipientRows;
  for (const auto& [boxes, type] : {std::pair{&to, tags::kRecipTo}, {&cc, tags::kRecipCc}, {&bcc, tags::kRecipBcc}}) {
    const size_t kept = std::min(room, boxes->size());
    AddRecipients(out, std::span(*boxes).first(kept), type);
    room -= kept;
  }
  if (const size_t all = to.size() + cc.size() + bcc.size(); all > kMaxRecipientRows)
    ctx.Warn("the message names " + std::to_string(all) + " recipients; only the first " +
             std::to_string(kMaxRecipientRows) +
             " became recipient rows, the display lists name all of them and the original header block keeps "
             "every address");
  out.props.Set(tags::kDisplayTo, JoinShown(to));
  out.props.Set(tags::kDisplayCc, JoinShown(cc));
  out.props.Set(tags::kDisplayBcc, JoinShown(bcc));
}

}  // namespace mime::detail

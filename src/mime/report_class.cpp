// SPDX-License-Identifier: GPL-3.0-or-later
// Delivery status notifications (RFC 3464) and message disposition
// notifications (RFC 8098) as the report messages Outlook shows
// ([MS-OXCMAIL] 2.2.3.7): the class from the worst Action or from the
// Disposition, the recipients a delivery report speaks of, and the original
// message's subject from its returned copy or header.
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mime/encoded_words.h"
#include "mime/gmime_session.h"
#include "mime/limits.h"
#include "mime/message_mapping.h"
#include "mime/text_util.h"
#include "model/prop_tags.h"

namespace mime::detail {
namespace {

namespace tags = model::tags;
using model::PropType;

constexpr uint32_t kTagOriginalSubject = model::MakeTag(0x0049, PropType::Unicode);
constexpr uint32_t kTagOriginalSubmitTime = model::MakeTag(0x004E, PropType::Time);
constexpr uint32_t kTagOriginalDisplayTo = model::MakeTag(0x0074, PropType::Unicode);
constexpr uint32_t kTagReportDispositionMode = model::MakeTag(0x0081, PropType::Unicode);
constexpr uint32_t kTagOriginalMessageId = model::MakeTag(0x1046, PropType::Unicode);
constexpr uint32_t kTagSupplementaryInfo = model::MakeTag(0x0C1B, PropType::Unicode);
constexpr uint32_t kTagNdrStatusCode = model::MakeTag(0x0C20, PropType::Int32);

// A report's field blocks are read up to this size; the part stays whole.
constexpr size_t kMaxReportBytes = 1 << 20;

using Fields = std::vector<std::pair<std::string, std::string>>;

std::string FieldValue(const Fields& fields, std::string_view name) {
  for (const auto& [n, v] : fields)
    if (EqualsIgnoreCase(n, name)) return v;
  return {};
}

// The blocks of header-style fields a report part holds (RFC 3464 2.1: the
// per-message block, then one per recipient), folding undone. Linear in the
// text, which is at most kMaxReportBytes.
std::vector<Fields> FieldBlocks(std::string_view text) {
  std::vector<Fields> blocks(1);
  ForEachLine(text, [&](std::string_view line) {
    if (Trimmed(line).empty()) {
      if (!blocks.back().empty()) blocks.emplace_back();
    } else if ((line[0] == ' ' || line[0] == '\t') && !blocks.back().empty()) {
      blocks.back().back().second += " " + Trimmed(line);
    } else if (const size_t colon = line.find(':'); colon != std::string_view::npos) {
      blocks.back().emplace_back(Trimmed(line.substr(0, colon)), Trimmed(line.substr(colon + 1)));
    }
  });
  if (blocks.back().empty()) blocks.pop_back();
  return blocks;
}

// "rfc822; ann@example.com" to the address.
std::string TypedAddress(std::string_view value) {
  const size_t semi = value.find(';');
  std::string address = Trimmed(semi == std::string_view::npos ? value : value.substr(semi + 1));
  if (address.size() >= 2 && address.front() == '<' && address.back() == '>')
    address = address.substr(1, address.size() - 2);
  return ValidUtf8(address);
}

std::string PartText(GMimeObject* object, const ImportContext& ctx) {
  std::vector<uint8_t> bytes;
  if (GMIME_IS_PART(object)) {
    bytes = DecodedContent(GMIME_PART(object));
  } else if (GMIME_IS_MESSAGE_PART(object)) {
    GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));  // transfer none
    if (inner) bytes = SerializedObject(GMIME_OBJECT(inner));
  }
  if (bytes.size() > kMaxReportBytes) {
    ctx.Warn("the report's status part is larger than " + std::to_string(kMaxReportBytes >> 20) +
             " MiB; only its first MiB was read, the attachment keeps all of it");
    bytes.resize(kMaxReportBytes);
  }
  return std::string(bytes.begin(), bytes.end());
}

// Action values by severity ([MS-OXCMAIL] 2.2.3.7.1.1) and the suffix each
// gives the class.
struct ActionKind {
  std::string_view action;
  std::string_view suffix;
};
constexpr ActionKind kActions[] = {{"delivered", ".DR"},
                                   {"expanded", ".Expanded.DR"},
                                   {"relayed", ".Relayed.DR"},
                                   {"delayed", ".Delayed.DR"},
                                   {"failed", ".NDR"}};

int Severity(std::string_view action) {
  const std::string a = AsciiLower(Trimmed(action));
  for (size_t i = 0; i < std::size(kActions); ++i)
    if (kActions[i].action == a) return static_cast<int>(i);
  return -1;
}

// Status "5.1.1" as Kind*100 + Subject*10 + Detail ([MS-OXCMAIL] 2.2.3.7.1.3).
std::optional<int32_t> StatusCode(std::string_view status) {
  const std::string s = Trimmed(status.substr(0, status.find_first_of(" \t(")));
  int parts[3] = {0, 0, 0};
  int n = 0;
  bool digit = false;
  for (const char c : s) {
    if (c >= '0' && c <= '9') {
      if (parts[n] > 999) return std::nullopt;
      parts[n] = parts[n] * 10 + (c - '0');
      digit = true;
    } else if (c == '.' && digit && n < 2) {
      ++n;
      digit = false;
    } else {
      return std::nullopt;
    }
  }
  if (n != 2 || !digit) return std::nullopt;
  for (int k = 1; k < 3; ++k)
    if (parts[k] > 9) parts[k] = 0;
  return parts[0] * 100 + parts[1] * 10 + parts[2];
}

// The recipient table of a delivery report names the recipients it reports
// on ([MS-OXCMAIL] 2.2.3.7.1), not the sender it went back to.
void ReplaceRecipients(model::Message& out, const std::vector<Mailbox>& boxes) {
  out.recipients.clear();
  AddRecipients(out, boxes, tags::kRecipTo);
  out.props.Set(tags::kDisplayTo, JoinShown(boxes));
  out.props.Set(tags::kDisplayCc, std::string());
  out.props.Set(tags::kDisplayBcc, std::string());
}

// The original message's subject, recipients and date, from its returned
// copy (message/rfc822) or header (text/rfc822-headers).
void MapOriginal(GMimeObject* part, model::Message& out, const ImportContext& ctx) {
  GMimeMessage* original = nullptr;
  std::unique_ptr<ParsedMessage> parsed;
  GPtr<GMimeStream> stream;
  if (GMIME_IS_MESSAGE_PART(part)) {
    original = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));  // transfer none
  } else if (GMIME_IS_PART(part)) {
    std::vector<uint8_t> header = DecodedContent(GMIME_PART(part));
    if (header.size() > kMaxReportBytes) header.resize(kMaxReportBytes);
    header.insert(header.end(), {'\n', '\n'});
    stream.reset(g_mime_stream_mem_new_with_buffer(reinterpret_cast<const char*>(header.data()), header.size()));
    parsed = std::make_unique<ParsedMessage>(stream.get(), nullptr);
    original = parsed->message();
  }
  if (!original) return;
  model::Message copy;
  const ImportContext quiet{ctx.options, nullptr, ctx.now, nullptr};
  MapEnvelope(original, copy, quiet);
  MapAddresses(original, copy, quiet);
  if (const auto subject = copy.props.GetString(model::TagId(tags::kSubject)))
    out.props.Set(kTagOriginalSubject, *subject);
  if (const auto to = copy.props.GetString(model::TagId(tags::kDisplayTo)); to && !to->empty())
    out.props.Set(kTagOriginalDisplayTo, *to);
  if (const auto sent = copy.props.GetInt(model::TagId(tags::kClientSubmitTime)))
    out.props.Set(kTagOriginalSubmitTime, *sent);
}

bool MapDeliveryStatus(const std::string& text, model::Message& out, const ImportContext& ctx) {
  const std::vector<Fields> blocks = FieldBlocks(text);
  int worst = -1;
  for (size_t b = 1; b < blocks.size(); ++b) worst = std::max(worst, Severity(FieldValue(blocks[b], "Action")));
  if (worst < 0) {
    ctx.Warn("the delivery report names no Action it can be classed by; it stays a plain message");
    return false;
  }
  out.props.Set(tags::kMessageClass, "REPORT.IPM.Note" + std::string(kActions[worst].suffix));
  std::vector<Mailbox> boxes;
  std::vector<std::pair<std::optional<int32_t>, std::string>> details;
  for (size_t b = 1; b < blocks.size(); ++b) {
    const Fields& f = blocks[b];
    if (Severity(FieldValue(f, "Action")) != worst) continue;
    std::string address = TypedAddress(FieldValue(f, "Final-Recipient"));
    if (address.empty()) address = TypedAddress(FieldValue(f, "Original-Recipient"));
    if (address.empty()) continue;
    boxes.push_back(Mailbox{ValidUtf8(FieldValue(f, "X-Display-Name")), address});
    // "<remote-mta #status diagnostic>" ([MS-OXCMAIL] 2.2.3.7.1.2)
    const std::string status = Trimmed(FieldValue(f, "Status").substr(0, FieldValue(f, "Status").find_first_of(" \t(")));
    std::string info = FieldValue(f, "X-Supplementary-Info");
    if (info.empty()) {
      std::string remote = TypedAddress(FieldValue(f, "Remote-MTA"));
      const std::string diagnostic = FieldValue(f, "Diagnostic-Code");
      info = "<" + (remote.empty() ? "" : remote + " ") + "#" + status +
             (diagnostic.empty() ? "" : " " + TypedAddress(diagnostic)) + ">";
    }
    details.emplace_back(StatusCode(status), ValidUtf8(info));
  }
  if (boxes.empty()) return true;
  if (boxes.size() > kMaxRecipientRows) {
    ctx.Warn("the report names " + std::to_string(boxes.size()) + " recipients; only the first " +
             std::to_string(kMaxRecipientRows) + " became recipient rows");
    boxes.resize(kMaxRecipientRows);
  }
  ReplaceRecipients(out, boxes);
  for (size_t r = 0; r < out.recipients.size(); ++r) {
    if (details[r].first) out.recipients[r].props.Set(kTagNdrStatusCode, *details[r].first);
    out.recipients[r].props.Set(kTagSupplementaryInfo, details[r].second);
  }
  return true;
}

// A read receipt keeps its own recipients: the reader it names in
// Final-Recipient is the one who sent it ([MS-OXCMAIL] 2.1.3.6.2 writes it
// from the sender).
bool MapDisposition(const std::string& text, model::Message& out, const ImportContext& ctx) {
  const std::vector<Fields> blocks = FieldBlocks(text);
  if (blocks.empty()) return false;
  const Fields& f = blocks.front();
  // "manual-action/MDN-sent-manually; displayed/error": the mode, then the type.
  const std::string field = FieldValue(f, "Disposition");
  const size_t semi = field.find(';');
  std::string disposition = AsciiLower(Trimmed(semi == std::string::npos ? "" : field.substr(semi + 1)));
  disposition = disposition.substr(0, disposition.find_first_of("/ \t"));
  if (disposition == "displayed") {
    out.props.Set(tags::kMessageClass, std::string("REPORT.IPM.Note.IPNRN"));
  } else if (disposition == "deleted" || disposition == "denied") {
    out.props.Set(tags::kMessageClass, std::string("REPORT.IPM.Note.IPNNRN"));
  } else {
    ctx.Warn("the read report's disposition \"" + ValidUtf8(disposition) +
             "\" is neither read nor deleted; it stays a plain message");
    return false;
  }
  if (semi != std::string::npos) out.props.Set(kTagReportDispositionMode, ValidUtf8(Trimmed(field.substr(0, semi))));
  if (const std::string id = FieldValue(f, "Original-Message-ID"); !id.empty())
    out.props.Set(kTagOriginalMessageId, ValidUtf8(id));
  return true;
}

}  // namespace

bool MapReportMessage(GMimeMessage* message, model::Message& out, const ImportContext& ctx) {
  GMimeObject* top = g_mime_message_get_mime_part(message);  // transfer none
  if (!top || !GMIME_IS_MULTIPART(top) || MimeTypeOf(top) != "multipart/report") return false;
  if (out.props.GetString(model::TagId(tags::kMessageClass)).value_or("") != "IPM.Note") return false;
  GMimeMultipart* report = GMIME_MULTIPART(top);
  GMimeObject* status = nullptr;
  GMimeObject* original = nullptr;
  bool delivery = false;
  const int count = std::min(g_mime_multipart_get_count(report), 64);
  for (int i = 0; i < count; ++i) {
    GMimeObject* part = g_mime_multipart_get_part(report, i);
    const std::string type = MimeTypeOf(part);
    if (!status && (type == "message/delivery-status" || type == "message/global-delivery-status")) {
      status = part;
      delivery = true;
    } else if (!status && (type == "message/disposition-notification" ||
                           type == "message/global-disposition-notification")) {
      status = part;
    } else if (!original && (type == "message/rfc822" || type == "message/global" ||
                             type == "text/rfc822-headers" || type == "message/global-headers")) {
      original = part;
    }
  }
  if (!status) return false;
  const std::string text = PartText(status, ctx);
  if (!(delivery ? MapDeliveryStatus(text, out, ctx) : MapDisposition(text, out, ctx))) return false;
  if (original) MapOriginal(original, out, ctx);
  return true;
}

}  // namespace mime::detail

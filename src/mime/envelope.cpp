// SPDX-License-Identifier: GPL-3.0-or-later
// Header fields of the message itself to envelope properties ([MS-OXCMAIL]
// 2.2.3.2): subject and its prefix, times, identifiers, importance,
// priority, sensitivity and the transport header block.
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "mime/charset.h"
#include "mime/conversation_index.h"
#include "mime/encoded_words.h"
#include "mime/gmime_session.h"
#include "mime/message_mapping.h"
#include "mime/subject.h"
#include "mime/text_util.h"
#include "model/prop_tags.h"

namespace mime::detail {
namespace {

namespace tags = model::tags;

int64_t FileTimeOf(GDateTime* when) {
  return model::FileTimeFromUnix(g_date_time_to_unix(when));
}

std::optional<int64_t> ParseDate(const std::string& text) {
  if (text.empty()) return std::nullopt;
  GDateTime* when = g_mime_utils_header_decode_date(text.c_str());  // transfer full
  if (!when) return std::nullopt;
  const int64_t ft = FileTimeOf(when);
  g_date_time_unref(when);
  // Before 1601 or absurdly far ahead: a broken date, not a time.
  if (ft <= 0) return std::nullopt;
  return ft;
}

// The date of the newest Received field: the topmost one, which the last
// server to handle the message added. Its date follows the last ';'.
std::optional<int64_t> NewestReceivedTime(GMimeHeaderList* headers) {
  const int count = g_mime_header_list_get_count(headers);
  for (int i = 0; i < count; ++i) {
    GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);  // transfer none
    const char* name = g_mime_header_get_name(header);
    if (!name || !EqualsIgnoreCase(name, "Received")) continue;
    const char* raw = g_mime_header_get_raw_value(header);
    const std::string value = Unfolded(raw ? raw : "");
    const size_t semi = value.rfind(';');
    if (semi == std::string::npos) continue;
    if (auto when = ParseDate(Trimmed(value.substr(semi + 1)))) return when;
  }
  return std::nullopt;
}

// The header section as it came, one field per line with its own folding,
// every line ending in CRLF (what PidTagTransportMessageHeaders holds).
// GMime files the Content-* fields under the top MIME part, so the two
// lists are merged back into file order by their offsets.
std::string TransportHeaders(GMimeMessage* message) {
  std::vector<std::pair<int64_t, GMimeHeader*>> fields;
  auto collect = [&fields](GMimeObject* object) {
    GMimeHeaderList* list = object ? g_mime_object_get_header_list(object) : nullptr;
    const int count = list ? g_mime_header_list_get_count(list) : 0;
    for (int i = 0; i < count; ++i) {
      GMimeHeader* header = g_mime_header_list_get_header_at(list, i);  // transfer none
      fields.emplace_back(g_mime_header_get_offset(header), header);
    }
  };
  collect(GMIME_OBJECT(message));
  collect(g_mime_message_get_mime_part(message));
  std::stable_sort(fields.begin(), fields.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string raw;
  for (const auto& [offset, header] : fields) {
    const char* name = g_mime_header_get_raw_name(header);
    const char* value = g_mime_header_get_raw_value(header);
    raw += name ? name : "";
    raw += ':';
    raw += value ? value : "";
    if (raw.empty() || raw.back() != '\n') raw += '\n';
  }
  std::string out;
  out.reserve(raw.size() + raw.size() / 16);
  for (char c : raw) {
    if (c == '\r') continue;
    if (c == '\n')
      out += "\r\n";
    else
      out += c;
  }
  if (!out.empty()) out += "\r\n";  // the empty line that ends a header section
  return ValidUtf8(out);
}

// "low", "normal" or "high" as 0, 1, 2.
std::optional<int32_t> LevelOf(const std::string& value) {
  const std::string level = AsciiLower(Trimmed(value));
  if (level == "low") return 0;
  if (level == "normal") return 1;
  if (level == "high") return 2;
  return std::nullopt;
}

// Importance: 0 low, 1 normal, 2 high ([MS-OXCMAIL] 2.2.3.2.5). The
// Importance field wins over the others, which mailers write instead of it.
std::optional<int32_t> ImportanceOf(GMimeObject* object) {
  if (auto level = LevelOf(HeaderValue(object, "Importance"))) return level;
  const std::string xPriority = HeaderValue(object, "X-Priority");
  if (!xPriority.empty() && xPriority[0] >= '1' && xPriority[0] <= '5') {
    const char p = xPriority[0];
    return p <= '2' ? 2 : p == '3' ? 1 : 0;
  }
  if (auto level = LevelOf(HeaderValue(object, "X-MSMail-Priority"))) return level;
  const std::string priority = AsciiLower(HeaderValue(object, "Priority"));
  if (priority == "urgent") return 2;
  if (priority == "normal") return 1;
  if (priority == "non-urgent") return 0;
  return std::nullopt;
}

// PidTagPriority: 1 urgent, 0 normal, -1 not urgent.
std::optional<int32_t> PriorityOf(GMimeObject* object) {
  const std::string priority = AsciiLower(HeaderValue(object, "Priority"));
  if (priority == "urgent") return 1;
  if (priority == "normal") return 0;
  if (priority == "non-urgent") return -1;
  const std::string xPriority = HeaderValue(object, "X-Priority");
  if (!xPriority.empty() && xPriority[0] >= '1' && xPriority[0] <= '5') {
    const char p = xPriority[0];
    return p <= '2' ? 1 : p == '3' ? 0 : -1;
  }
  return std::nullopt;
}

// PidTagSensitivity: 0 none, 1 personal, 2 private, 3 confidential.
std::optional<int32_t> SensitivityOf(GMimeObject* object) {
  const std::string s = AsciiLower(HeaderValue(object, "Sensitivity"));
  if (s.empty()) return std::nullopt;
  if (s == "personal") return 1;
  if (s == "private") return 2;
  if (s == "company-confidential") return 3;
  return 0;
}

// The "<id>" of an identifier field; comments or junk after it (some
// relays add them) would keep replies from finding it.
std::string MessageIdOf(const std::string& value) {
  const size_t open = value.find('<');
  const size_t close = open == std::string::npos ? open : value.find('>', open);
  if (close == std::string::npos) return value;
  return value.substr(open, close - open + 1);
}

bool HasEightBit(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

// The subject as a client should show it. Raw 8-bit text that is not UTF-8
// was most likely written in the charset of the message's own body (old
// Chinese, Japanese and Russian mailers do this), which GMime cannot know
// when it falls back to Windows-1252; the body's charset is tried first.
std::string SubjectOf(GMimeMessage* message) {
  const char* decoded = g_mime_message_get_subject(message);  // transfer none
  if (!decoded) return {};
  GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
  GMimeHeader* header = headers ? g_mime_header_list_get_header(headers, "Subject") : nullptr;
  const char* rawValue = header ? g_mime_header_get_raw_value(header) : nullptr;
  const std::string raw = Trimmed(Unfolded(rawValue ? rawValue : ""));
  if (raw.find("=?") != std::string::npos) {
    // Raw bytes inside encoded words belong to the word's own charset.
    const std::string mended = MendEncodedWords(raw);
    if (mended == raw) return ValidUtf8(decoded);
    char* again = g_mime_utils_header_decode_text(nullptr, mended.c_str());  // transfer full
    std::string text = ValidUtf8(again ? again : decoded);
    g_free(again);
    return text;
  }
  if (!HasEightBit(raw) || IsValidUtf8(raw)) return ValidUtf8(decoded);
  GMimeObject* body = g_mime_message_get_body(message);  // transfer none
  const char* hint = body ? g_mime_object_get_content_type_parameter(body, "charset") : nullptr;
  const std::string charset = AsciiLower(hint ? hint : "");
  if (charset.empty() || charset == "us-ascii" || charset == "utf-8") return ValidUtf8(decoded);
  const DecodedText text = DecodeText(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(raw.data()), raw.size()), charset);
  if (text.lossy || !text.asLabelled) return ValidUtf8(decoded);
  return text.utf8;
}

}  // namespace

void MapEnvelope(GMimeMessage* message, model::Message& out, const ImportContext& ctx) {
  GMimeObject* object = GMIME_OBJECT(message);
  GMimeHeaderList* headers = g_mime_object_get_header_list(object);  // transfer none

  // Subject: GMime has decoded RFC 2047 words and raw 8-bit text already.
  if (g_mime_message_get_subject(message)) {
    const std::string subject = SubjectOf(message);
    const SubjectParts parts = SplitSubject(subject);
    out.props.Set(tags::kSubject, subject);
    out.props.Set(tags::kSubjectPrefix, parts.prefix);
    out.props.Set(tags::kNormalizedSubject, parts.normalized);
    out.props.Set(tags::kConversationTopic, parts.normalized);
  }

  // Times: Date gives the submit time; the newest Received the delivery
  // time, else Date; a message with neither was delivered to us now.
  std::optional<int64_t> sent;
  if (GDateTime* date = g_mime_message_get_date(message))  // transfer none
    sent = FileTimeOf(date);
  if (sent && *sent <= 0) sent.reset();
  std::optional<int64_t> received = headers ? NewestReceivedTime(headers) : std::nullopt;
  if (!sent && received) sent = received;
  if (!received) received = sent;
  if (sent) out.props.Set(tags::kClientSubmitTime, *sent);
  out.props.Set(tags::kMessageDeliveryTime, received.value_or(ctx.now));
  out.props.Set(tags::kCreationTime, ctx.now);
  out.props.Set(tags::kLastModificationTime, ctx.now);

  // Identifiers keep their angle brackets, as they are on the wire.
  const std::string messageId = MessageIdOf(HeaderValue(object, "Message-ID"));
  const std::string inReplyTo = MessageIdOf(HeaderValue(object, "In-Reply-To"));
  const std::string references = HeaderValue(object, "References");
  if (!messageId.empty()) out.props.Set(tags::kInternetMessageId, messageId);
  if (!inReplyTo.empty()) out.props.Set(tags::kInReplyToId, inReplyTo);
  if (!references.empty()) out.props.Set(tags::kInternetReferences, references);
  const ThreadFields thread{HeaderValue(object, "Thread-Index"), messageId, inReplyTo, references,
                            sent.value_or(0),
                            HeaderValue(object, "Subject") + "\n" + HeaderValue(object, "Date")};
  out.props.Set(tags::kConversationIndex, model::Bytes(ConversationIndexFor(thread)));

  // Mail that says nothing is of normal importance and not sensitive, as
  // Outlook stores it.
  out.props.Set(tags::kImportance, ImportanceOf(object).value_or(1));
  if (auto v = PriorityOf(object)) out.props.Set(tags::kPriority, *v);
  out.props.Set(tags::kSensitivity, SensitivityOf(object).value_or(0));

  if (std::string block = TransportHeaders(message); !block.empty())
    out.props.Set(tags::kTransportMessageHeaders, block);
}

}  // namespace mime::detail

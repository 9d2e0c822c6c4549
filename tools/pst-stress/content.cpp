// SPDX-License-Identifier: GPL-3.0-or-later
#include "content.h"

#include <memory>
#include <vector>

#include "pst/prop_tags.h"

namespace stress {
namespace {

namespace tags = pst::tags;

// "Grüße, 日本, 😀" exercises two- and three-byte UTF-8 and a surrogate pair.
const char* const kUnicodeText = "Gr\xC3\xBC\xC3\x9F" "e, \xE6\x97\xA5\xE6\x9C\xAC, \xF0\x9F\x98\x80";

pst::Recipient MakeRecipient(int type, const std::string& name, const std::string& address) {
  pst::Recipient r;
  r.props.Set(tags::kRecipientType, int32_t{type});
  r.props.Set(tags::kDisplayName, name);
  r.props.Set(tags::kAddressType, std::string("SMTP"));
  r.props.Set(tags::kEmailAddress, address);
  r.props.Set(tags::kSmtpAddress, address);
  return r;
}

}  // namespace

std::string SubjectOf(uint64_t n, bool unicode) {
  std::string s = "Message " + std::to_string(n);
  if (unicode) s += std::string(" ") + kUnicodeText;
  return s;
}

uint8_t AttachmentByte(uint64_t n, uint64_t i) {
  uint64_t x = (n + 1) * 0x9E3779B97F4A7C15ULL + i * 0xBF58476D1CE4E5B9ULL;
  x ^= x >> 29;
  return static_cast<uint8_t>(x);
}

pst::Message MakeMessage(uint64_t n, const ContentOptions& options) {
  pst::Message m;
  const std::string tail = options.unicode ? std::string(" ") + kUnicodeText : std::string();
  const std::string sender = "sender" + std::to_string(n % 7) + "@example.org";
  m.props.Set(tags::kMessageClass, std::string("IPM.Note"));
  m.props.Set(tags::kSubject, SubjectOf(n, options.unicode));
  m.props.Set(tags::kSenderName, "Sender " + std::to_string(n % 7) + tail);
  m.props.Set(tags::kSenderEmailAddress, sender);
  m.props.Set(tags::kSenderAddressType, std::string("SMTP"));
  m.props.Set(tags::kSentRepresentingName, "Sender " + std::to_string(n % 7) + tail);
  m.props.Set(tags::kSentRepresentingEmailAddress, sender);
  // 2020-01-01T00:00:00Z plus n minutes.
  const int64_t when = pst::FileTimeFromUnix(1577836800 + static_cast<int64_t>(n) * 60);
  m.props.Set(tags::kClientSubmitTime, when);
  m.props.Set(tags::kMessageDeliveryTime, when);
  m.props.Set(tags::kMessageFlags, n % 2 ? tags::kMsgFlagRead : int32_t{0});
  m.props.Set(tags::kBody, "Body of message " + std::to_string(n) + "." + tail + "\r\nSecond line.\r\n");
  m.recipients.push_back(MakeRecipient(tags::kRecipTo, "To Person" + tail, "to" + std::to_string(n) + "@example.org"));
  m.recipients.push_back(MakeRecipient(tags::kRecipCc, "Cc Person", "cc@example.org"));
  if (options.attachmentBytes > 0 || !options.attachmentFile.empty()) {
    pst::Attachment a;
    const std::string name = "attachment-" + std::to_string(n) + (options.unicode ? "-\xC3\xA9" : "") + ".bin";
    a.props.Set(tags::kAttachMethod, tags::kAttachByValue);
    a.props.Set(tags::kAttachFilename, name);
    a.props.Set(tags::kAttachLongFilename, name);
    a.props.Set(tags::kAttachMimeTag, std::string("application/octet-stream"));
    if (!options.attachmentFile.empty()) {
      a.data = std::make_shared<pst::FileSource>(options.attachmentFile);
    } else {
      std::vector<uint8_t> bytes(options.attachmentBytes);
      for (uint64_t i = 0; i < bytes.size(); ++i) bytes[i] = AttachmentByte(n, i);
      a.data = std::make_shared<pst::MemorySource>(std::move(bytes));
    }
    m.attachments.push_back(std::move(a));
  }
  return m;
}

}  // namespace stress

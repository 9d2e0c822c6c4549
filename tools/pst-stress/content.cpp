#include "content.h"

#include <memory>
#include <vector>

namespace stress {
namespace {

constexpr uint32_t kMessageClass = 0x001A001F;
constexpr uint32_t kSubject = 0x0037001F;
constexpr uint32_t kClientSubmitTime = 0x00390040;
constexpr uint32_t kSentRepresentingName = 0x0042001F;
constexpr uint32_t kSentRepresentingEmail = 0x0065001F;
constexpr uint32_t kSenderName = 0x0C1A001F;
constexpr uint32_t kSenderAddrType = 0x0C1E001F;
constexpr uint32_t kSenderEmail = 0x0C1F001F;
constexpr uint32_t kDeliveryTime = 0x0E060040;
constexpr uint32_t kMessageFlags = 0x0E070003;
constexpr uint32_t kBody = 0x1000001F;
constexpr uint32_t kRecipientType = 0x0C150003;
constexpr uint32_t kDisplayName = 0x3001001F;
constexpr uint32_t kAddrType = 0x3002001F;
constexpr uint32_t kEmailAddress = 0x3003001F;
constexpr uint32_t kSmtpAddress = 0x39FE001F;
constexpr uint32_t kAttachMethod = 0x37050003;
constexpr uint32_t kAttachFilename = 0x3704001F;
constexpr uint32_t kAttachLongFilename = 0x3707001F;
constexpr uint32_t kAttachMimeTag = 0x370E001F;

// "Grüße, 日本, 😀" exercises two- and three-byte UTF-8 and a surrogate pair.
const char* const kUnicodeText = "Gr\xC3\xBC\xC3\x9F" "e, \xE6\x97\xA5\xE6\x9C\xAC, \xF0\x9F\x98\x80";

pst::Recipient MakeRecipient(int type, const std::string& name, const std::string& address) {
  pst::Recipient r;
  r.props.Set(kRecipientType, int32_t{type});
  r.props.Set(kDisplayName, name);
  r.props.Set(kAddrType, std::string("SMTP"));
  r.props.Set(kEmailAddress, address);
  r.props.Set(kSmtpAddress, address);
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
  m.props.Set(kMessageClass, std::string("IPM.Note"));
  m.props.Set(kSubject, SubjectOf(n, options.unicode));
  m.props.Set(kSenderName, "Sender " + std::to_string(n % 7) + tail);
  m.props.Set(kSenderEmail, sender);
  m.props.Set(kSenderAddrType, std::string("SMTP"));
  m.props.Set(kSentRepresentingName, "Sender " + std::to_string(n % 7) + tail);
  m.props.Set(kSentRepresentingEmail, sender);
  // 2020-01-01T00:00:00Z plus n minutes.
  const int64_t when = pst::FileTimeFromUnix(1577836800 + static_cast<int64_t>(n) * 60);
  m.props.Set(kClientSubmitTime, when);
  m.props.Set(kDeliveryTime, when);
  m.props.Set(kMessageFlags, int32_t{n % 2 ? 1 : 0});
  m.props.Set(kBody, "Body of message " + std::to_string(n) + "." + tail + "\r\nSecond line.\r\n");
  m.recipients.push_back(MakeRecipient(1, "To Person" + tail, "to" + std::to_string(n) + "@example.org"));
  m.recipients.push_back(MakeRecipient(2, "Cc Person", "cc@example.org"));
  if (options.attachmentBytes > 0 || !options.attachmentFile.empty()) {
    pst::Attachment a;
    const std::string name = "attachment-" + std::to_string(n) + (options.unicode ? "-\xC3\xA9" : "") + ".bin";
    a.props.Set(kAttachMethod, int32_t{1});
    a.props.Set(kAttachFilename, name);
    a.props.Set(kAttachLongFilename, name);
    a.props.Set(kAttachMimeTag, std::string("application/octet-stream"));
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

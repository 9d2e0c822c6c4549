// SPDX-License-Identifier: GPL-3.0-or-later
#include "sample_content.h"

#include "pst/prop_tags.h"

namespace pst::sample {

namespace {

Recipient MakeRecipient(const std::string& name, const std::string& addr, int32_t type) {
  Recipient r;
  r.props.Set(tags::kRecipientType, type);
  r.props.Set(tags::kDisplayName, name);
  r.props.Set(tags::kAddressType, std::string("SMTP"));
  r.props.Set(tags::kEmailAddress, addr);
  r.props.Set(tags::kSmtpAddress, addr);
  return r;
}

Attachment MakeFile(const std::string& name, const std::string& mime, size_t size, uint32_t seed) {
  Attachment a;
  a.props.Set(tags::kAttachMethod, tags::kAttachByValue);
  a.props.Set(tags::kAttachLongFilename, name);
  a.props.Set(tags::kAttachFilename, name);
  a.props.Set(tags::kAttachMimeTag, mime);
  a.data = std::make_shared<MemorySource>(PatternBytes(size, seed));
  return a;
}

void Envelope(Message& m, const std::string& subject, const std::string& body, int64_t when) {
  m.props.Set(tags::kMessageClass, std::string("IPM.Note"));
  m.props.Set(tags::kSubject, subject);
  m.props.Set(tags::kNormalizedSubject, subject);
  m.props.Set(tags::kConversationTopic, subject);
  m.props.Set(tags::kBody, body);
  m.props.Set(tags::kSenderName, std::string("Zo\xC3\xAB Sender"));
  m.props.Set(tags::kSenderEmailAddress, std::string("zoe@example.org"));
  m.props.Set(tags::kSenderAddressType, std::string("SMTP"));
  m.props.Set(tags::kSentRepresentingName, std::string("Zo\xC3\xAB Sender"));
  m.props.Set(tags::kSentRepresentingEmailAddress, std::string("zoe@example.org"));
  m.props.Set(tags::kSentRepresentingAddressType, std::string("SMTP"));
  m.props.Set(tags::kClientSubmitTime, when);
  m.props.Set(tags::kMessageDeliveryTime, when + 600000000LL);
  m.props.Set(tags::kMessageFlags, tags::kMsgFlagRead);
  m.props.Set(tags::kInternetCodepage, int32_t{65001});
}

}  // namespace

Bytes PatternBytes(size_t size, uint32_t seed) {
  Bytes b(size);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b[i] = static_cast<uint8_t>(x);
  }
  return b;
}

void WriteSampleStore(PstWriter& w) {
  const int64_t t0 = FileTimeFromUnix(1700000000);
  Nid inbox = w.CreateFolder(w.IpmSubtree(), "Inbox");
  Nid projects = w.CreateFolder(inbox, "Projects \xE2\x9C\x93");
  Nid deep = w.CreateFolder(projects, "Deep \xF0\x9F\x93\x81 folder");
  Nid archive = w.CreateFolder(w.IpmSubtree(), "Archive");
  w.CreateFolder(archive, "Empty");

  {  // Every property type, all recipient types.
    Message m;
    Envelope(m, "RE: Every type \xF0\x9F\x98\x80", "Body with \xE2\x82\xAC and \xF0\x9D\x84\x9E.\r\n", t0);
    m.props.Set(tags::kSubjectPrefix, std::string("RE: "));
    m.props.Set(tags::kNormalizedSubject, std::string("Every type \xF0\x9F\x98\x80"));
    m.props.Set(tags::kImportance, int32_t{2});
    m.props.Set(MakeTag(0x6701, PropType::Int16), int32_t{-7});
    m.props.Set(MakeTag(0x6702, PropType::Float), 0.5);
    m.props.Set(MakeTag(0x6703, PropType::Double), 3.25);
    m.props.Set(MakeTag(0x6704, PropType::Currency), int64_t{123456});
    m.props.Set(MakeTag(0x6705, PropType::AppTime), 45000.5);
    m.props.Set(MakeTag(0x6706, PropType::ErrorCode), int32_t{0x80004005u & 0x7FFFFFFF});
    m.props.Set(MakeTag(0x6707, PropType::Boolean), true);
    m.props.Set(MakeTag(0x6708, PropType::Int64), int64_t{1} << 40);
    m.props.Set(MakeTag(0x6709, PropType::Guid), tags::kPsetidCommon);
    m.props.Set(MakeTag(0x670A, PropType::String8), std::string("eight-bit"));
    m.props.Set(MakeTag(0x670B, PropType::MvInt16), std::vector<int32_t>{1, 2});
    m.props.Set(MakeTag(0x670C, PropType::MvInt32), std::vector<int32_t>{3, 4, 5});
    m.props.Set(MakeTag(0x670D, PropType::MvInt64), std::vector<int64_t>{6});
    m.props.Set(MakeTag(0x670E, PropType::MvUnicode), std::vector<std::string>{"one", "t\xC3\xA9o"});
    m.props.Set(MakeTag(0x670F, PropType::MvTime), std::vector<int64_t>{t0, t0 + 1});
    m.props.Set(MakeTag(0x6710, PropType::MvGuid), std::vector<Guid>{tags::kPsetidCommon, tags::kPsPublicStrings});
    m.props.Set(MakeTag(0x6711, PropType::MvBinary), std::vector<Bytes>{{1, 2}, {3}});
    m.props.Set(tags::kHtml, Bytes{'<', 'p', '>', 'h', 'i', '<', '/', 'p', '>'});
    m.props.SetNamed({tags::kPsPublicStrings, std::nullopt, "X-Verdaline-Sample"}, PropType::Unicode,
                     std::string("named string"));
    m.props.SetNamed({tags::kPsetidCommon, 0x8580u, ""}, PropType::Int32, int32_t{17});
    m.props.Set(tags::kDisplayTo, std::string("Ann \xC3\x85str\xC3\xB6m"));
    m.props.Set(tags::kDisplayCc, std::string("Bob"));
    m.recipients.push_back(MakeRecipient("Ann \xC3\x85str\xC3\xB6m", "ann@example.org", tags::kRecipTo));
    m.recipients.push_back(MakeRecipient("Bob", "bob@example.org", tags::kRecipCc));
    m.recipients.push_back(MakeRecipient("Cy \xF0\x9F\x90\xB1", "cy@example.org", tags::kRecipBcc));
    w.AddMessage(inbox, m);
  }
  {  // Attachments of 8 KB and 1 MB.
    Message m;
    Envelope(m, "Attachments", "Two files attached.", t0 + 1);
    m.recipients.push_back(MakeRecipient("Ann", "ann@example.org", tags::kRecipTo));
    m.attachments.push_back(MakeFile("small \xC3\xA9.bin", "application/octet-stream", 8 * 1024, 1));
    m.attachments.push_back(MakeFile("large.bin", "application/octet-stream", 1024 * 1024, 2));
    w.AddMessage(projects, m);
  }
  {  // An embedded message that holds an attachment of its own.
    Message m;
    Envelope(m, "FW: Forwarded", "See the attached message.", t0 + 2);
    m.props.Set(tags::kSubjectPrefix, std::string("FW: "));
    m.recipients.push_back(MakeRecipient("Bob", "bob@example.org", tags::kRecipTo));
    Attachment a;
    a.props.Set(tags::kAttachMethod, tags::kAttachEmbeddedMsg);
    a.props.Set(tags::kDisplayName, std::string("Inner message"));
    a.embedded = std::make_unique<Message>();
    Envelope(*a.embedded, "Inner message", "Inner body \xF0\x9F\x8E\x89", t0 - 100);
    a.embedded->recipients.push_back(MakeRecipient("Zo\xC3\xAB", "zoe@example.org", tags::kRecipTo));
    a.embedded->attachments.push_back(MakeFile("inner.txt", "text/plain", 300, 3));
    m.attachments.push_back(std::move(a));
    w.AddMessage(deep, m);
  }
  for (int i = 0; i < 5; ++i) {  // A few plain ones, one unread.
    Message m;
    Envelope(m, "Plain " + std::to_string(i), "Plain body " + std::to_string(i), t0 + 10 + i);
    if (i == 4) m.props.Set(tags::kMessageFlags, int32_t{0});
    m.recipients.push_back(MakeRecipient("Ann", "ann@example.org", tags::kRecipTo));
    w.AddMessage(archive, m);
  }
}

}  // namespace pst::sample

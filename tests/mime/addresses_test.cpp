// SPDX-License-Identifier: GPL-3.0-or-later
// Originators, reply-to and recipient rows.
#include "import_helpers.h"
#include "mime/entry_ids.h"
#include "model/coding.h"

namespace {

using namespace mime_test;
namespace tags = model::tags;

// Reads a one-off entry identifier back: (name, type, address).
std::tuple<std::string, std::string, std::string> ParseOneOff(const model::Bytes& id) {
  EXPECT_GE(id.size(), 24u);
  EXPECT_EQ(model::GetU32(id, 0), 0u);
  const model::Bytes uid(id.begin() + 4, id.begin() + 20);
  EXPECT_EQ(uid, (model::Bytes{0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19, 0x9D, 0x6E, 0x00,
                             0xDD, 0x01, 0x0F, 0x54, 0x02}));
  EXPECT_EQ(model::GetU16(id, 20), 0u);
  EXPECT_TRUE(model::GetU16(id, 22) & 0x8000) << "Unicode flag";
  size_t at = 24;
  auto next = [&]() {
    size_t end = at;
    while (end + 1 < id.size() && (id[end] != 0 || id[end + 1] != 0)) end += 2;
    std::string s = model::Utf8FromUtf16Le(std::span<const uint8_t>(id.data() + at, end - at));
    at = end + 2;
    return s;
  };
  std::string name = next();
  std::string type = next();
  std::string address = next();
  EXPECT_EQ(at, id.size());
  return {name, type, address};
}

TEST(EntryIdTest, OneOffSearchKeyAndFlatEntryList) {
  using namespace mime::detail;
  const auto id = OneOffEntryId("Zoë", "SMTP", "zoe@example.com");
  EXPECT_EQ(ParseOneOff(id), std::make_tuple(std::string("Zoë"), std::string("SMTP"),
                                             std::string("zoe@example.com")));
  const model::Bytes key = SearchKey("SMTP", "Zoe@Example.com");
  EXPECT_EQ(std::string(key.begin(), key.end()), std::string("SMTP:ZOE@EXAMPLE.COM\0", 21));

  const model::Bytes a(5, 0xAA), b(8, 0xBB);
  const model::Bytes list = FlatEntryList({a, b});
  ASSERT_EQ(list.size(), 8u + (4 + 8) + (4 + 8));
  EXPECT_EQ(model::GetU32(list, 0), 2u);
  EXPECT_EQ(model::GetU32(list, 4), 24u);
  EXPECT_EQ(model::GetU32(list, 8), 5u);
  EXPECT_EQ(list[12], 0xAA);
  EXPECT_EQ(list[17], 0) << "padding to 4 bytes";
  EXPECT_EQ(model::GetU32(list, 20), 8u);
  EXPECT_EQ(list[24], 0xBB);
}

TEST(AddressesTest, FromIsSentRepresentingAndSenderWhenNoSenderField) {
  const auto m = Import("From: =?ISO-8859-1?Q?Andr=E9?= <andre@example.com>\r\n\r\nb\r\n");
  EXPECT_EQ(Str(m.props, tags::kSentRepresentingName), "André");
  EXPECT_EQ(Str(m.props, tags::kSentRepresentingEmailAddress), "andre@example.com");
  EXPECT_EQ(Str(m.props, tags::kSentRepresentingAddressType), "SMTP");
  EXPECT_EQ(Str(m.props, tags::kSentRepresentingSmtpAddress), "andre@example.com");
  EXPECT_EQ(Str(m.props, tags::kSenderName), "André");
  EXPECT_EQ(Str(m.props, tags::kSenderEmailAddress), "andre@example.com");
  EXPECT_EQ(BinAsString(m.props, tags::kSenderSearchKey),
            std::string("SMTP:ANDRE@EXAMPLE.COM\0", 23));
  const model::Bytes* id = m.props.GetBinary(model::TagId(tags::kSenderEntryId));
  ASSERT_NE(id, nullptr);
  EXPECT_EQ(std::get<0>(ParseOneOff(*id)), "André");
}

TEST(AddressesTest, SenderFieldNamesTheSendingAgent) {
  const auto m = Import(
      "From: Boss <boss@example.com>\r\nSender: Assistant <pa@example.com>\r\n\r\nb\r\n");
  EXPECT_EQ(Str(m.props, tags::kSentRepresentingName), "Boss");
  EXPECT_EQ(Str(m.props, tags::kSenderName), "Assistant");
  EXPECT_EQ(Str(m.props, tags::kSenderEmailAddress), "pa@example.com");
}

TEST(AddressesTest, RecipientRowsForToCcBccWithGroupsExpanded) {
  const auto m = Import(
      "To: Ann <ann@example.com>, Team: bob@example.com, \"Carl, Jr.\" <carl@example.com>;\r\n"
      "Cc: =?UTF-8?B?w5xsbGk=?= <ulli@example.com>\r\n"
      "Bcc: hidden@example.com\r\n"
      "To: undisclosed-recipients:;\r\n\r\nb\r\n");
  ASSERT_EQ(m.recipients.size(), 5u);
  const std::pair<std::string, int> expected[] = {{"ann@example.com", 1}, {"bob@example.com", 1},
                                                  {"carl@example.com", 1}, {"ulli@example.com", 2},
                                                  {"hidden@example.com", 3}};
  for (size_t i = 0; i < 5; ++i) {
    const auto& r = m.recipients[i].props;
    EXPECT_EQ(Str(r, tags::kEmailAddress), expected[i].first);
    EXPECT_EQ(Str(r, tags::kSmtpAddress), expected[i].first);
    EXPECT_EQ(Int(r, tags::kRecipientType), expected[i].second);
    EXPECT_EQ(Str(r, tags::kAddressType), "SMTP");
    EXPECT_EQ(Int(r, tags::kObjectType), 6);
    EXPECT_EQ(Int(r, tags::kDisplayType), 0);
    // Outlook's mail recipients: no PidTagRowid or PidTagRecipientDisplayName,
    // PidTagRecipientEntryId the entry ID, PidTagResponsibility true.
    EXPECT_EQ(r.Find(model::TagId(tags::kRowid)), nullptr);
    EXPECT_EQ(r.Find(model::TagId(tags::kRecipientDisplayName)), nullptr);
    EXPECT_EQ(Int(r, model::MakeTag(0x0E0F, model::PropType::Boolean)), 1);
    const model::Bytes* id = r.GetBinary(model::TagId(tags::kEntryId));
    ASSERT_NE(id, nullptr);
    const model::Bytes* recipientId = r.GetBinary(0x5FF7);
    ASSERT_NE(recipientId, nullptr);
    EXPECT_EQ(*recipientId, *id);
    EXPECT_EQ(std::get<2>(ParseOneOff(*id)), expected[i].first);
  }
  EXPECT_EQ(Str(m.recipients[2].props, tags::kDisplayName), "Carl, Jr.");
  EXPECT_EQ(Str(m.recipients[3].props, tags::kDisplayName), "Ülli");
  // No name: the address is what a client shows.
  EXPECT_EQ(Str(m.recipients[1].props, tags::kDisplayName), "bob@example.com");
  EXPECT_EQ(Str(m.props, tags::kDisplayTo), "Ann; bob@example.com; Carl, Jr.");
  EXPECT_EQ(Str(m.props, tags::kDisplayCc), "Ülli");
  EXPECT_EQ(Str(m.props, tags::kDisplayBcc), "hidden@example.com");
}

TEST(AddressesTest, ReplyToBecomesNamesAndFlatEntryList) {
  const auto m = Import(
      "From: a@example.com\r\nReply-To: List <list@example.com>, other@example.com\r\n\r\nb\r\n");
  EXPECT_EQ(Str(m.props, tags::kReplyRecipientNames), "List; other@example.com");
  const model::Bytes* list = m.props.GetBinary(model::TagId(tags::kReplyRecipientEntries));
  ASSERT_NE(list, nullptr);
  ASSERT_GE(list->size(), 12u);
  EXPECT_EQ(model::GetU32(*list, 0), 2u);
  EXPECT_EQ(model::GetU32(*list, 4), list->size() - 8);
  const uint32_t firstSize = model::GetU32(*list, 8);
  const model::Bytes first(list->begin() + 12, list->begin() + 12 + firstSize);
  EXPECT_EQ(std::get<2>(ParseOneOff(first)), "list@example.com");
}

TEST(AddressesTest, NoAddressFieldsGiveNoRowsAndEmptyDisplayLists) {
  const auto m = Import("Subject: lonely\r\n\r\nb\r\n");
  EXPECT_TRUE(m.recipients.empty());
  EXPECT_EQ(Str(m.props, tags::kDisplayTo), "");
  EXPECT_EQ(Str(m.props, tags::kSenderName), "<absent>");
}

}  // namespace

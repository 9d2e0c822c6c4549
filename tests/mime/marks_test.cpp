// SPDX-License-Identifier: GPL-3.0-or-later
// Fields that mark a message or ask something of its reader: X-Unsent,
// receipt requests, X-MSMail-Priority, Keywords.
#include <variant>

#include "import_helpers.h"

namespace {

using namespace mime_test;
namespace tags = model::tags;

std::vector<std::string> Categories(const model::Message& m) {
  const model::PropValue* v = m.props.FindNamed({tags::kPsPublicStrings, std::nullopt, "Keywords"});
  if (!v) return {};
  EXPECT_EQ(v->type, model::PropType::MvUnicode);
  return std::get<std::vector<std::string>>(v->data);
}

TEST(MarksTest, XUnsentMakesAnUnreadDraft) {
  EXPECT_EQ(Int(Import("X-Unsent: 1\r\nSubject: d\r\n\r\nb\r\n").props, tags::kMessageFlags), tags::kMsgFlagUnsent);
  // An attachment still shows; "0" or a value of another meaning is no draft.
  EXPECT_EQ(Int(Import("X-Unsent: 1\nContent-Type: multipart/mixed; boundary=b\n\n--b\n\nt\n--b\n"
                       "Content-Disposition: attachment; filename=a.bin\n\nx\n--b--\n")
                    .props,
                tags::kMessageFlags),
            tags::kMsgFlagUnsent | tags::kMsgFlagHasAttach);
  EXPECT_EQ(Int(Import("X-Unsent: 0\r\n\r\nb\r\n").props, tags::kMessageFlags), tags::kMsgFlagRead);
  EXPECT_EQ(Int(Import("Subject: sent\r\n\r\nb\r\n").props, tags::kMessageFlags), tags::kMsgFlagRead);
}

TEST(MarksTest, ReceiptRequests) {
  const auto m = Import(
      "From: Ann <ann@example.com>\r\n"
      "Disposition-Notification-To: =?UTF-8?Q?J=C3=B6rg?= <receipts@example.com>\r\n"
      "Return-Receipt-To: <ann@example.com>\r\n\r\nb\r\n");
  EXPECT_EQ(Int(m.props, model::MakeTag(0x0029, model::PropType::Boolean)), 1);  // read receipt
  EXPECT_EQ(Int(m.props, model::MakeTag(0x0023, model::PropType::Boolean)), 1);  // delivery receipt
  EXPECT_EQ(Str(m.props, model::MakeTag(0x402B, model::PropType::Unicode)), "Jörg");
  EXPECT_EQ(Str(m.props, model::MakeTag(0x402A, model::PropType::Unicode)), "receipts@example.com");
  EXPECT_EQ(Str(m.props, model::MakeTag(0x4029, model::PropType::Unicode)), "SMTP");
  EXPECT_EQ(Str(m.props, model::MakeTag(0x5D05, model::PropType::Unicode)), "receipts@example.com");
  EXPECT_EQ(BinAsString(m.props, model::MakeTag(0x0053, model::PropType::Binary)),
            std::string("SMTP:RECEIPTS@EXAMPLE.COM\0", 26));
  EXPECT_NE(BinAsString(m.props, model::MakeTag(0x0046, model::PropType::Binary)), "<absent>");

  // No field, or one without an address: nothing is asked.
  for (const char* text : {"From: a@b\r\n\r\nb\r\n", "Disposition-Notification-To: undisclosed-recipients:;\r\n\r\nb\r\n"}) {
    const auto none = Import(text);
    EXPECT_EQ(Int(none.props, model::MakeTag(0x0029, model::PropType::Boolean)), std::nullopt) << text;
    EXPECT_EQ(Int(none.props, model::MakeTag(0x0023, model::PropType::Boolean)), std::nullopt) << text;
  }
}

TEST(MarksTest, ImportanceFromEachFieldInOrder) {
  auto importance = [](const std::string& fields) {
    return Int(Import(fields + "\r\nb\r\n").props, tags::kImportance);
  };
  EXPECT_EQ(importance("X-MSMail-Priority: High\r\n"), 2);
  EXPECT_EQ(importance("X-MSMail-Priority: low\r\n"), 0);
  EXPECT_EQ(importance("X-MSMail-Priority: Normal\r\n"), 1);
  EXPECT_EQ(importance("X-MSMail-Priority: whenever\r\n"), 1);
  // Importance wins over all the others, X-Priority over X-MSMail-Priority.
  EXPECT_EQ(importance("X-MSMail-Priority: High\r\nImportance: Low\r\n"), 0);
  EXPECT_EQ(importance("X-Priority: 5\r\nX-MSMail-Priority: High\r\n"), 0);
  EXPECT_EQ(importance("X-MSMail-Priority: Low\r\nPriority: urgent\r\n"), 0);
}

TEST(MarksTest, KeywordsBecomeCategoriesOnceEach) {
  EXPECT_EQ(Categories(Import("Keywords: Work, =?UTF-8?Q?S=C3=BCd?= ,\"a, b\",, work\r\n"
                              "Keywords: Later, Süd\r\n\r\nb\r\n")),
            (std::vector<std::string>{"Work", "Süd", "a, b", "Later"}));
  EXPECT_TRUE(Categories(Import("Keywords: , \r\n\r\nb\r\n")).empty());
  EXPECT_TRUE(Categories(Import("Subject: none\r\n\r\nb\r\n")).empty());

  // A field of thousands of names, or one name of kilobytes, is bounded.
  std::string many = "Keywords: ";
  for (int i = 0; i < 1000; ++i) many += "k" + std::to_string(i) + ",";
  mime::ImportWarnings warnings;
  const auto m = Import(many + " " + std::string(300, 'x') + "\r\n\r\nb\r\n", &warnings);
  EXPECT_EQ(Categories(m).size(), 200u);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("801 keyword(s)"), std::string::npos) << warnings[0];
}

}  // namespace

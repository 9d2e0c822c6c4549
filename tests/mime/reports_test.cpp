// SPDX-License-Identifier: GPL-3.0-or-later
// Delivery status notifications and read receipts as Postfix, Exchange and
// Thunderbird send them, read into Outlook's report classes with the
// recipients they report on and the original message's subject.
#include "import_helpers.h"
#include "model/prop_tags.h"

namespace {

using namespace mime_test;
namespace tags = model::tags;

constexpr uint32_t kOriginalSubject = model::MakeTag(0x0049, model::PropType::Unicode);
constexpr uint32_t kOriginalSubmitTime = model::MakeTag(0x004E, model::PropType::Time);
constexpr uint32_t kOriginalDisplayTo = model::MakeTag(0x0074, model::PropType::Unicode);
constexpr uint32_t kReportDispositionMode = model::MakeTag(0x0081, model::PropType::Unicode);
constexpr uint32_t kOriginalMessageId = model::MakeTag(0x1046, model::PropType::Unicode);
constexpr uint32_t kSupplementaryInfo = model::MakeTag(0x0C1B, model::PropType::Unicode);
constexpr uint32_t kNdrStatusCode = model::MakeTag(0x0C20, model::PropType::Int32);

const char kOriginalHeaders[] =
    "Return-Path: <ann@example.com>\r\nFrom: Ann <ann@example.com>\r\nTo: Nobody <nobody@example.org>\r\n"
    "Subject: =?UTF-8?Q?Quarterly_n=C3=BCmbers?=\r\nDate: Mon, 6 Jul 2026 08:59:58 +0000\r\n"
    "Message-ID: <q@example.com>\r\n";

// A report in Postfix's shape: notification text, the machine-readable
// part, the original's header.
std::string Report(const std::string& reportType, const std::string& statusType, const std::string& fields,
                   const std::string& subject = "Undelivered Mail Returned to Sender") {
  return "Return-Path: <>\r\nFrom: MAILER-DAEMON@mail.example.com (Mail Delivery System)\r\n"
         "Subject: " + subject + "\r\nTo: ann@example.com\r\nAuto-Submitted: auto-replied\r\n"
         "MIME-Version: 1.0\r\nContent-Type: multipart/report; report-type=" + reportType +
         ";\r\n\tboundary=\"3F1A2B.1783328401/mail.example.com\"\r\n"
         "Message-Id: <20260706090001.3F1A2B@mail.example.com>\r\nDate: Mon,  6 Jul 2026 09:00:01 +0000 (UTC)\r\n\r\n"
         "This is a MIME-encapsulated message.\r\n\r\n"
         "--3F1A2B.1783328401/mail.example.com\r\nContent-Description: Notification\r\n"
         "Content-Type: text/plain; charset=us-ascii\r\n\r\nThis is the mail system at host mail.example.com.\r\n\r\n"
         "--3F1A2B.1783328401/mail.example.com\r\nContent-Description: Delivery report\r\n"
         "Content-Type: " + statusType + "\r\n\r\n" + fields + "\r\n"
         "--3F1A2B.1783328401/mail.example.com\r\nContent-Description: Undelivered Message Headers\r\n"
         "Content-Type: text/rfc822-headers\r\n\r\n" + kOriginalHeaders + "\r\n"
         "--3F1A2B.1783328401/mail.example.com--\r\n";
}

const char kPerMessage[] =
    "Reporting-MTA: dns; mail.example.com\r\nX-Postfix-Queue-ID: 3F1A2B\r\n"
    "X-Postfix-Sender: rfc822; ann@example.com\r\nArrival-Date: Mon,  6 Jul 2026 09:00:00 +0000 (UTC)\r\n\r\n";

std::string Recipient(const std::string& address, const std::string& action, const std::string& status) {
  return "Final-Recipient: rfc822; " + address + "\r\nOriginal-Recipient: rfc822;" + address +
         "\r\nAction: " + action + "\r\nStatus: " + status + "\r\n\r\n";
}

std::string Class(const model::Message& m) { return Str(m.props, tags::kMessageClass); }

TEST(Reports, PostfixBounceIsANonDeliveryReport) {
  mime::ImportWarnings w;
  const model::Message m = Import(Report("delivery-status", "message/delivery-status",
      std::string(kPerMessage) +
      "Final-Recipient: rfc822; nobody@example.org\r\nOriginal-Recipient: rfc822;nobody@example.org\r\n"
      "Action: failed\r\nStatus: 5.1.1\r\nRemote-MTA: dns; mx.example.org\r\n"
      "Diagnostic-Code: smtp; 550 5.1.1 <nobody@example.org>: Recipient address\r\n    rejected: User unknown\r\n"),
      &w);
  EXPECT_EQ(Class(m), "REPORT.IPM.Note.NDR");
  // The report's own subject stays; the original's is kept beside it.
  EXPECT_EQ(Str(m.props, tags::kSubject), "Undelivered Mail Returned to Sender");
  EXPECT_EQ(Str(m.props, kOriginalSubject), "Quarterly nümbers");
  EXPECT_EQ(Str(m.props, kOriginalDisplayTo), "Nobody");
  EXPECT_EQ(Int(m.props, kOriginalSubmitTime), model::FileTimeFromUnix(1783328398));
  // The recipient table names who the message failed to reach, not the
  // sender the report went back to.
  ASSERT_EQ(m.recipients.size(), 1u);
  EXPECT_EQ(Str(m.recipients[0].props, tags::kEmailAddress), "nobody@example.org");
  EXPECT_EQ(Int(m.recipients[0].props, tags::kRecipientType), tags::kRecipTo);
  EXPECT_EQ(Int(m.recipients[0].props, kNdrStatusCode), 511);
  EXPECT_EQ(Str(m.recipients[0].props, kSupplementaryInfo),
            "<mx.example.org #5.1.1 550 5.1.1 <nobody@example.org>: Recipient address rejected: User unknown>");
  EXPECT_EQ(Str(m.props, tags::kDisplayTo), "nobody@example.org");
  // Both report parts stay attached.
  EXPECT_EQ(m.attachments.size(), 2u);
  EXPECT_TRUE(w.empty()) << w.front();
}

TEST(Reports, TheMostSevereActionChoosesTheClassAndItsRecipients) {
  struct Case {
    std::string recipients;
    const char* cls;
    std::vector<std::string> addresses;
  };
  const Case cases[] = {
      {Recipient("a@x.example", "delivered", "2.0.0") + Recipient("b@x.example", "failed", "5.2.2") +
           Recipient("c@x.example", "FAILED", "5.7.1 (refused)"),
       "REPORT.IPM.Note.NDR", {"b@x.example", "c@x.example"}},
      {Recipient("a@x.example", "delivered", "2.0.0") + Recipient("b@x.example", "delayed", "4.4.1"),
       "REPORT.IPM.Note.Delayed.DR", {"b@x.example"}},
      {Recipient("a@x.example", "delivered", "2.0.0"), "REPORT.IPM.Note.DR", {"a@x.example"}},
      {Recipient("a@x.example", "expanded", "2.0.0") + Recipient("b@x.example", "relayed", "2.0.0"),
       "REPORT.IPM.Note.Relayed.DR", {"b@x.example"}},
      {Recipient("a@x.example", "expanded", "2.0.0") + Recipient("b@x.example", "gone fishing", "2.0.0"),
       "REPORT.IPM.Note.Expanded.DR", {"a@x.example"}},
  };
  for (const Case& c : cases) {
    const model::Message m =
        Import(Report("delivery-status", "message/delivery-status", std::string(kPerMessage) + c.recipients));
    EXPECT_EQ(Class(m), c.cls) << c.recipients;
    std::vector<std::string> got;
    for (const auto& r : m.recipients) got.push_back(Str(r.props, tags::kEmailAddress));
    EXPECT_EQ(got, c.addresses) << c.recipients;
  }
}

TEST(Reports, ReadReceiptsByDisposition) {
  struct Case {
    const char* disposition;
    const char* cls;
  };
  for (const Case& c : {Case{"manual-action/MDN-sent-manually; displayed", "REPORT.IPM.Note.IPNRN"},
                        Case{"automatic-action/MDN-sent-automatically; deleted", "REPORT.IPM.Note.IPNNRN"},
                        Case{"manual-action/MDN-sent-manually; denied/error", "REPORT.IPM.Note.IPNNRN"},
                        Case{"automatic-action/MDN-sent-automatically; dispatched", "IPM.Note"}}) {
    mime::ImportWarnings w;
    const model::Message m = Import(
        Report("disposition-notification", "message/disposition-notification; name=\"MDNPart2.txt\"",
               std::string("Reporting-UA: pc.example.com; Thunderbird 115.0\r\n"
                           "Final-Recipient: rfc822;bob@example.com\r\nOriginal-Message-ID: <q@example.com>\r\n"
                           "Disposition: ") + c.disposition + "\r\n",
               "Return Receipt (displayed) - Quarterly numbers"),
        &w);
    EXPECT_EQ(Class(m), c.cls) << c.disposition;
    if (Class(m) == "IPM.Note") {
      EXPECT_TRUE(HasWarning(w, "\"dispatched\" is neither read nor deleted"));
      continue;
    }
    // The reader sent the receipt; it went to the original's sender.
    ASSERT_EQ(m.recipients.size(), 1u);
    EXPECT_EQ(Str(m.recipients[0].props, tags::kEmailAddress), "ann@example.com");
    EXPECT_EQ(Str(m.props, kOriginalSubject), "Quarterly nümbers");
    EXPECT_EQ(Str(m.props, kOriginalMessageId), "<q@example.com>");
    const std::string disposition = c.disposition;
    EXPECT_EQ(Str(m.props, kReportDispositionMode), disposition.substr(0, disposition.find(';')));
  }
}

TEST(Reports, BrokenAndOversizedReportsAreBounded) {
  mime::ImportWarnings w;
  // No per-recipient block: nothing to class it by.
  model::Message m = Import(Report("delivery-status", "message/delivery-status", kPerMessage), &w);
  EXPECT_EQ(Class(m), "IPM.Note");
  EXPECT_TRUE(HasWarning(w, "names no Action"));
  EXPECT_EQ(m.recipients.size(), 1u);  // the header's own recipient stays

  // Thousands of failed recipients: rows up to the importer's bound, named.
  std::string many = kPerMessage;
  for (int i = 0; i < 2500; ++i) many += Recipient("r" + std::to_string(i) + "@x.example", "failed", "5.1.1");
  w.clear();
  m = Import(Report("delivery-status", "message/delivery-status", many), &w);
  EXPECT_EQ(Class(m), "REPORT.IPM.Note.NDR");
  EXPECT_EQ(m.recipients.size(), 2000u);
  EXPECT_TRUE(HasWarning(w, "only the first 2000"));

  // A report a list wrapped into its own message is the list's message.
  const std::string wrapped = "From: list@example.com\r\nTo: ann@example.com\r\nSubject: digest\r\n"
                              "Content-Type: multipart/mixed; boundary=\"w\"\r\n\r\n--w\r\n" +
                              Report("delivery-status", "message/delivery-status",
                                     std::string(kPerMessage) + Recipient("a@x.example", "failed", "5.1.1"))
                                  .substr(std::string("Return-Path: <>\r\n").size()) +
                              "\r\n--w--\r\n";
  m = Import(wrapped);
  EXPECT_EQ(Class(m), "IPM.Note");
}

}  // namespace

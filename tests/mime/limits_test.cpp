// SPDX-License-Identifier: GPL-3.0-or-later
// Input built to cost the importer minutes or gigabytes, or to make it wait
// for ever: every such message is imported within a bound, and what a bound
// leaves out is named in a warning and kept in the stored header block.
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "mime/import_helpers.h"
#include "mime/memory_budget.h"

namespace {

using mime_test::Import;
using mime_test::HasWarning;
using mime_test::Str;
namespace tags = model::tags;

TEST(ImportLimits, AFifoIsRefusedWithoutWaitingForAWriter) {
  const std::string path = (std::filesystem::temp_directory_path() / "verdaline-fifo-test.eml").string();
  std::filesystem::remove(path);
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  model::Message m;
  try {
    mime::ImportMessageFile(path, m);
    ADD_FAILURE() << "a FIFO was imported";
  } catch (const mime::ImportError& e) {
    EXPECT_NE(std::string(e.what()).find("FIFO"), std::string::npos) << e.what();
  }
  std::filesystem::remove(path);
}

TEST(ImportLimits, RecipientRowsAreCappedAndEveryAddressIsStillStored) {
  std::string to;
  for (int i = 0; i < 2500; ++i) to += (i ? ", u" : "u") + std::to_string(i) + "@example.org";
  mime::ImportWarnings warnings;
  const model::Message m = Import("From: a@example.org\r\nTo: " + to + "\r\nCc: c@example.org\r\nSubject: many\r\n\r\nHi\r\n",
                                &warnings);
  EXPECT_EQ(m.recipients.size(), 2000u);
  EXPECT_EQ(Str(m.recipients.back().props, tags::kEmailAddress), "u1999@example.org");
  EXPECT_TRUE(HasWarning(warnings, "2501 recipients; only the first 2000")) << warnings.size();
  EXPECT_NE(Str(m.props, tags::kDisplayTo).find("u2499@example.org"), std::string::npos);
  EXPECT_NE(Str(m.props, tags::kTransportMessageHeaders).find("u2499@example.org"), std::string::npos);
  EXPECT_EQ(Str(m.props, tags::kDisplayCc), "c@example.org");
}

TEST(ImportLimits, TensOfThousandsOfParametersAreNotCheckedPairwise) {
  // The parser's check for repeated parameters would compare each of these
  // with every other one; the message is imported without it, and says so.
  std::string params;
  for (int i = 0; i < 20000; ++i) params += "; p" + std::to_string(i) + "=v";
  mime::ImportWarnings warnings;
  const model::Message m = Import(
      "From: a@example.org\r\nSubject: params\r\nContent-Type: text/plain; charset=us-ascii" + params +
          "\r\n\r\nHello\r\n",
      &warnings);
  EXPECT_EQ(Str(m.props, tags::kBody), "Hello\r\n");
  EXPECT_TRUE(HasWarning(warnings, "20001 parameters")) << (warnings.empty() ? "" : warnings[0]);
}

TEST(ImportLimits, ThousandsOfFieldsAreReadWithinBoundsAndKeptWhole) {
  std::string text = "From: a@example.org\r\n";
  for (int i = 0; i < 5000; ++i) text += "Received: from h" + std::to_string(i) + "\r\n";
  text += "To: b@example.org\r\nSubject: late fields\r\nReferences: " + std::string(1500000, 'y') + "\r\n\r\nHi\r\n";
  mime::ImportWarnings warnings;
  const model::Message m = Import(text, &warnings);
  // Fields the import maps are read wherever they stand.
  EXPECT_EQ(Str(m.props, tags::kSubject), "late fields");
  ASSERT_EQ(m.recipients.size(), 1u);
  EXPECT_EQ(Str(m.props, tags::kBody), "Hi\r\n");
  EXPECT_TRUE(HasWarning(warnings, "has 5004 fields, some longer than")) << (warnings.empty() ? "" : warnings[0]);
  const std::string headers = Str(m.props, tags::kTransportMessageHeaders);
  EXPECT_NE(headers.find("Received: from h4999\r\nTo:"), std::string::npos);
  EXPECT_NE(headers.find(std::string(1500000, 'y') + "\r\n\r\n"), std::string::npos);
}

}  // namespace

namespace {

// A message's memory is estimated from its size and its boundary lines:
// "--" right after a line end, never at the very start, "-" alone, or
// dashes inside a line.
TEST(ImportLimits, TheMemoryEstimateCountsEachBoundaryLine) {
  auto estimate = [](const std::string& text) {
    return mime::detail::MessageMemoryEstimate(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  };
  auto parts = [&](const std::string& text) {
    return (estimate(text) - 6 * text.size() - (4u << 20)) / (6 * 1024);
  };
  EXPECT_EQ(parts("--a\r\n"), 1u);
  EXPECT_EQ(parts("a\r\n--b\r\n--b--\r\n"), 3u);
  EXPECT_EQ(parts("a -- b\n-\n- -\n---x\n--"), 3u);
  EXPECT_EQ(parts("a\n-"), 1u);
  EXPECT_EQ(parts(std::string(100000, 'A') + "\n--"), 2u);
  EXPECT_EQ(parts(""), 1u);
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// The size limit: a message that would make the file pass it goes into the
// next file, "NAME (2).pst", with the same folder tree; one that passes it on
// its own in an empty file is not stored.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "engine/conversion_engine.h"
#include "mapi/fake_pst_writer.h"
#include "mapi/temp_dir.h"
#include "pst/prop_tags.h"
#include "pst/pst_writer.h"

namespace verdaline {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kKiB = 1024;
constexpr uint64_t kLimit = 8 * 1024 * kKiB;

class FileSplitTest : public ::testing::Test {
 protected:
  FileSplitTest() {
    deps.writer = factory.Writer([](fake::Store& s) { s.emptySize = 300 * kKiB; });
    deps.now = [] { return QDateTime(QDate(2026, 12, 6), QTime(7, 5, 3)); };
    // "/Mail/A/m3-2000.eml": a message with an attachment of 2000 KiB.
    deps.importer = [](const std::string& path, pst::Message& out) {
      out.props.Set(pst::tags::kMessageClass, std::string("IPM.Note"));
      out.props.Set(pst::tags::kSubject, path);
      const size_t dash = path.rfind('-');
      const uint64_t kib = std::stoull(path.substr(dash + 1));
      out.attachments.emplace_back();
      out.attachments.back().data = std::make_shared<model::MemorySource>(std::vector<uint8_t>(kib * kKiB, 0x5A));
    };
    request.outputFolder = QString::fromStdString(outDir.path());
    request.separator = u'/';
    request.maxFileSize = kLimit;
  }
  ConversionReport Run() { return ConversionEngine(deps).Run(request); }

  fake::Factory factory;
  testutil::TempDir outDir;
  EngineDeps deps;
  ConversionRequest request;
  const QString stem = QString::fromStdString(outDir / "OutlookExpressMessages6.12.26 7.5.03");
};

TEST_F(FileSplitTest, GoesOnInTheNextFileBeforeTheLimitAndRefusesAMessageTooLargeAlone) {
  for (int i = 0; i < 12; ++i)
    request.files.push_back(QStringLiteral("/Mail/%1/m%2-%3.eml").arg(i % 2 ? "B" : "A").arg(i).arg(i == 5 ? 9000 : 2000));
  const ConversionReport r = Run();

  ASSERT_EQ(r.status, RunStatus::kFinished);
  ASSERT_GE(factory.stores.size(), 3u);
  ASSERT_EQ(r.pstPaths.size(), factory.stores.size());
  EXPECT_EQ(r.pstPath, stem + ".pst");
  std::multiset<std::string> subjects;
  for (size_t k = 0; k < factory.stores.size(); ++k) {
    const fake::Store& s = *factory.stores[k];
    SCOPED_TRACE(s.path);
    EXPECT_EQ(QString::fromStdString(s.path), k == 0 ? stem + ".pst" : stem + QStringLiteral(" (%1).pst").arg(k + 1));
    EXPECT_EQ(QString::fromStdString(s.path), r.pstPaths[k]);
    EXPECT_TRUE(s.closed);
    EXPECT_LE(s.emptySize + s.size, kLimit);
    // Each file has the whole tree, so a folder goes on under the same name.
    EXPECT_EQ(s.FolderPaths(), (std::vector<std::string>{"Mail", "Mail\\A", "Mail\\B"}));
    EXPECT_EQ(s.displayName, k == 0 ? r.storeName.toStdString()
                                    : r.storeName.toStdString() + " (" + std::to_string(k + 1) + ")");
    // No file is started for a message that no file takes, nor closed early.
    if (k + 1 < factory.stores.size()) {
      EXPECT_GE(s.messages.size(), 2u);
    }
    for (const auto& [folder, message] : s.messages) {
      const std::string subject = *message.props.GetString(pst::TagId(pst::tags::kSubject));
      subjects.insert(subject);
      EXPECT_EQ(s.PathOf(folder), "Mail\\" + subject.substr(6, 1));
    }
  }
  ASSERT_EQ(r.files.size(), 12u);
  for (size_t i = 0; i < r.files.size(); ++i) {
    const FileResult& f = r.files[i];
    SCOPED_TRACE(f.path.toStdString());
    if (i == 5) {
      EXPECT_EQ(f.outcome, FileOutcome::kNotStored);
      EXPECT_TRUE(f.reason.startsWith("it is too large for a .pst file of at most 8.0 MB: it needs about")) << f.reason.toStdString();
      EXPECT_EQ(f.pstFile, -1);
      continue;
    }
    EXPECT_EQ(f.outcome, FileOutcome::kStored);
    EXPECT_EQ(subjects.count(f.path.toStdString()), 1u);
    // The file the report names holds it.
    ASSERT_GE(f.pstFile, 0);
    const fake::Store& holder = *factory.stores[static_cast<size_t>(f.pstFile)];
    EXPECT_TRUE(std::any_of(holder.messages.begin(), holder.messages.end(), [&](const auto& m) {
      return m.second.props.GetString(pst::TagId(pst::tags::kSubject)) == f.path.toStdString();
    }));
  }
  EXPECT_EQ(subjects.size(), 11u);
}

TEST_F(FileSplitTest, TheNextFilesAreNamedBesideTheFirstAndReplaceNothing) {
  request.outputFile = QString::fromStdString(outDir / "out.pst");
  std::ofstream(outDir / "out (2).pst") << "mine";
  for (int i = 0; i < 5; ++i) request.files.push_back(QStringLiteral("/Mail/m%1-3000.eml").arg(i));
  const ConversionReport r = Run();

  ASSERT_EQ(r.status, RunStatus::kFinished);
  const QString dir = QString::fromStdString(outDir.path());
  EXPECT_EQ(r.pstPaths, (std::vector<QString>{dir + "/out.pst", dir + "/out (3).pst", dir + "/out (4).pst"}));
  std::ifstream kept(outDir / "out (2).pst");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "mine");
  EXPECT_EQ(r.storedCount(), 5);

  // In a folder, the clock's name was taken: the next files take the
  // numbers after the one the first file got.
  std::ofstream(stem.toStdString() + ".pst") << "mine";
  request.outputFile.clear();
  const ConversionReport d = Run();
  EXPECT_EQ(d.pstPaths, (std::vector<QString>{stem + " (2).pst", stem + " (3).pst", stem + " (4).pst"}));
  EXPECT_EQ(d.renamedFrom, stem + ".pst");
}

TEST_F(FileSplitTest, AFullDiskInALaterFileKeepsTheFilesBeforeIt) {
  int made = 0;
  deps.writer = factory.Writer([&made](fake::Store& s) {
    s.emptySize = 300 * kKiB;
    if (++made == 2) s.diskFullAt = 1;  // the second file takes one message
  });
  for (int i = 0; i < 6; ++i) request.files.push_back(QStringLiteral("/Mail/m%1-3000.eml").arg(i));
  const ConversionReport r = Run();

  ASSERT_EQ(r.status, RunStatus::kFileFailed);
  ASSERT_EQ(r.pstPaths.size(), 2u);
  EXPECT_EQ(r.pstPaths[1], stem + " (2).pst");
  EXPECT_FALSE(r.fileGone);
  EXPECT_EQ(r.kept, 1);  // what the failed file holds
  ASSERT_EQ(r.files.size(), 6u);
  const std::vector<int> holders = {0, 0, 1, -1, -1, -1};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(r.files[i].pstFile, holders[i]) << i;
  EXPECT_TRUE(r.files[3].reason.contains("No space left on device")) << r.files[3].reason.toStdString();
  EXPECT_EQ(r.files[4].reason, kReasonNotReached);
  EXPECT_TRUE(factory.stores[0]->closed);
}

// What the engine counts a message at is never less than what it adds to a
// closed file, for messages of every shape.
TEST(StoredSizeBound, CoversWhatAMessageAddsToARealFile) {
  auto text = [](size_t n, const std::string& unit) {
    std::string s;
    while (s.size() < n) s += unit;
    return s;
  };
  auto attachment = [&text](pst::Message& m, size_t bytes, uint8_t seed) {
    std::vector<uint8_t> data(bytes);
    for (size_t i = 0; i < bytes; ++i) data[i] = static_cast<uint8_t>((i * 2654435761u) >> 13 ^ seed);
    m.attachments.emplace_back();
    m.attachments.back().props.Set(pst::tags::kAttachMethod, pst::tags::kAttachByValue);
    m.attachments.back().props.Set(pst::tags::kAttachLongFilename, text(300, "n"));
    m.attachments.back().data = std::make_shared<model::MemorySource>(std::move(data));
  };
  std::vector<std::pair<std::string, pst::Message>> shapes(6);
  for (auto& [name, m] : shapes) m.props.Set(pst::tags::kMessageClass, std::string("IPM.Note"));
  shapes[0].first = "plain";
  shapes[0].second.props.Set(pst::tags::kSubject, std::string("hello"));
  shapes[1].first = "long texts";  // UTF-8 of two and four bytes, a subject a table row repeats
  shapes[1].second.props.Set(pst::tags::kSubject, text(60000, "\xC3\xBC"));
  shapes[1].second.props.Set(pst::tags::kBody, text(400000, "a\xF0\x9F\x98\x80\xC3\xA9"));
  shapes[1].second.props.Set(pst::tags::kHtml, pst::Bytes(300000, '<'));
  shapes[2].first = "recipients";
  for (int i = 0; i < 400; ++i) {
    pst::Recipient r;
    r.props.Set(pst::tags::kRecipientType, 1);
    r.props.Set(pst::tags::kDisplayName, "Person " + std::to_string(i));
    r.props.Set(pst::tags::kEmailAddress, "person" + std::to_string(i) + "@example.org");
    shapes[2].second.recipients.push_back(std::move(r));
  }
  shapes[3].first = "attachments";
  for (int i = 0; i < 60; ++i) attachment(shapes[3].second, 3000 + static_cast<size_t>(i) * 997, static_cast<uint8_t>(i));
  attachment(shapes[3].second, 5u << 20, 7);
  shapes[4].first = "embedded";
  auto inner = std::make_unique<pst::Message>();
  inner->props.Set(pst::tags::kMessageClass, std::string("IPM.Note"));
  attachment(*inner, 1u << 20, 3);
  shapes[4].second.attachments.emplace_back();
  shapes[4].second.attachments.back().props.Set(pst::tags::kAttachMethod, pst::tags::kAttachEmbeddedMsg);
  shapes[4].second.attachments.back().embedded = std::move(inner);
  shapes[5].first = "named";
  for (uint32_t i = 0; i < 300; ++i)
    shapes[5].second.props.SetNamed({pst::Guid{1, 2, 3}, std::nullopt, "X-Header-" + std::to_string(i)},
                                    pst::PropType::Unicode, text(100, "v"));

  testutil::TempDir dir;
  // A message before it leaves the file's last section anywhere from
  // nearly full to nearly empty.
  for (const auto& [name, message] : shapes) {
    for (uint8_t room = 0; room < 8; ++room) {
      SCOPED_TRACE(name + " after " + std::to_string(room));
      const std::string path = dir / (name + std::to_string(room) + ".pst");
      auto w = pst::PstWriter::Create(path, "Store");
      const pst::Nid folder = w->CreateFolder(w->IpmSubtree(), "Inbox");
      pst::Message filler;
      attachment(filler, 200000 + room * 31000u, room);
      w->AddMessage(folder, filler);
      w->Commit();
      const uint64_t before = w->SizeIfClosed();
      w->AddMessage(folder, message);
      w->Close();
      EXPECT_LE(fs::file_size(path), before + StoredSizeBound(message));
    }
  }
}

}  // namespace
}  // namespace verdaline

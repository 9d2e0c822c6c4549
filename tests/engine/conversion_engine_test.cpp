// SPDX-License-Identifier: GPL-3.0-or-later
// The conversion engine without a window: fake writer, importer and clock
// passed in, the report and the callbacks checked.
#include "engine/conversion_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "mapi/fake_pst_writer.h"
#include "mapi/temp_dir.h"
#include "pst/prop_tags.h"

namespace verdaline {
namespace {

namespace fs = std::filesystem;

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() {
    deps.writer = factory.Writer();
    deps.now = [] { return QDateTime(QDate(2026, 12, 6), QTime(7, 5, 3)); };
    // "bad" files cannot be imported; "warn" files were repaired; "att"
    // files have an attachment.
    deps.importer = [](const std::string& path, pst::Message& out) {
      if (path.find("bad") != std::string::npos) throw std::runtime_error("the file has no header section");
      if (path.find("slow") != std::string::npos) std::this_thread::sleep_for(std::chrono::milliseconds(200));
      out.props.Set(pst::tags::kMessageClass, std::string("IPM.Note"));
      out.props.Set(pst::tags::kSubject, path);
      if (path.find("warn") != std::string::npos) out.warnings = {"no Date header", "bad charset"};
      if (path.find("att") != std::string::npos) out.attachments.emplace_back();
    };
    request.outputFolder = QString::fromStdString(outDir.path());
    request.separator = u'/';
  }
  ConversionReport Run(const EngineCallbacks& callbacks = {}) { return ConversionEngine(deps).Run(request, callbacks); }
  static std::vector<QString> Files(int n, const QString& dir = QStringLiteral("/In")) {
    std::vector<QString> files;
    for (int i = 0; i < n; ++i) files.push_back(dir + QStringLiteral("/m%1.eml").arg(i));
    return files;
  }
  std::vector<QString> Reasons(const ConversionReport& r) const {
    std::vector<QString> out;
    for (const auto& f : r.files) out.push_back(f.reason);
    return out;
  }

  fake::Factory factory;
  testutil::TempDir outDir;
  EngineDeps deps;
  ConversionRequest request;
  const QString stem = QString::fromStdString(outDir / "OutlookExpressMessages6.12.26 7.5.03");
};

TEST_F(EngineTest, ReportsEachFileWithItsFolderOutcomeAndWarnings) {
  request.files = {"/Mail/Work/a.eml", "/Mail/warn.eml", "/Mail/Work/bad.eml", "/Other/att.eml"};
  std::vector<std::string> calls;
  EngineCallbacks cb;
  cb.starting = [&](qint64 i) { calls.push_back("start " + std::to_string(i)); };
  cb.finished = [&](qint64 i, qint64 total, const FileResult& f) {
    calls.push_back("done " + std::to_string(i) + "/" + std::to_string(total) + " " + f.path.toStdString());
  };
  const ConversionReport r = Run(cb);

  EXPECT_EQ(r.status, RunStatus::kFinished);
  EXPECT_EQ(r.pstPath, stem + ".pst");
  EXPECT_EQ(r.storeName, "Outlook Express Messages : Created - 6.12.26 7.5.03");
  EXPECT_TRUE(r.renamedFrom.isEmpty());
  EXPECT_EQ(r.folderPaths, (std::vector<QString>{"Mail", "Mail\\Work", "Other"}));
  ASSERT_EQ(r.files.size(), 4u);
  EXPECT_EQ(r.files[0].outcome, FileOutcome::kStored);
  EXPECT_EQ(r.files[0].storeFolder, "Mail\\Work");
  EXPECT_EQ(r.files[1].outcome, FileOutcome::kStoredWithWarnings);
  EXPECT_EQ(r.files[1].warnings, (std::vector<QString>{"no Date header", "bad charset"}));
  EXPECT_EQ(r.files[1].storeFolder, "Mail");
  EXPECT_EQ(r.files[2].outcome, FileOutcome::kNotStored);
  EXPECT_EQ(r.files[2].reason, "the file has no header section");
  EXPECT_EQ(r.files[3].outcome, FileOutcome::kStored);
  EXPECT_EQ(r.storedCount(), 3);
  EXPECT_EQ(calls.front(), "start 0");
  EXPECT_EQ(calls.back(), "done 3/4 /Other/att.eml");
  EXPECT_EQ(calls.size(), 8u);

  ASSERT_EQ(factory.stores.size(), 1u);
  const fake::Store& s = *factory.stores[0];
  EXPECT_TRUE(s.closed);
  ASSERT_EQ(s.messages.size(), 3u);
  EXPECT_EQ(s.PathOf(s.messages[1].first), "Mail");
  EXPECT_EQ(s.messages[2].second.props.GetInt(pst::TagId(pst::tags::kMessageFlags)),
            pst::tags::kMsgFlagRead | pst::tags::kMsgFlagHasAttach);
}

// The first messages are read and parsed while the file and its folders are
// made: the store waits here for an import to begin, and without imports
// started before it, none would until it gave up.
TEST_F(EngineTest, ReadsTheFirstMessagesWhileTheFileIsMade) {
  std::mutex mutex;
  std::condition_variable begun;
  bool importing = false;
  deps.importer = [&, inner = deps.importer](const model::MessageRef& ref, pst::Message& out) {
    {
      std::lock_guard lock(mutex);
      importing = true;
    }
    begun.notify_all();
    inner(ref, out);
  };
  bool importedBeforeTheFile = false;
  deps.writer = factory.Writer([&](fake::Store&) {
    std::unique_lock lock(mutex);
    importedBeforeTheFile = begun.wait_for(lock, std::chrono::seconds(5), [&] { return importing; });
  });
  request.files = Files(3);
  const ConversionReport r = Run();
  EXPECT_EQ(r.status, RunStatus::kFinished);
  EXPECT_EQ(r.storedCount(), 3);
  EXPECT_TRUE(importedBeforeTheFile);
}

TEST_F(EngineTest, AListWithProblemsIsRejectedBeforeAnythingIsMade) {
  request.files = {"/Mail/a.eml", "relative/b.eml", "/c.eml", "  "};
  ConversionReport r = Run();
  EXPECT_EQ(r.status, RunStatus::kListRejected);
  ASSERT_EQ(r.listProblems.size(), 3u);
  EXPECT_EQ(r.listProblems[0].index, 1);
  EXPECT_EQ(r.listProblems[0].path, "relative/b.eml");
  EXPECT_EQ(r.listProblems[1].reason,
            "the file lies directly in the root folder, which has no folder to mirror");
  EXPECT_EQ(r.listProblems[2].reason, "the row is empty");
  EXPECT_TRUE(r.files.empty());
  request.files = {};
  r = Run();
  EXPECT_EQ(r.status, RunStatus::kListRejected);
  EXPECT_TRUE(r.emptyList);
  EXPECT_TRUE(factory.stores.empty());
  EXPECT_TRUE(fs::is_empty(outDir.path()));
}

TEST_F(EngineTest, NeverOverwritesAFile) {
  request.files = {"/Mail/a.eml"};
  std::ofstream(stem.toStdString() + ".pst") << "mine";
  ConversionReport r = Run();
  EXPECT_EQ(r.status, RunStatus::kFinished);
  EXPECT_EQ(r.renamedFrom, stem + ".pst");
  EXPECT_EQ(r.pstPath, stem + " (2).pst");

  // An exact output file is used as named, or refused when it exists.
  request.outputFile = QString::fromStdString(outDir / "exact.pst");
  r = Run();
  EXPECT_EQ(r.status, RunStatus::kFinished);
  EXPECT_EQ(r.pstPath, request.outputFile);
  r = Run();
  EXPECT_EQ(r.status, RunStatus::kSessionFailed);
  EXPECT_TRUE(r.sessionError.contains("already exists")) << r.sessionError.toStdString();
  EXPECT_EQ(factory.stores.size(), 2u);
  std::ifstream first(stem.toStdString() + ".pst");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(first), {}), "mine");
}

// With the real writer: the file a cancelled run leaves is complete.
TEST_F(EngineTest, CancelStopsBeforeTheNextFileAndLeavesAValidFile) {
  deps.writer = {};
  request.files = Files(5);
  std::atomic<bool> cancel{false};
  EngineCallbacks cb;
  cb.cancel = &cancel;
  cb.finished = [&](qint64 i, qint64, const FileResult&) {
    if (i == 1) cancel = true;
  };
  const ConversionReport r = Run(cb);
  EXPECT_EQ(r.status, RunStatus::kCancelled);
  EXPECT_EQ(r.storedCount(), 2);
  EXPECT_EQ(Reasons(r), (std::vector<QString>{"", "", kReasonNotReached, kReasonNotReached, kReasonNotReached}));
  ASSERT_TRUE(fs::exists(r.pstPath.toStdString()));
  const std::string checker = VERDALINE_SOURCE_DIR "/tools/pst-check/pst-check";
  if (std::system("python3 --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no python3 for pst-check";
  EXPECT_EQ(std::system(("python3 '" + checker + "' '" + r.pstPath.toStdString() + "'").c_str()), 0);
}

// The caller's pump throwing (its window closing) ends the run where it is,
// from the loop or from the wait for a worker, with what was stored kept.
TEST_F(EngineTest, AThrowingYieldLogsOffAndReachesTheCaller) {
  request.files = {"/In/a.eml", "/In/slow.eml", "/In/c.eml"};
  qint64 current = -1;
  int yieldsInSlow = 0;
  EngineCallbacks cb;
  cb.starting = [&](qint64 i) { current = i; };
  // The second yield of the slow file is its wait for the worker, inside
  // the item's import.
  cb.yield = [&] {
    if (current == 1 && ++yieldsInSlow == 2) throw std::runtime_error("window closed");
  };
  EXPECT_THROW(Run(cb), std::runtime_error);
  ASSERT_EQ(factory.stores.size(), 1u);
  EXPECT_EQ(factory.stores[0]->messages.size(), 1u);
  EXPECT_TRUE(factory.stores[0]->closed);
}

TEST_F(EngineTest, AFullDiskStopsTheRunAndAccountsForEveryFile) {
  deps.writer = factory.Writer([](fake::Store& s) {
    s.diskFullAt = 3;
    s.commitEvery = 2;  // the file holds 2 when the fourth write fails
  });
  request.files = Files(6);
  const ConversionReport r = Run();
  EXPECT_EQ(r.status, RunStatus::kFileFailed);
  EXPECT_TRUE(r.fileFailure.contains("No space left on device")) << r.fileFailure.toStdString();
  EXPECT_FALSE(r.fileGone);
  EXPECT_EQ(r.kept, 2);
  const auto reasons = Reasons(r);
  ASSERT_EQ(reasons.size(), 6u);
  EXPECT_EQ(reasons[0], "");
  EXPECT_EQ(reasons[1], "");
  EXPECT_EQ(reasons[2], kReasonNotWritten);
  EXPECT_EQ(reasons[3], r.fileFailure);
  EXPECT_EQ(reasons[4], kReasonNotReached);
  EXPECT_EQ(reasons[5], kReasonNotReached);
  EXPECT_EQ(r.storedCount(), 2);
}

}  // namespace
}  // namespace verdaline

namespace verdaline {
namespace {

// Messages of a mail store: each to its own folder with the state its
// source gave, read from its range, under the store name asked for.
TEST_F(EngineTest, StoresSourceMessagesInTheirFoldersWithTheirState) {
  std::vector<std::string> imported;
  std::mutex importing;  // imports run on several workers
  deps.importer = [&](const model::MessageRef& ref, pst::Message& out) {
    {
      std::lock_guard lock(importing);
      imported.push_back(ref.path + "@" + std::to_string(ref.offset));
    }
    out.props.Set(pst::tags::kSubject, ref.path);
    if (ref.offset == 300) out.attachments.emplace_back();
  };
  auto message = [](uint64_t at, const QString& folder, model::MessageState state) {
    return SourceMessage{model::MessageRef("/m/box", at, 100, model::MessageFormat::kMboxQuoted), folder, state};
  };
  model::MessageState unread, draft, flagged, answered, forwarded, both;
  unread.read = false;
  draft.draft = true;
  flagged.flagged = true;
  flagged.categories = {"Work", "Ünïcode"};
  answered.answered = true;
  forwarded.forwarded = true;
  both.answered = both.forwarded = true;
  request.messages = {message(0, "Inbox", {}),          message(100, "Inbox", unread),
                      message(200, "Drafts", draft),     message(300, "Archive\\2023", flagged),
                      message(400, "Inbox", answered),   message(500, "Inbox", forwarded),
                      message(600, "Archive", both)};
  request.storeName = QStringLiteral("Ann's mail");
  // The store is attached to the caller's profile while it is written, and
  // to nobody else's.
  mapi::Profile profile;
  deps.profile = &profile;
  std::vector<size_t> attached;
  EngineCallbacks cb;
  cb.starting = [&](qint64) {
    attached.push_back(profile.Stores().size() * 10 + mapi::Profile::Default().Stores().size());
  };
  const ConversionReport r = Run(cb);
  EXPECT_EQ(attached, std::vector<size_t>(7, 10));
  EXPECT_TRUE(profile.Stores().empty());

  ASSERT_EQ(r.status, RunStatus::kFinished);
  EXPECT_EQ(r.storeName, "Ann's mail");
  EXPECT_EQ(factory.stores.at(0)->displayName, "Ann's mail");
  EXPECT_EQ(r.folderPaths, (std::vector<QString>{"Archive", "Archive\\2023", "Drafts", "Inbox"}));
  // Each once, in whatever order the workers finished them.
  std::sort(imported.begin(), imported.end());
  EXPECT_EQ(imported, (std::vector<std::string>{"/m/box@0", "/m/box@100", "/m/box@200", "/m/box@300",
                                                "/m/box@400", "/m/box@500", "/m/box@600"}));
  ASSERT_EQ(r.files.size(), 7u);
  EXPECT_EQ(r.files[3].path, "/m/box");
  EXPECT_EQ(r.files[3].storeFolder, "Archive\\2023");

  const fake::Store& s = *factory.stores.at(0);
  ASSERT_EQ(s.messages.size(), 7u);
  auto props = [&](size_t i) -> const pst::PropertyBag& { return s.messages[i].second.props; };
  auto get = [&](size_t i, uint32_t tag) { return props(i).GetInt(pst::TagId(tag)); };
  EXPECT_EQ(s.PathOf(s.messages[3].first), "Archive\\2023");
  EXPECT_EQ(get(0, pst::tags::kMessageFlags), pst::tags::kMsgFlagRead);
  EXPECT_EQ(get(1, pst::tags::kMessageFlags), 0);
  EXPECT_EQ(get(2, pst::tags::kMessageFlags), pst::tags::kMsgFlagUnsent);
  EXPECT_EQ(get(3, pst::tags::kMessageFlags), pst::tags::kMsgFlagRead | pst::tags::kMsgFlagHasAttach);
  EXPECT_EQ(get(3, pst::tags::kFlagStatus), 2);
  EXPECT_EQ(get(3, pst::tags::kFollowupIcon), 6);
  const auto* flagRequest = props(3).FindNamed({pst::tags::kPsetidCommon, 0x8530u, {}});
  ASSERT_NE(flagRequest, nullptr);
  EXPECT_EQ(std::get<std::string>(flagRequest->data), "Follow up");
  const auto* keywords = props(3).FindNamed({pst::tags::kPsPublicStrings, std::nullopt, "Keywords"});
  ASSERT_NE(keywords, nullptr);
  EXPECT_EQ(std::get<std::vector<std::string>>(keywords->data), (std::vector<std::string>{"Work", "Ünïcode"}));
  EXPECT_EQ(get(0, pst::tags::kFlagStatus), std::nullopt);
  EXPECT_EQ(props(0).FindNamed({pst::tags::kPsPublicStrings, std::nullopt, "Keywords"}), nullptr);
  EXPECT_EQ(get(4, pst::tags::kLastVerbExecuted), 102);
  EXPECT_EQ(get(4, pst::tags::kIconIndex), 0x105);
  EXPECT_EQ(get(5, pst::tags::kLastVerbExecuted), 104);
  EXPECT_EQ(get(5, pst::tags::kIconIndex), 0x106);
  EXPECT_EQ(get(6, pst::tags::kLastVerbExecuted), 102);
  EXPECT_EQ(get(0, pst::tags::kLastVerbExecuted), std::nullopt);

  // A message without a folder cannot be placed: nothing is made.
  request.messages.push_back(message(700, "", {}));
  const ConversionReport rejected = Run();
  EXPECT_EQ(rejected.status, RunStatus::kListRejected);
  ASSERT_EQ(rejected.listProblems.size(), 1u);
  EXPECT_EQ(rejected.listProblems[0].index, 7);
  EXPECT_EQ(factory.stores.size(), 1u);
}

}  // namespace
}  // namespace verdaline

namespace verdaline {
namespace {

// What a message says of itself (X-Unsent, Keywords) joins the state its
// store gives rather than being overwritten by it, on both paths.
TEST_F(EngineTest, AMessagesOwnDraftMarkAndKeywordsJoinTheStoreState) {
  const pst::NamedProp keywords{pst::tags::kPsPublicStrings, std::nullopt, "Keywords"};
  deps.importer = [&](const model::MessageRef& ref, pst::Message& out) {
    if ((ref.path == "/m/box" && ref.offset == 0) || ref.path.find("draft") != std::string::npos)
      out.props.Set(pst::tags::kMessageFlags, pst::tags::kMsgFlagUnsent);
    out.props.SetNamed(keywords, pst::PropType::MvUnicode, std::vector<std::string>{"Own", "work"});
  };
  model::MessageState labelled;
  labelled.categories = {"Work", "Later"};
  request.messages = {SourceMessage{model::MessageRef("/m/box", 0, 100, model::MessageFormat::kMboxQuoted),
                                    "Inbox", labelled},
                      SourceMessage{model::MessageRef("/m/box", 100, 100, model::MessageFormat::kMboxQuoted),
                                    "Inbox", {}}};
  ASSERT_EQ(Run().status, RunStatus::kFinished);
  request.messages.clear();
  request.files = {"/Mail/draft.eml", "/Mail/sent.eml"};
  ASSERT_EQ(Run().status, RunStatus::kFinished);

  ASSERT_EQ(factory.stores.size(), 2u);
  auto props = [&](size_t store, size_t i) -> const pst::PropertyBag& {
    return factory.stores.at(store)->messages.at(i).second.props;
  };
  auto flags = [&](size_t store, size_t i) { return props(store, i).GetInt(pst::TagId(pst::tags::kMessageFlags)); };
  EXPECT_EQ(flags(0, 0), pst::tags::kMsgFlagUnsent);
  EXPECT_EQ(flags(0, 1), pst::tags::kMsgFlagRead);
  EXPECT_EQ(flags(1, 0), pst::tags::kMsgFlagUnsent);
  EXPECT_EQ(flags(1, 1), pst::tags::kMsgFlagRead);
  auto categories = [&](size_t store, size_t i) {
    const pst::PropValue* v = props(store, i).FindNamed(keywords);
    return v ? std::get<std::vector<std::string>>(v->data) : std::vector<std::string>{};
  };
  EXPECT_EQ(categories(0, 0), (std::vector<std::string>{"Work", "Later", "Own"}));
  EXPECT_EQ(categories(0, 1), (std::vector<std::string>{"Own", "work"}));
  EXPECT_EQ(categories(1, 0), (std::vector<std::string>{"Own", "work"}));
}

}  // namespace
}  // namespace verdaline

namespace verdaline {
namespace {

// A caller with a million messages gives them one at a time and keeps the
// results it is handed: the report holds none, only the stored files the
// failed file lost.
TEST_F(EngineTest, MessagesGivenOneAtATimeLeaveOnlyTheLostOnesInTheReport) {
  deps.writer = factory.Writer([](fake::Store& s) {
    s.diskFullAt = 3;
    s.commitEvery = 2;  // the file holds 2 when the fourth write fails
  });
  request.messageCount = 6;
  request.messageAt = [](size_t i) {
    return SourceMessage{model::MessageRef("/m/box", i * 100, 100, model::MessageFormat::kRfc822),
                         i < 3 ? QStringLiteral("Inbox") : QStringLiteral("Old"), {}};
  };
  request.keepResults = false;
  std::vector<std::pair<qint64, QString>> seen;
  EngineCallbacks cb;
  cb.finished = [&](qint64 index, qint64 total, const FileResult& result) {
    EXPECT_EQ(total, 6);
    seen.emplace_back(index, result.storeFolder + u' ' + result.reason);
  };
  const ConversionReport r = Run(cb);
  EXPECT_EQ(r.status, RunStatus::kFileFailed);
  EXPECT_EQ(r.folderPaths, (std::vector<QString>{"Inbox", "Old"}));
  EXPECT_TRUE(r.files.empty());
  EXPECT_EQ(r.notWritten, std::vector<qint64>{2});
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0], std::make_pair(qint64{0}, QStringLiteral("Inbox ")));
  EXPECT_EQ(seen[2], std::make_pair(qint64{2}, QStringLiteral("Inbox ")));
  EXPECT_EQ(seen[3], std::make_pair(qint64{3}, QStringLiteral("Old ") + r.fileFailure));

  // Kept, the same run reports every file as before.
  request.keepResults = true;
  const ConversionReport kept = Run();
  EXPECT_TRUE(kept.notWritten.empty());
  ASSERT_EQ(kept.files.size(), 6u);
  EXPECT_EQ(kept.files[2].reason, kReasonNotWritten);
  EXPECT_EQ(kept.files[5].reason, kReasonNotReached);
  EXPECT_EQ(kept.files[5].path, "/m/box");
  EXPECT_EQ(kept.files[5].storeFolder, "Old");
}

}  // namespace
}  // namespace verdaline

// SPDX-License-Identifier: GPL-3.0-or-later
// The conversion run through the real window (offscreen, scripted answers,
// fake store): what it creates, what it shows, and how it fails.
#include "convert/window_fixture.h"

#include "convert/conversion_run.h"
#include "convert/run_messages.h"
#include "platform/file_names.h"

#include <atomic>
#include <chrono>
#include <new>
#include <thread>
#include <fstream>

namespace verdaline::testing {
namespace {

namespace fs = std::filesystem;

TEST_F(WindowRunTest, TypicalRunCreatesTheStoreItsFoldersAndEveryMessage) {
  AddRows({"/Mail/Work/a.eml", "/Mail/Work/b.eml", "/Mail/Work/c.eml"});
  Convert(QString::fromStdString(outDir.path()));

  ASSERT_EQ(platform.FolderCalls().size(), 1u);
  EXPECT_EQ(platform.FolderCalls()[0].title, "Choose Folder to Save...");
  EXPECT_TRUE(platform.Boxes().empty()) << platform.Boxes()[0].text.toStdString();
  ASSERT_EQ(factory.stores.size(), 1u);
  const fake::Store& s = *factory.stores[0];
  EXPECT_EQ(s.path, outDir / "OutlookExpressMessages6.12.26 7.5.03.pst");
  EXPECT_TRUE(fs::exists(s.path));
  EXPECT_EQ(s.displayName, "Outlook Express Messages : Created - 6.12.26 7.5.03");
  EXPECT_EQ(s.FolderPaths(), (std::vector<std::string>{"Mail", "Mail\\Work"}));
  auto msgs = Messages(s);
  EXPECT_EQ(msgs["Mail\\Work"], (std::vector<std::string>{"/Mail/Work/a.eml", "/Mail/Work/b.eml", "/Mail/Work/c.eml"}));
  EXPECT_TRUE(s.closed);  // logged off
  EXPECT_EQ(mapi::Profile::Default().FindByDisplayName(s.displayName), nullptr);

  EXPECT_EQ(Frame(), "Details : Converting - (3 of 3) file(s)");
  EXPECT_EQ(Label(), "Converting Messages... from (Mail\\Work)");
  EXPECT_EQ(Bar(), 100.0f);
  EXPECT_FALSE(window->CmdExtractDBX().isEnabled());
  for (const char* name : {"cmdAdd", "CmdAddFolder", "cmdClear1"}) EXPECT_TRUE(Button(name)->isEnabled()) << name;
}

TEST_F(WindowRunTest, ProgressAfterTheThirdOfTwentyFiveRowsAndTheListLockedMeanwhile) {
  std::vector<QString> rows;
  for (int i = 0; i < 25; ++i) rows.push_back(QStringLiteral("/In/m%1.eml").arg(i));
  AddRows(rows);
  std::vector<std::pair<QString, float>> seen;
  bool listLocked = true;
  platform.SetDoEventsHook([&](int) {
    seen.emplace_back(Frame(), Bar());
    for (const char* name : {"cmdAdd", "CmdAddFolder", "cmdClear1", "CmdExtractDBX"})
      if (Button(name)->isEnabled()) listLocked = false;
    // A second click meanwhile does nothing.
    window->CmdExtractDBX().click();
  });
  Convert(QString::fromStdString(outDir.path()));
  EXPECT_TRUE(listLocked);
  EXPECT_NE(std::find(seen.begin(), seen.end(), std::make_pair(QString("Details : Converting - (3 of 25) file(s)"), 12.0f)),
            seen.end());
  EXPECT_EQ(Frame(), "Details : Converting - (25 of 25) file(s)");
  EXPECT_EQ(Bar(), 100.0f);
  EXPECT_EQ(platform.FolderCalls().size(), 1u);
  ASSERT_EQ(factory.stores.size(), 1u);
  EXPECT_EQ(factory.stores[0]->messages.size(), 25u);
}

TEST_F(WindowRunTest, CancellingTheFolderDialogChangesNothing) {
  AddRows({"/Mail/a.eml"});
  const QString frame = Frame();
  Convert("");
  EXPECT_TRUE(factory.stores.empty());
  EXPECT_TRUE(platform.Boxes().empty());
  EXPECT_EQ(Frame(), frame);
  EXPECT_TRUE(window->CmdExtractDBX().isEnabled());
  EXPECT_EQ(platform.DoEventsCount(), 0);
}

TEST_F(WindowRunTest, FailingSessionCreationShowsTheSessionErrorWithItsCause) {
  AddRows({"/Mail/a.eml"});
  SessionClassUnavailable();
  Convert(QString::fromStdString(outDir.path()));
  ASSERT_EQ(platform.Boxes().size(), 1u);
  const auto& box = platform.Boxes()[0];
  EXPECT_TRUE(box.text.startsWith("Outlook Session Creation Error !\r\nCheck if Outlook is installed and configured.\r\n"
                                  "For more details visit this link : https://"));
  EXPECT_TRUE(box.text.contains("\r\nCause: Class not registered")) << box.text.toStdString();
  EXPECT_EQ(box.style, 64);
  EXPECT_EQ(box.title, "Outlook Error");
  EXPECT_TRUE(factory.stores.empty());
  EXPECT_TRUE(fs::is_empty(outDir.path()));
  EXPECT_TRUE(window->CmdExtractDBX().isEnabled());  // as before the run
}

TEST_F(WindowRunTest, AnUnwritableOutputFolderNamesTheCause) {
  AddRows({"/Mail/a.eml"});
  // Even root cannot create files in /sys; others cannot in a read-only folder.
  std::string target = "/sys";
  if (geteuid() != 0) {
    target = outDir / "ro";
    fs::create_directory(target);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_exec);
  }
  Convert(QString::fromStdString(target));
  ASSERT_EQ(platform.Boxes().size(), 1u);
  const auto& box = platform.Boxes()[0];
  EXPECT_EQ(box.title, "Outlook Error");
  const QString cause = box.text.section(QStringLiteral("\r\n"), 3);
  EXPECT_TRUE(cause.startsWith("Cause: ")) << box.text.toStdString();
  EXPECT_TRUE(cause.contains(QString::fromStdString(target) + "/OutlookExpressMessages6.12.26 7.5.03.pst"));
  EXPECT_TRUE(cause.contains("Permission denied") || cause.contains("not writable")) << cause.toStdString();
  EXPECT_EQ(mapi::Profile::Default().Stores().size(), 0u);
}

TEST_F(WindowRunTest, RowsAreCheckedBeforeAnythingIsCreated) {
  AddRows({"/Mail/a.eml", "   ", "relative/b.eml", "/c.eml"});
  Convert(QString::fromStdString(outDir.path()));
  ASSERT_EQ(platform.Boxes().size(), 1u);
  const auto& box = platform.Boxes()[0];
  EXPECT_EQ(box.style, 48);
  EXPECT_EQ(box.title, "Verdaline");
  EXPECT_TRUE(box.text.contains("Row 2: the row is empty")) << box.text.toStdString();
  EXPECT_TRUE(box.text.contains("Row 3: the row is not a full path (relative/b.eml)"));
  EXPECT_TRUE(box.text.contains("Row 4: the file lies directly in the root folder"));
  EXPECT_FALSE(box.text.contains("Row 1"));
  EXPECT_TRUE(factory.stores.empty());
  EXPECT_TRUE(fs::is_empty(outDir.path()));
  EXPECT_TRUE(window->CmdExtractDBX().isEnabled());
  EXPECT_TRUE(Button("cmdAdd")->isEnabled());
}

TEST_F(WindowRunTest, AnEmptyListIsRefusedWithAClearMessage) {
  window->CmdExtractDBX().setEnabled(true);  // the list was cleared after files were added
  Convert(QString::fromStdString(outDir.path()));
  ASSERT_EQ(platform.Boxes().size(), 1u);
  EXPECT_EQ(platform.Boxes()[0].text, "There are no message files in the list to convert.");
  EXPECT_TRUE(factory.stores.empty());
}

TEST_F(WindowRunTest, FailedImportsAreNotSavedAndAreListedAtTheEnd) {
  AddRows({"/M/a.eml", "/M/bad1.eml", "/M/att.eml", "/M/bad2.eml"});
  Convert(QString::fromStdString(outDir.path()));
  ASSERT_EQ(factory.stores.size(), 1u);
  const fake::Store& s = *factory.stores[0];
  ASSERT_EQ(s.messages.size(), 2u);
  // Read, and has-attachments only where there are attachments.
  EXPECT_EQ(s.messages[0].second.props.GetInt(pst::TagId(pst::tags::kMessageFlags)), 0x01);
  EXPECT_EQ(s.messages[1].second.props.GetInt(pst::TagId(pst::tags::kMessageFlags)), 0x11);
  ASSERT_EQ(platform.Boxes().size(), 1u);
  const auto& box = platform.Boxes()[0];
  EXPECT_TRUE(box.text.startsWith("2 of 4 file(s) were converted.\r\nThese files were not converted:\r\n"));
  EXPECT_TRUE(box.text.contains("/M/bad1.eml : the file has no header section"));
  EXPECT_TRUE(box.text.contains("/M/bad2.eml : the file has no header section"));
  EXPECT_EQ(Frame(), "Details : Converting - (4 of 4) file(s)");
  EXPECT_TRUE(s.closed);
}

// What the importer repaired reaches the user with the failures, after
// them; a run where nothing failed shows no box for it.
TEST_F(WindowRunTest, FilesStoredWithWarningsAreListedAfterTheFailures) {
  const auto plain = deps.importer;
  deps.importer = [plain](const std::string& path, pst::Message& out) {
    plain(path, out);
    if (path.find("warn") != std::string::npos) out.warnings = {"no Date header", "a part was left out"};
  };
  std::vector<QString> rows = {"/M/bad.eml"};
  for (int i = 0; i < 22; ++i) rows.push_back(QStringLiteral("/M/warn%1.eml").arg(i));
  AddRows(rows);
  Convert(QString::fromStdString(outDir.path()));
  ASSERT_EQ(platform.Boxes().size(), 1u);
  const QString text = platform.Boxes()[0].text;
  EXPECT_TRUE(text.startsWith("22 of 23 file(s) were converted.\r\nThese files were not converted:\r\n"
                              "/M/bad.eml : the file has no header section\r\n"
                              "These files were converted with warnings:\r\n"
                              "/M/warn0.eml : no Date header; a part was left out\r\n"))
      << text.toStdString();
  EXPECT_TRUE(text.contains("/M/warn19.eml : "));
  EXPECT_FALSE(text.contains("/M/warn20.eml"));
  EXPECT_TRUE(text.endsWith("\r\n... and 2 more file(s)."));

  window->ResetFileList();
  AddRows({"/M/warn.eml"});
  clock = clock.addSecs(1);
  Convert(QString::fromStdString(outDir.path()));
  EXPECT_EQ(platform.Boxes().size(), 1u);
}

TEST_F(WindowRunTest, MessagesOfAFolderThatCouldNotBeCreatedAreReported) {
  AddRows({"/A/B/x.eml", "/A/B/C/y.eml", "/A/z.eml"});
  // The writer refuses the folder B: B and C under it are lost, A is not.
  deps.writer = factory.Writer([](fake::Store& s) { s.failFolderName = "B"; });
  Convert(QString::fromStdString(outDir.path()));
  ASSERT_EQ(factory.stores.size(), 1u);
  EXPECT_EQ(factory.stores[0]->messages.size(), 1u);
  ASSERT_EQ(platform.Boxes().size(), 1u);
  const QString text = platform.Boxes()[0].text;
  EXPECT_TRUE(text.startsWith("1 of 3 file(s) were converted.")) << text.toStdString();
  EXPECT_TRUE(text.contains("/A/B/x.eml : its folder A\\B could not be created: "));
  EXPECT_TRUE(text.contains("the folder table is full"));
  EXPECT_TRUE(text.contains("/A/B/C/y.eml : its folder A\\B\\C could not be created"));
}

TEST_F(WindowRunTest, ASecondRunMakesASecondFileWithALaterStamp) {
  AddRows({"/Mail/a.eml"});
  Convert(QString::fromStdString(outDir.path()));
  EXPECT_FALSE(window->CmdExtractDBX().isEnabled());
  clock = clock.addSecs(61);
  AddRows({"/Other/b.eml"});
  Convert(QString::fromStdString(outDir.path()));
  ASSERT_EQ(factory.stores.size(), 2u);
  EXPECT_EQ(factory.stores[1]->path, outDir / "OutlookExpressMessages6.12.26 7.6.04.pst");
  EXPECT_EQ(factory.stores[0]->messages.size(), 1u);  // the first left alone
  EXPECT_EQ(factory.stores[1]->messages.size(), 2u);  // both rows of the list
  EXPECT_EQ(factory.stores[0]->closeCount, 1);
  EXPECT_TRUE(platform.Boxes().empty());
}

TEST_F(WindowRunTest, RunsInTheSameSecondMakeFilesWithTheNextFreeName) {
  AddRows({"/Mail/a.eml"});
  for (int i = 0; i < 3; ++i) {
    window->CmdExtractDBX().setEnabled(true);
    Convert(QString::fromStdString(outDir.path()));
  }
  ASSERT_EQ(factory.stores.size(), 3u);
  EXPECT_EQ(factory.stores[1]->path, outDir / "OutlookExpressMessages6.12.26 7.5.03 (2).pst");
  EXPECT_EQ(factory.stores[2]->path, outDir / "OutlookExpressMessages6.12.26 7.5.03 (3).pst");
  for (const auto& s : factory.stores) EXPECT_EQ(s->messages.size(), 1u);
  // The first run says nothing; the others say which name they took.
  ASSERT_EQ(platform.Boxes().size(), 2u);
  EXPECT_EQ(platform.Boxes()[1].text,
            "A file named " + QString::fromStdString(outDir / "OutlookExpressMessages6.12.26 7.5.03.pst") +
                " exists already, so this conversion was written to " +
                QString::fromStdString(factory.stores[2]->path) + ".");
}

// Messages the fake store counts at 20 GiB each (an attachment it never
// reads): two fit in a file under the window's limit, a third does not.
class WindowSplitTest : public WindowRunTest {
 protected:
  WindowSplitTest() {
    struct Sized final : model::ByteSource {
      uint64_t size() const override { return uint64_t{20} << 30; }
      void read(uint64_t, std::span<uint8_t>) const override { throw std::logic_error("not read"); }
    };
    deps.writer = factory.Writer([](fake::Store& s) { s.emptySize = 1 << 20; });
    deps.importer = [plain = deps.importer](const std::string& path, pst::Message& out) {
      plain(path, out);
      out.attachments.emplace_back();
      out.attachments.back().data = std::make_shared<Sized>();
    };
  }
  // The notice of a run split over the fake stores.
  QString SplitNotice() const {
    QString text =
        "The messages did not fit in one file of at most 45.0 GB, so this conversion was written to " +
        QString::number(factory.stores.size()) + " files:";
    for (const auto& s : factory.stores) text += "\r\n" + QString::fromStdString(s->path);
    return text;
  }
};

TEST_F(WindowSplitTest, ARunTooLargeForOneFileNamesEveryFileItWrote) {
  AddRows({"/Mail/a.eml", "/Mail/b.eml", "/Mail/c.eml"});
  Convert(QString::fromStdString(outDir.path()));

  ASSERT_EQ(factory.stores.size(), 2u);
  EXPECT_EQ(factory.stores[0]->messages.size(), 2u);
  EXPECT_EQ(factory.stores[1]->path, outDir / "OutlookExpressMessages6.12.26 7.5.03 (2).pst");
  ASSERT_EQ(platform.Boxes().size(), 1u);
  EXPECT_EQ(platform.Boxes()[0].text, SplitNotice());
}

TEST_F(WindowSplitTest, TheFilesComeBeforeTheFilesNotConverted) {
  AddRows({"/Mail/a.eml", "/Mail/bad.eml", "/Mail/b.eml", "/Mail/c.eml"});
  Convert(QString::fromStdString(outDir.path()));

  ASSERT_EQ(factory.stores.size(), 2u);
  ASSERT_EQ(platform.Boxes().size(), 1u);
  EXPECT_TRUE(platform.Boxes()[0].text.startsWith(SplitNotice() + "\r\n3 of 4 file(s) were converted."))
      << platform.Boxes()[0].text.toStdString();
}

// A name that ends in spaces is a file of its own when it exists; a typed
// path with stray spaces around it is trimmed.
TEST_F(WindowRunTest, RowsEndingInSpacesAreTakenAsTheyStandWhenThatFileExists) {
  const fs::path dir = outDir / "src";
  fs::create_directories(dir);
  for (const char* name : {"x.eml", "x.eml ", "y.eml"}) std::ofstream(dir / name) << "Subject: s\r\n\r\n";
  const QString d = QString::fromStdString(dir.string());
  AddRows({d + "/x.eml", d + "/x.eml ", "  " + d + "/y.eml  "});
  const fs::path out = outDir / "out";
  fs::create_directories(out);
  Convert(QString::fromStdString(out.string()));
  ASSERT_EQ(factory.stores.size(), 1u);
  EXPECT_TRUE(platform.Boxes().empty());
  std::vector<std::string> got;
  for (const auto& [nid, m] : factory.stores[0]->messages)
    got.push_back(m.props.GetString(pst::TagId(pst::tags::kSubject)).value_or(""));
  EXPECT_EQ(got, (std::vector<std::string>{dir / "x.eml", (dir / "x.eml").string() + " ", dir / "y.eml"}));
}

// "\" is an ordinary character in a Linux folder name, and a name need not
// be UTF-8: the folders a\b, a real a∖b, b\xff, b\xfe and b? each get a
// store folder of their own, none merged with another or with a > b.
TEST_F(WindowRunTest, FoldersWhoseNamesShowAlikeAreNotMerged) {
  const QString bFF = DecodeFileName("/b\xff/f.eml");
  const QString bFE = DecodeFileName("/b\xfe/e.eml");
  AddRows({"/a\\b/x.eml", "/a/b/y.eml", QStringLiteral("/a\u2216b/z.eml"), bFF, bFE, "/b?/q.eml"});
  Convert(QString::fromStdString(outDir.path()));
  ASSERT_EQ(factory.stores.size(), 1u);
  const fake::Store& s = *factory.stores[0];
  EXPECT_EQ(s.FolderPaths(), (std::vector<std::string>{"a", "a\\b", "a\u2216b", "a\u2216b (2)", "b?", "b\uFFFD",
                                                       "b\uFFFD (2)"}));
  auto msgs = Messages(s);
  EXPECT_EQ(msgs["a\u2216b"], std::vector<std::string>{"/a\u2216b/z.eml"});
  EXPECT_EQ(msgs["a\u2216b (2)"], std::vector<std::string>{"/a\\b/x.eml"});
  EXPECT_EQ(msgs["a\\b"], std::vector<std::string>{"/a/b/y.eml"});
  EXPECT_EQ(msgs["b?"], std::vector<std::string>{"/b?/q.eml"});
  EXPECT_EQ(msgs["b\uFFFD"].size(), 1u);
  EXPECT_EQ(msgs["b\uFFFD (2)"].size(), 1u);
  EXPECT_NE(msgs["b\uFFFD"], msgs["b\uFFFD (2)"]);
}

// A full disk: the run stops at the file that could not be written and says
// why, how many messages the file holds and which files it does not hold.
TEST_F(WindowRunTest, AFullDiskStopsTheRunAndSaysWhatTheFileHolds) {
  std::vector<QString> rows;
  for (int i = 0; i < 10; ++i) rows.push_back(QStringLiteral("/In/m%1.eml").arg(i));
  AddRows(rows);
  deps.writer = factory.Writer([](fake::Store& s) {
    s.diskFullAt = 6;
    s.commitEvery = 4;  // the file holds 4 when the seventh write fails
  });
  Convert(QString::fromStdString(outDir.path()));
  ASSERT_EQ(platform.Boxes().size(), 1u);
  const auto& box = platform.Boxes()[0];
  EXPECT_EQ(box.style, mb::kOkOnly | mb::kCritical);
  EXPECT_TRUE(box.text.contains("No space left on device")) << box.text.toStdString();
  EXPECT_TRUE(box.text.contains("The file holds 4 of the 10 message(s).")) << box.text.toStdString();
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(box.text.contains(QStringLiteral("/In/m%1.eml :").arg(i))) << i;
  for (int i = 4; i < 10; ++i) EXPECT_TRUE(box.text.contains(QStringLiteral("/In/m%1.eml :").arg(i))) << i;
  EXPECT_EQ(Frame(), "Details : Converting - (7 of 10) file(s)");
  EXPECT_EQ(factory.stores[0]->messages.size(), 6u);  // nothing tried after the failure
}

// The files of a failed file in order: the one that failed on its own, then
// those the file lost (a lost file's warnings are not shown: it is not in
// the file), then those never reached. The run keeps no result for files
// that were simply stored.
TEST_F(WindowRunTest, AFullDiskListsTheFailedFileThenTheLostThenTheUnreached) {
  std::vector<QString> rows;
  for (int i = 0; i < 10; ++i) rows.push_back(QString::fromLatin1(i == 4 ? "/In/warn%1.eml" : "/In/m%1.eml").arg(i));
  AddRows(rows);
  deps.writer = factory.Writer([](fake::Store& s) {
    s.diskFullAt = 6;
    s.commitEvery = 4;
  });
  Convert(QString::fromStdString(outDir.path()));
  ASSERT_EQ(platform.Boxes().size(), 1u);
  const QString text = platform.Boxes()[0].text;
  const auto failed = text.indexOf("/In/m6.eml :"), lost = text.indexOf("/In/warn4.eml :"),
             lost2 = text.indexOf("/In/m5.eml :"), unreached = text.indexOf("/In/m7.eml :");
  EXPECT_TRUE(failed >= 0 && failed < lost && lost < lost2 && lost2 < unreached) << text.toStdString();
  EXPECT_TRUE(text.contains("The file holds 4 of the 10 message(s).")) << text.toStdString();
  EXPECT_FALSE(text.contains("no Date header")) << text.toStdString();
}

// The output folder removed during the run, with the real writer: the run
// does not end as if all were well.
TEST_F(WindowRunTest, AnOutputFolderRemovedDuringTheRunIsReportedAsAFailure) {
  deps.writer = {};
  AddRows({"/M/a.eml", "/M/b.eml", "/M/c.eml", "/M/d.eml"});
  const fs::path out = outDir / "out";
  fs::create_directories(out);
  bool removed = false;
  platform.SetDoEventsHook([&](int) {
    if (!removed && fs::exists(out) && !fs::is_empty(out) && Frame().contains("(2 of 4)")) {
      fs::remove_all(out);
      removed = true;
    }
  });
  Convert(QString::fromStdString(out.string()));
  ASSERT_TRUE(removed);
  ASSERT_EQ(platform.Boxes().size(), 1u);
  const auto& box = platform.Boxes()[0];
  EXPECT_EQ(box.style, mb::kOkOnly | mb::kCritical);
  EXPECT_TRUE(box.text.contains("deleted while it was being written")) << box.text.toStdString();
  EXPECT_TRUE(box.text.contains("none of the 4 file(s) was kept"));
}

TEST_F(WindowRunTest, MoreRowsThanSixteenBitPositionsConvertFully) {
  const int n = 33000;
  for (int i = 0; i < n; ++i) window->AddFileRow(QStringLiteral("/Big/F%1/m%2.eml").arg(i % 40).arg(i));
  window->CmdExtractDBX().setEnabled(true);
  Convert(QString::fromStdString(outDir.path()));
  EXPECT_TRUE(platform.Boxes().empty());
  ASSERT_EQ(factory.stores.size(), 1u);
  EXPECT_EQ(factory.stores[0]->messages.size(), static_cast<size_t>(n));
  EXPECT_EQ(factory.stores[0]->folders.size(), 41u);
  EXPECT_EQ(Frame(), QStringLiteral("Details : Converting - (%1 of %1) file(s)").arg(n));
}

TEST(RunMessages, LongListsShowTwentyThenACount) {
  std::vector<FailedFile> failed;
  for (int i = 0; i < 25; ++i) failed.push_back({QStringLiteral("/f%1.eml").arg(i), "broken"});
  QString text = RunSummaryText(5, 30, failed);
  EXPECT_TRUE(text.contains("/f19.eml : broken"));
  EXPECT_FALSE(text.contains("/f20.eml"));
  EXPECT_TRUE(text.endsWith("\r\n... and 5 more file(s)."));
  EXPECT_EQ(text.count("\r\n"), 1 + 20 + 1);
}

}  // namespace
}  // namespace verdaline::testing

namespace verdaline::testing {
namespace {

TEST_F(WindowRunTest, ClosingTheWindowMidRunStillFinishesTheFile) {
  AddRows({"/M/a.eml", "/M/b.eml", "/M/c.eml", "/M/d.eml"});
  platform.SetDoEventsHook([&](int) {
    if (!factory.stores.empty() && factory.stores[0]->messages.size() == 2) platform.EndProgram(0);
  });
  Convert(QString::fromStdString(outDir.path()));
  EXPECT_TRUE(platform.Ended());
  ASSERT_EQ(factory.stores.size(), 1u);
  EXPECT_EQ(factory.stores[0]->messages.size(), 2u);
  EXPECT_TRUE(factory.stores[0]->closed);  // logged off on the way out
  EXPECT_TRUE(platform.Boxes().empty());
}

TEST_F(WindowRunTest, RunningOutOfMemoryOnAFileIsThatFilesClearError) {
  deps.importer = [](const std::string& path, pst::Message& out) {
    if (path.find("huge") != std::string::npos) throw std::bad_alloc();
    out.props.Set(pst::tags::kSubject, path);
  };
  AddRows({"/M/a.eml", "/M/huge.eml", "/M/c.eml"});
  Convert(QString::fromStdString(outDir.path()));
  ASSERT_EQ(platform.Boxes().size(), 1u);
  const QString text = platform.Boxes()[0].text;
  EXPECT_TRUE(text.contains(QStringLiteral("2 of 3 file(s) were converted."))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("/M/huge.eml : there was not enough memory"))) << text.toStdString();
  EXPECT_EQ(factory.stores[0]->messages.size(), 2u);
}

// A file whose import never ends (a worker stuck in it): the window keeps
// taking events while the run waits, and closing it ends the run at once,
// with what was stored kept.
std::atomic<bool> g_stuck{true};
std::atomic<int> g_inStuck{0};

TEST_F(WindowRunTest, ClosingTheWindowWhileAWorkerIsStuckEndsAtOnce) {
  deps.importer = [](const std::string& path, pst::Message& out) {
    if (path.find("stuck") != std::string::npos) {
      ++g_inStuck;
      while (g_stuck.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      --g_inStuck;
    }
    out.props.Set(pst::tags::kSubject, path);
  };
  AddRows({"/M/a.eml", "/M/stuck.eml", "/M/c.eml"});
  int yieldsWhileStuck = 0;
  platform.SetDoEventsHook([&](int) {
    if (g_inStuck.load() > 0 && ++yieldsWhileStuck == 10) platform.EndProgram(0);
  });
  Convert(QString::fromStdString(outDir.path()));
  EXPECT_TRUE(platform.Ended());
  EXPECT_EQ(yieldsWhileStuck, 10);
  ASSERT_EQ(factory.stores.size(), 1u);
  EXPECT_EQ(factory.stores[0]->messages.size(), 1u);
  EXPECT_TRUE(factory.stores[0]->closed);
  g_stuck = false;  // lets the worker that was let go finish
  for (int i = 0; i < 5000 && g_inStuck.load() > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace
}  // namespace verdaline::testing

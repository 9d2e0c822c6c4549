// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "sources/qt_print.h"

#include "platform/scripted_platform.h"
#include "platform/vb_error.h"
#include "sources/deep_chain.h"
#include "sources/list_probe.h"
#include "sources/source_commands.h"
#include "sources/temp_tree.h"

namespace verdaline {
namespace {

using testing::ListProbe;
using testing::TempTree;

class AddFolder : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tree.ok()); }

  // Runs the command with the dialog answering `folder`.
  void Run(const QString& folder) {
    desktop.QueueFolder(folder);
    CmdAddFolder_Click(SourceCommandContext{desktop, nullptr, list.Adder(), list.Enabler()});
  }
  QString Last() const { return desktop.Boxes().empty() ? QString() : desktop.Boxes().back().text; }

  TempTree tree;
  ScriptedPlatform desktop;
  ListProbe list;
};

TEST_F(AddFolder, CancelChangesNothing) {
  list.rows << "/kept.eml";
  Run(QString());
  ASSERT_EQ(desktop.FolderCalls().size(), 1u);
  EXPECT_EQ(desktop.FolderCalls()[0].title, "Choose Source Folder...");
  EXPECT_TRUE(desktop.Boxes().empty());
  EXPECT_TRUE(desktop.PointerChanges().empty());
  EXPECT_TRUE(list.enabledWrites.empty());
  EXPECT_EQ(list.rows, QStringList{"/kept.eml"});
}

TEST_F(AddFolder, KeepsEmlNamesInAnyCaseAndReportsTheCount) {
  for (const char* name : {"A.EML", "b.Eml", ".eml", "c.eml ", "a.eml.bak", "a.emlx", "a.txt", "eml",
                           "x.em", "sub/deeper/still/down.eml"}) {
    tree.File(name);
  }
  Run(tree.Root());
  QStringList added = list.rows;
  added.sort();
  const QString r = tree.Root() + u'/';
  EXPECT_EQ(added, (QStringList{r + ".eml", r + "A.EML", r + "b.Eml", r + "c.eml ",
                                r + "sub/deeper/still/down.eml"}));
  // The deep file comes after every file above it.
  EXPECT_EQ(list.rows.back(), r + "sub/deeper/still/down.eml");

  EXPECT_EQ(desktop.PointerChanges(), (std::vector<int>{11, 0}));
  EXPECT_EQ(list.enabledWrites, std::vector<bool>{true});
  ASSERT_EQ(desktop.Boxes().size(), 1u);
  EXPECT_EQ(desktop.Boxes()[0].text, "5 Files Added to List.");
  EXPECT_EQ(desktop.Boxes()[0].style, 0);
  EXPECT_EQ(desktop.Boxes()[0].title, "Verdaline");
  // One pump before every path, one more before every add.
  EXPECT_EQ(desktop.DoEventsCount(), 10 + 5);
}

TEST_F(AddFolder, TheMessageFileTest) {
  EXPECT_TRUE(IsMessageFilePath(".eml"));
  EXPECT_TRUE(IsMessageFilePath("  /a/B.eMl  "));
  EXPECT_TRUE(IsMessageFilePath(QString::fromUtf8("/Ä/Ü.EML")));
  EXPECT_FALSE(IsMessageFilePath("/a/b.eml\t"));  // only blanks are trimmed
  EXPECT_FALSE(IsMessageFilePath("eml"));
  EXPECT_FALSE(IsMessageFilePath(""));
  EXPECT_FALSE(IsMessageFilePath("/a/b.emlx"));
}

TEST_F(AddFolder, SameFolderTwiceAndAFolderWithoutMessages) {
  tree.File("one.eml");
  tree.File("two/two.eml");
  tree.File("none/readme.txt");
  Run(tree.Root() + u'/');  // a trailing separator from the dialog is harmless
  Run(tree.Root());
  EXPECT_EQ(list.rows.size(), 4);
  EXPECT_EQ(list.rows.mid(0, 2), list.rows.mid(2, 2));
  EXPECT_EQ(Last(), "2 Files Added to List.");

  Run(tree.QPath("none"));
  EXPECT_EQ(Last(), "0 Files Added to List.");
  // Disabled, though the list still holds rows from before.
  EXPECT_EQ(list.enabledWrites, (std::vector<bool>{true, true, false}));
  EXPECT_EQ(list.rows.size(), 4);
}

TEST_F(AddFolder, AClearBetweenFilesStartsTheListAgain) {
  for (int i = 0; i < 6; ++i) tree.File("m" + std::to_string(i) + ".eml");
  desktop.SetDoEventsHook([&](int pumps) {
    if (pumps == 6) list.rows.clear();  // a confirmed clear just before the third file
  });
  Run(tree.Root());
  EXPECT_EQ(list.rows.size(), 4);
  EXPECT_EQ(Last(), "6 Files Added to List.");
}

TEST_F(AddFolder, AnUnreadableFolderKeepsWhatWasFoundAndRestoresThePointer) {
  tree.File("top.eml");
  tree.File("also.eml");
  const std::string root = tree.Root().toStdString();
  ASSERT_TRUE(testing::MakeDeepChain(root, testing::LevelsPastPathMax(root)));
  Run(tree.Root());
  testing::RemoveDeepChain(root);

  QStringList added = list.rows;
  added.sort();
  EXPECT_EQ(added, (QStringList{tree.QPath("also.eml"), tree.QPath("top.eml")}));
  EXPECT_EQ(desktop.PointerChanges(), (std::vector<int>{11, 0}));
  EXPECT_EQ(list.enabledWrites, std::vector<bool>{true});
  ASSERT_EQ(desktop.Boxes().size(), 2u);
  EXPECT_TRUE(desktop.Boxes()[0].text.startsWith("Could not read the folder " + tree.Root() + "/dddd"))
      << desktop.Boxes()[0].text.left(80).toStdString();
  EXPECT_EQ(desktop.Boxes()[0].style, 48);
  EXPECT_EQ(desktop.Boxes()[1].text, "2 Files Added to List.");
}

TEST_F(AddFolder, ErrorsAndClosingTheWindowLeaveNoBusyPointer) {
  tree.File("a.eml");
  tree.File("b.eml");
  desktop.QueueFolder(tree.Root());
  auto failing = [](const QString&) { throw VbError(7, "Out of memory"); };
  EXPECT_THROW(CmdAddFolder_Click(SourceCommandContext{desktop, nullptr, failing, list.Enabler()}),
               VbError);
  EXPECT_EQ(desktop.PointerChanges(), (std::vector<int>{11, 0}));

  // The window closed between two files: the command stops at once.
  const int before = desktop.DoEventsCount();
  desktop.SetDoEventsHook([&](int pumps) {
    if (pumps == before + 2) desktop.EndProgram(0);
  });
  desktop.QueueFolder(tree.Root());
  EXPECT_THROW(CmdAddFolder_Click(SourceCommandContext{desktop, nullptr, list.Adder(), list.Enabler()}),
               ProgramEnding);
  EXPECT_TRUE(list.rows.isEmpty());
  EXPECT_TRUE(desktop.Boxes().empty());
}

}  // namespace
}  // namespace verdaline

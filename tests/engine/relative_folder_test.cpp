// SPDX-License-Identifier: GPL-3.0-or-later
// Where each listed file goes in the store, and the folder list of a run.
#include <gtest/gtest.h>

#include "engine/folder_list.h"
#include "engine/relative_folder.h"
#include "platform/vb_error.h"

namespace verdaline {
namespace {

using Kind = RowPathError::Kind;

Kind KindOf(const QString& path, QChar sep) {
  try {
    GetRelativeFolder(path, sep);
  } catch (const RowPathError& e) {
    return e.kind();
  }
  ADD_FAILURE() << "no error for " << path.toStdString();
  return Kind::kEmpty;
}

TEST(GetRelativeFolder, LinuxPathsTakeEverythingBelowTheRoot) {
  EXPECT_EQ(GetRelativeFolder("/home/ann/Mail/Work/a.eml", u'/'), "home\\ann\\Mail\\Work");
  EXPECT_EQ(GetRelativeFolder("  /x/y.eml ", u'/'), "x");
  EXPECT_EQ(GetRelativeFolder("/x//y///z.eml", u'/'), "x\\y");  // doubled separators
  EXPECT_EQ(GetRelativeFolder("/Mail Archive/Inbox 2/m.eml", u'/'), "Mail Archive\\Inbox 2");
  // Tabs are not spaces: they stay part of the name.
  EXPECT_EQ(GetRelativeFolder("/\tx/y.eml", u'/'), "\tx");
  EXPECT_EQ(KindOf("/a.eml", u'/'), Kind::kInRoot);
  EXPECT_EQ(KindOf(" /a.eml", u'/'), Kind::kInRoot);
  EXPECT_EQ(KindOf("//a.eml", u'/'), Kind::kInRoot);
  EXPECT_EQ(KindOf("Mail/a.eml", u'/'), Kind::kNotFullPath);
  EXPECT_EQ(KindOf("C:\\Mail\\a.eml", u'/'), Kind::kNotFullPath);
  EXPECT_EQ(KindOf("", u'/'), Kind::kEmpty);
  EXPECT_EQ(KindOf("   ", u'/'), Kind::kEmpty);
}

TEST(GetRelativeFolder, WindowsPathsDropTheDrive) {
  EXPECT_EQ(GetRelativeFolder("C:\\Mail\\Work\\a.eml", u'\\'), "Mail\\Work");
  EXPECT_EQ(GetRelativeFolder(" D:\\x\\y.eml", u'\\'), "x");
  EXPECT_EQ(GetRelativeFolder("D:\\Mail\\y.eml", u'\\'), GetRelativeFolder("C:\\Mail\\x.eml", u'\\'));
  EXPECT_EQ(GetRelativeFolder("C:\\a\\b\\c\\d.eml", u'\\'), "a\\b\\c");
  EXPECT_EQ(KindOf("C:\\a.eml", u'\\'), Kind::kInRoot);
  EXPECT_EQ(KindOf("\\\\server\\share\\a.eml", u'\\'), Kind::kNotFullPath);
  EXPECT_EQ(KindOf("C:a.eml", u'\\'), Kind::kNotFullPath);
  EXPECT_EQ(KindOf("C:", u'\\'), Kind::kNotFullPath);
  // Under the Windows convention "/" is an ordinary character.
  EXPECT_EQ(GetRelativeFolder("C:\\a/b\\c.eml", u'\\'), "a/b");
}

TEST(BuildFolderList, AddsAncestorsSortsAndKeepsEachOnce) {
  // Rows C:\Mail\Work\a.eml, C:\Mail\b.eml, D:\Mail\Work\c.eml, C:\Other\Old\d.eml
  int yields = 0;
  auto list = BuildFolderList({"Mail\\Work", "Mail", "Mail\\Work", "Other\\Old"}, [&] { ++yields; });
  EXPECT_EQ(list, (std::vector<QString>{"Mail", "Mail\\Work", "Other", "Other\\Old"}));
  EXPECT_EQ(yields, 3);
}

TEST(BuildFolderList, ParentsComeBeforeChildrenAndLetterCaseCounts) {
  auto list = BuildFolderList({"a\\b\\c", "Mail", "mail", "Mail Archive", "Mail\\Inbox", "Z"}, [] {});
  EXPECT_EQ(list, (std::vector<QString>{"Mail", "Mail Archive", "Mail\\Inbox", "Z", "a", "a\\b", "a\\b\\c",
                                        "mail"}));
}

TEST(BuildFolderList, ManyDistinctFoldersBeyondSixteenBitPositions) {
  std::vector<QString> folders;
  for (int i = 0; i < 40000; ++i) folders.push_back(QStringLiteral("F%1\\G").arg(i % 20000, 5, 10, QLatin1Char('0')));
  auto list = BuildFolderList(folders, [] {});
  ASSERT_EQ(list.size(), 40000u);  // 20000 parents and 20000 children
  EXPECT_EQ(list.front(), "F00000");
  EXPECT_EQ(list[1], "F00000\\G");
  EXPECT_EQ(list.back(), "F19999\\G");
}

TEST(BuildFolderList, NoFolderAtAllIsAnError) {
  try {
    BuildFolderList({""}, [] {});
    FAIL();
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), err::kSubscriptOutOfRange);
  }
}

}  // namespace
}  // namespace verdaline

// SPDX-License-Identifier: GPL-3.0-or-later
// Folder lookup by path in the mail client's namespace, and the creation of
// a store's folder tree, over a fake writer.
#include <gtest/gtest.h>

#include "engine/open_mapi_folder.h"
#include "engine/relative_folder.h"
#include "engine/store_folders.h"
#include "mapi/fake_pst_writer.h"
#include "mapi/mapi_error.h"
#include "mapi/temp_dir.h"

namespace verdaline {
namespace {

class StoreFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session = mapi::CreateRDOSession({factory.Writer()});
    session->Logon();
    store = session->Stores().AddPSTStore(dir / "s.pst", 1, "Store : 1.2.26 3.4.05");
  }
  void TearDown() override { session->Logoff(); }
  const fake::Store& written() const { return *factory.stores.back(); }

  fake::Factory factory;
  testutil::TempDir dir;
  std::unique_ptr<mapi::RDOSession> session;
  std::unique_ptr<mapi::RDOStore> store;
};

TEST_F(StoreFoldersTest, OpenMapiFolderWalksAbsolutePaths) {
  auto a = store->IPMRootFolder()->Folders().Add("A", 6);
  a->Folders().Add("B", 6);
  EXPECT_EQ(OpenMAPIFolder("\\Store : 1.2.26 3.4.05\\A\\B")->Name(), "B");
  EXPECT_EQ(OpenMAPIFolder("\\Store : 1.2.26 3.4.05\\A\\")->Name(), "A");
  EXPECT_EQ(OpenMAPIFolder("\\Store : 1.2.26 3.4.05")->Name(), "Store : 1.2.26 3.4.05");
  EXPECT_EQ(OpenMAPIFolder("\\"), nullptr);
  EXPECT_THROW(OpenMAPIFolder("\\Store : 1.2.26 3.4.05\\A\\C"), mapi::MapiError);
  EXPECT_THROW(OpenMAPIFolder("\\Store : 1.2.26 3.4.05\\\\A"), mapi::MapiError);  // an empty name
  EXPECT_THROW(OpenMAPIFolder("\\\\Store : 1.2.26 3.4.05"), mapi::MapiError);
  // Without the leading separator the path is below the explorer's current
  // folder, and there is no explorer here.
  EXPECT_THROW(OpenMAPIFolder("Store : 1.2.26 3.4.05\\A"), mapi::MapiError);
  EXPECT_THROW(OpenMAPIFolder(""), mapi::MapiError);
}

TEST_F(StoreFoldersTest, CreatesParentsFirstAndYieldsPerFolder) {
  int yields = 0;
  auto failures = CreateStoreFolders(*session, store->EntryID(), "Store : 1.2.26 3.4.05",
                                     {"a", "a\\b", "a\\b\\c", "x"}, [&] { ++yields; });
  EXPECT_TRUE(failures.failures.empty());
  EXPECT_EQ(yields, 1 + 2 + 2 + 1);
  // The fake numbers folders in the order they were made.
  EXPECT_EQ(written().FolderPaths(), (std::vector<std::string>{"a", "a\\b", "a\\b\\c", "x"}));
}

TEST_F(StoreFoldersTest, AnExistingTopLevelFolderIsKeptAndCaseMakesAnotherFolder) {
  store->IPMRootFolder()->Folders().Add("Mail", 6);
  auto failures = CreateStoreFolders(*session, store->EntryID(), "Store : 1.2.26 3.4.05",
                                     {"Mail", "Mail\\Work", "mail"}, [] {});
  EXPECT_TRUE(failures.failures.empty());
  EXPECT_EQ(written().FolderPaths(), (std::vector<std::string>{"Mail", "Mail\\Work", "mail"}));
}

TEST_F(StoreFoldersTest, AFolderThatCannotBeMadeTakesItsChildrenAlongAndSaysWhy) {
  // A parent that is not in the list at all cannot be found.
  auto failures = CreateStoreFolders(*session, store->EntryID(), "Store : 1.2.26 3.4.05",
                                     {"p\\q", "p\\q\\r", "s"}, [] {});
  ASSERT_EQ(failures.failures.size(), 2u);
  EXPECT_TRUE(failures.failures.count("p\\q"));
  EXPECT_TRUE(failures.failures.count("p\\q\\r"));
  EXPECT_FALSE(FolderFailureFor(failures.failures, "p\\q\\r\\t").isEmpty());
  EXPECT_TRUE(FolderFailureFor(failures.failures, "s").isEmpty());
  EXPECT_EQ(written().FolderPaths(), (std::vector<std::string>{"s"}));
  // A wrong store identifier fails every top-level folder.
  auto none = CreateStoreFolders(*session, "00", "Store : 1.2.26 3.4.05", {"t"}, [] {});
  EXPECT_EQ(none.failures.size(), 1u);
}

// Names that show alike in the store ("b" with a byte that is not UTF-8,
// a "\\" shown as U+2216) still get a folder each: the first in the list
// keeps the name, the others are numbered, and children follow their parent.
TEST_F(StoreFoldersTest, SourceFoldersThatShowAlikeGetAFolderEach) {
  const QString bFE = QStringLiteral("b") + QChar(0xDCFE);
  const QString bFF = QStringLiteral("b") + QChar(0xDCFF);
  const QString aBackslashB = QStringLiteral("a") + kBackslashInName + u'b';
  const std::vector<QString> list{QStringLiteral("a\u2216b"), aBackslashB, "b?", bFE, bFF, bFF + "\\c"};
  auto tree = CreateStoreFolders(*session, store->EntryID(), "Store : 1.2.26 3.4.05", list, [] {});
  EXPECT_TRUE(tree.failures.empty());
  EXPECT_EQ(written().FolderPaths(),
            (std::vector<std::string>{"a\u2216b", "a\u2216b (2)", "b?", "b\uFFFD", "b\uFFFD (2)", "b\uFFFD (2)\\c"}));
  EXPECT_EQ(tree.StoredPath(aBackslashB), QStringLiteral("a\u2216b (2)"));
  EXPECT_EQ(tree.StoredPath(bFF + "\\c"), QStringLiteral("b\uFFFD (2)\\c"));
}

}  // namespace
}  // namespace verdaline

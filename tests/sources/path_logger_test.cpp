// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/path_logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_names.h"
#include "sources/deep_chain.h"
#include "sources/qt_print.h"
#include "sources/temp_tree.h"

namespace verdaline {
namespace {

using testing::ListInOrder;
using testing::TempTree;

QStringList Values(const PathList& list) { return QStringList(list.begin(), list.end()); }

QStringList Keys(const PathList& list) {
  QStringList keys;
  for (std::int64_t p = 1; p <= list.Count(); ++p) keys << list.KeyAt(p);
  return keys;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

struct Walk {
  std::shared_ptr<PathList> folders;
  std::shared_ptr<PathList> files;
  std::shared_ptr<PathList> names;
  std::shared_ptr<PositionList> pointers;
  std::int64_t count = 0;
};

Walk WalkTree(const QString& path, bool fullOnly = true) {
  pathLogger walker;
  walker.PathLogInit();
  walker.fullFileNamesOnly(fullOnly);
  walker.LogPath(path);
  Walk walk{walker.pathNames(), walker.fullFileNames(), walker.fileNames(), walker.pathPointers(),
            walker.Count()};
  walker.Terminate();
  return walk;
}

// R holds files a and b and folder S, which holds c.
TEST(PathLogger, CollectsFoldersAndFilesWithTheirKeys) {
  TempTree tree;
  ASSERT_TRUE(tree.ok());
  tree.File("a");
  tree.File("b");
  tree.File("S/c");
  const QString r = tree.Root() + u'/';
  const auto rootFiles = ListInOrder(tree.Path(""));  // the file system's own order of a and b

  for (bool fullOnly : {true, false}) {
    SCOPED_TRACE(fullOnly ? "full names only" : "names and pointers too");
    const Walk walk = WalkTree(tree.Root(), fullOnly);
    EXPECT_EQ(Values(*walk.folders), (QStringList{r, r + "S/"}));
    EXPECT_EQ(Keys(*walk.folders), (QStringList{"K0", "K2"}));
    const QStringList expected{r + Q(rootFiles.files[0]), r + Q(rootFiles.files[1]), r + "S/c"};
    EXPECT_EQ(Values(*walk.files), expected);
    EXPECT_EQ(Keys(*walk.files), (QStringList{"K1", "K2", "K3"}));
    EXPECT_EQ(walk.count, 4);
    if (fullOnly) {
      EXPECT_TRUE(walk.names->IsEmpty());
      EXPECT_TRUE(walk.pointers->IsEmpty());
    } else {
      EXPECT_EQ(Values(*walk.names), (QStringList{Q(rootFiles.files[0]), Q(rootFiles.files[1]), "c"}));
      EXPECT_EQ(Keys(*walk.names), (QStringList{"K1", "K2", "K3"}));
      ASSERT_EQ(walk.pointers->Count(), 3);
      EXPECT_EQ(walk.pointers->Item(1), 1);
      EXPECT_EQ(walk.pointers->Item(2), 1);
      EXPECT_EQ(walk.pointers->Item(QStringLiteral("k3")), 2);
    }
  }
}

// Levels 0..3, several folders per level, files at every level.
TEST(PathLogger, WalksBreadthFirstInTheFileSystemsOrder) {
  TempTree tree;
  ASSERT_TRUE(tree.ok());
  for (const char* f : {"r1", "r2", "x/x1", "x/y/y1", "x/y/z/z1.eml", "x/y/z/z2", "w/w1", "w/v/v1",
                        "w/v/u/u1", "w/empty/", "q/"}) {
    std::string rel = f;
    if (rel.back() == '/') tree.Folder(rel); else tree.File(rel);
  }
  const Walk walk = WalkTree(tree.Root(), false);
  const QString root = tree.Root() + u'/';

  // Reference: a queue over the file system's own listings.
  QStringList folders{root};
  QStringList files;
  for (qsizetype i = 0; i < folders.size(); ++i) {
    const auto listing = ListInOrder(folders[i].toStdString());
    for (const auto& sub : listing.folders) folders << folders[i] + Q(sub) + u'/';
    for (const auto& file : listing.files) files << folders[i] + Q(file);
  }
  EXPECT_EQ(Values(*walk.folders), folders);
  EXPECT_EQ(Values(*walk.files), files);
  EXPECT_EQ(walk.count, files.size() + 1);

  QStringList folderKeys{"K0"};
  for (qsizetype k = 2; k <= folders.size(); ++k) folderKeys << "K" + QString::number(k);
  EXPECT_EQ(Keys(*walk.folders), folderKeys);
  EXPECT_FALSE(walk.folders->ContainsKey("K1"));

  // Depth never decreases along the file list; the three-levels-down file
  // comes after every file above it.
  int lastDepth = 0;
  for (const QString& f : Values(*walk.files)) {
    const int depth = static_cast<int>(f.mid(root.size()).count(u'/'));
    EXPECT_GE(depth, lastDepth) << f.toStdString();
    lastDepth = depth;
  }
  EXPECT_EQ(lastDepth, 3);
  // Every file's pointer names its own folder.
  for (std::int64_t n = 1; n <= walk.files->Count(); ++n) {
    const QString folder = walk.folders->Item(walk.pointers->Item(n));
    EXPECT_EQ(folder + walk.names->Item(n), walk.files->Item(n));
  }
}

TEST(PathLogger, EmptyFolderAndTrailingSeparator) {
  TempTree tree;
  ASSERT_TRUE(tree.ok());
  const Walk empty = WalkTree(tree.Root());
  EXPECT_EQ(Values(*empty.folders), QStringList{tree.Root() + u'/'});
  EXPECT_EQ(empty.folders->KeyAt(1), "K0");
  EXPECT_TRUE(empty.files->IsEmpty());
  EXPECT_EQ(empty.count, 1);

  tree.File("m/a.eml");
  tree.File("m/n/b.eml");
  const Walk plain = WalkTree(tree.Root());
  const Walk slashed = WalkTree(tree.Root() + u'/');
  EXPECT_EQ(Values(*plain.folders), Values(*slashed.folders));
  EXPECT_EQ(Values(*plain.files), Values(*slashed.files));
  EXPECT_EQ(Keys(*plain.files), Keys(*slashed.files));
  EXPECT_EQ(plain.files->Count(), 2);
}

TEST(PathLogger, MissingPathOrFileCollectsNothing) {
  TempTree tree;
  ASSERT_TRUE(tree.ok());
  tree.File("only.eml");

  pathLogger fresh;
  EXPECT_TRUE(fresh.fullFileNames()->IsEmpty());  // read before any walk
  fresh.PathLogInit();
  fresh.LogPath(tree.QPath("nowhere"));
  EXPECT_EQ(fresh.Count(), 0);
  EXPECT_TRUE(fresh.pathNames()->IsEmpty());

  // Count keeps the value of an earlier walk; PathLogInit does not reset it.
  pathLogger walker;
  walker.PathLogInit();
  walker.LogPath(tree.Root());
  EXPECT_EQ(walker.Count(), 2);
  for (const QString& bad : {tree.QPath("only.eml"), tree.QPath("nowhere"), QString()}) {
    walker.PathLogInit();
    walker.LogPath(bad);
    EXPECT_EQ(walker.Count(), 2);
    EXPECT_TRUE(walker.pathNames()->IsEmpty());
    EXPECT_TRUE(walker.fullFileNames()->IsEmpty());
  }
}

TEST(PathLogger, ListsOutliveTheWalkerAndOneWalkPerPreparation) {
  TempTree tree;
  ASSERT_TRUE(tree.ok());
  tree.File("a.eml");
  std::shared_ptr<PathList> kept;
  {
    pathLogger walker;
    walker.PathLogInit();
    EXPECT_TRUE(walker.fullFileNamesOnly());
    walker.LogPath(tree.Root());
    kept = walker.fullFileNames();
    walker.Terminate();
    EXPECT_TRUE(walker.fullFileNames()->IsEmpty());  // the walker's own hold is gone

    try {
      walker.LogPath(tree.Root());
      ADD_FAILURE() << "walked without a file-system object";
    } catch (const VbError& e) {
      EXPECT_EQ(e.number(), 91);
    }
  }
  EXPECT_EQ(Values(*kept), QStringList{tree.QPath("a.eml")});

  pathLogger twice;
  twice.PathLogInit();
  twice.LogPath(tree.Root());
  try {
    twice.LogPath(tree.Root());
    ADD_FAILURE() << "second walk without preparation";
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), 457);
  }
  EXPECT_EQ(twice.Count(), 1);
  EXPECT_EQ(twice.pathNames()->Count(), 1);
}

TEST(PathLogger, LinksAreListedButNotFollowed) {
  TempTree tree;
  ASSERT_TRUE(tree.ok());
  tree.File("a/m.eml");
  tree.File("a/b/n.eml");
  std::filesystem::create_directory_symlink(tree.Path(""), tree.Path("a/b/up"));  // back to the root
  std::filesystem::create_symlink(tree.Path("a/m.eml"), tree.Path("a/alias.eml"));
  std::filesystem::create_symlink(tree.Path("gone"), tree.Path("dangling.eml"));

  const Walk walk = WalkTree(tree.Root());
  const QString r = tree.Root() + u'/';
  const QStringList folders = Values(*walk.folders);
  EXPECT_TRUE(folders.contains(r + "a/b/up/"));
  EXPECT_FALSE(folders.contains(r + "a/b/up/a/"));
  EXPECT_EQ(folders.size(), 4);  // r, a, a/b, a/b/up

  QStringList files = Values(*walk.files);
  files.sort();
  EXPECT_EQ(files, (QStringList{r + "a/alias.eml", r + "a/b/n.eml", r + "a/m.eml", r + "dangling.eml"}));
}

TEST(PathLogger, NamesAreTakenAsTheyAre) {
  TempTree tree;
  ASSERT_TRUE(tree.ok());
  tree.File("back\\slash.eml");           // an ordinary character on Linux
  tree.File("Zoë/\xF0\x9F\x93\xA7 ü.EML");  // UTF-8 names
  const Walk walk = WalkTree(tree.Root());
  QStringList files = Values(*walk.files);
  files.sort();
  const QString r = tree.Root() + u'/';
  EXPECT_EQ(files, (QStringList{r + QString::fromUtf8("Zoë/\xF0\x9F\x93\xA7 ü.EML"), r + "back\\slash.eml"}));
}

// The folder that cannot be read is skipped and named with its error number;
// the walk goes on past it, so the file `later` (in a folder read after the
// bad one) is collected too.
void ExpectSkips(const QString& root, const QString& badFolder, int number, const QString& later) {
  pathLogger walker;
  walker.PathLogInit();
  walker.LogPath(root);
  ASSERT_EQ(walker.skippedFolders().size(), 1u);
  const FolderReadError& e = walker.skippedFolders()[0];
  EXPECT_EQ(e.number(), number);
  EXPECT_EQ(e.folder(), badFolder);
  EXPECT_TRUE(Values(*walker.fullFileNames()).contains(later));
  EXPECT_TRUE(Values(*walker.pathNames()).contains(badFolder));
}

TEST(PathLogger, AFolderThatCannotBeListedIsSkippedAndTheWalkGoesOn) {
  TempTree tree;
  ASSERT_TRUE(tree.ok());
  tree.File("top.eml");
  tree.File("locked/inside.eml");
  tree.File("z/deeper/after.eml");
  ::chmod(tree.Path("locked").c_str(), 0);
  DIR* probe = ::opendir(tree.Path("locked").c_str());
  const bool blocked = probe == nullptr;
  if (probe != nullptr) ::closedir(probe);
  if (blocked) ExpectSkips(tree.Root(), tree.Root() + "/locked/", 70, tree.QPath("z/deeper/after.eml"));
  ::chmod(tree.Path("locked").c_str(), 0755);
  if (!blocked) GTEST_SKIP() << "running with rights that read any folder; see the deep-path case";
}

TEST(PathLogger, AFolderPastTheLongestPathIsSkippedAndTheWalkGoesOn) {
  TempTree tree;
  ASSERT_TRUE(tree.ok());
  const std::string root = tree.Root().toStdString();
  const int levels = testing::LevelsPastPathMax(root);
  ASSERT_TRUE(testing::MakeDeepChain(root, levels));
  // A short branch deeper than the whole chain: read after the bad folder.
  std::string branch;
  for (int i = 0; i <= levels; ++i) branch += "s/";
  tree.File(branch + "deep.eml");

  // The first folder whose path no longer fits.
  QString bad = tree.Root() + u'/';
  while (bad.toUtf8().size() < PATH_MAX) bad += QString::fromStdString(testing::kChainSegment) + u'/';
  ExpectSkips(tree.Root(), bad, 75, tree.QPath(branch + "deep.eml"));
  testing::RemoveDeepChain(root);
}

// Names travel as the system's bytes: a folder and a file whose names are
// not UTF-8 are listed, their paths give back the very bytes, and the
// walk reads what lies inside and beside them.
TEST(PathLogger, NamesThatAreNotUtf8RoundTrip) {
  TempTree tree;
  ASSERT_TRUE(tree.ok());
  tree.File("bad\xFF\xFE dir/in\xE9.eml");
  tree.File("bad\xFF\xFE dir/sub/x.eml");
  tree.File("ok/y.eml");
  pathLogger walker;
  walker.PathLogInit();
  walker.LogPath(tree.Root());
  EXPECT_TRUE(walker.skippedFolders().empty());
  std::set<std::string> bytes;
  for (const QString& p : *walker.fullFileNames()) {
    const QByteArray b = EncodeFileName(p);
    bytes.insert(b.toStdString());
    EXPECT_EQ(::access(b.constData(), R_OK), 0) << ReadableFileName(p).toStdString();
  }
  const std::string r = tree.Root().toStdString() + "/";
  EXPECT_EQ(bytes, (std::set<std::string>{r + "bad\xFF\xFE dir/in\xE9.eml", r + "bad\xFF\xFE dir/sub/x.eml",
                                          r + "ok/y.eml"}));
  EXPECT_TRUE(Values(*walker.fullFileNames()).contains(tree.Root() + "/ok/y.eml"));
  EXPECT_TRUE(ReadableFileName(Values(*walker.fullFileNames()).join(u'|')).contains("bad\\xFF\\xFE dir/in\\xE9.eml"));
}

// Every byte string survives the trip through the text, valid UTF-8 or not.
TEST(FileNames, EveryByteStringRoundTrips) {
  const std::vector<QByteArray> samples = {
      "plain", "Zo\xC3\xAB", "\xF0\x9F\x93\xA7", "\xFF", "\xC3", "\xE0\x80\x80", "\xED\xA0\x80",
      "\xF4\x90\x80\x80", "a\xC3\xAB" "b\x80" "c", QByteArray("\x00\x01", 2)};
  for (const QByteArray& b : samples) EXPECT_EQ(EncodeFileName(DecodeFileName(b)), b) << b.toHex().toStdString();
  EXPECT_EQ(DecodeFileName("Zo\xC3\xAB"), QString::fromUtf8("Zo\xC3\xAB"));
  EXPECT_EQ(ReadableFileName(DecodeFileName("a\xFF" "b")), "a\\xFFb");
  for (int i = 0; i < 2000; ++i) {
    QByteArray b;
    for (int k = 0; k < 1 + i % 9; ++k) b.append(static_cast<char>((i * 37 + k * 101) & 0xFF));
    ASSERT_EQ(EncodeFileName(DecodeFileName(b)), b) << b.toHex().toStdString();
  }
}

TEST(KeyedList, PositionsFromOneAndCaseBlindUniqueKeys) {
  PathList list;
  list.Add(QStringLiteral("first"), QStringLiteral("K1"));
  list.Add(QStringLiteral("no key"));
  list.Add(QStringLiteral("third"), QString::fromUtf8("Ärger"));
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Item(1), "first");
  EXPECT_EQ(list.Item(3), "third");
  EXPECT_EQ(list.Item(QStringLiteral("k1")), "first");
  EXPECT_EQ(list.Item(QString::fromUtf8("äRGER")), "third");
  EXPECT_EQ(list.KeyAt(2), QString());

  auto expectError = [](int number, auto&& action) {
    try {
      action();
      ADD_FAILURE() << "expected error " << number;
    } catch (const VbError& e) {
      EXPECT_EQ(e.number(), number);
    }
  };
  expectError(457, [&] { list.Add(QStringLiteral("again"), QStringLiteral("k1")); });
  EXPECT_EQ(list.Count(), 3);  // nothing added
  expectError(9, [&] { list.Item(0); });
  expectError(9, [&] { list.Item(4); });
  expectError(5, [&] { list.Item(QStringLiteral("K9")); });
}

}  // namespace
}  // namespace verdaline

// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry.h"

#include <gtest/gtest.h>

#include "sources/qt_print.h"

#include <functional>
#include <stdexcept>

#include "platform/platform.h"
#include "platform/vb_error.h"

namespace verdaline {
namespace {

// Answers the folder dialog with a fixed text (or a failure); nothing else
// is expected of it here.
class FolderAnswer : public Platform {
 public:
  explicit FolderAnswer(std::function<QString()> answer) : answer_(std::move(answer)) {}
  int MsgBox(const QString&, int, const QString&) override { throw std::logic_error("no box expected"); }
  QString ShowOpen(QWidget*, const OpenFileRequest&) override { throw std::logic_error("no open dialog expected"); }
  QString ChooseFolder(QWidget* owner, const QString& title) override {
    seenOwner = owner;
    seenTitle = title;
    return answer_();
  }
  void DoEvents() override {}
  void SetMousePointer(int) override {}

  QWidget* seenOwner = nullptr;
  QString seenTitle;

 private:
  std::function<QString()> answer_;
};

QString Browse(const QString& answer, QChar sep = u'/') {
  FolderAnswer platform([answer] { return answer; });
  return BrowseForFolder(platform, nullptr, QStringLiteral("t"), sep);
}

TEST(BrowseForFolder, TidiesWhatTheDialogGives) {
  EXPECT_EQ(Browse(QString()), QString());                      // cancel
  EXPECT_EQ(Browse(QStringLiteral("/")), QStringLiteral("/"));  // the root keeps its separator
  EXPECT_EQ(Browse(QStringLiteral("//")), QStringLiteral("/"));
  EXPECT_EQ(Browse(QStringLiteral("/home/ann/Mail")), QStringLiteral("/home/ann/Mail"));
  EXPECT_EQ(Browse(QStringLiteral("/home/ann/Mail/")), QStringLiteral("/home/ann/Mail"));
  EXPECT_EQ(Browse(QStringLiteral("/home/ann/Mail//")), QStringLiteral("/home/ann/Mail"));
  // A "\" is part of a Linux name, not a separator.
  EXPECT_EQ(Browse(QStringLiteral("/srv/a\\")), QStringLiteral("/srv/a\\"));
}

TEST(BrowseForFolder, KeepsUnicodeNamesIntact) {
  const QString name = QString::fromUtf8("/home/Zoë/Пошта/邮件/\xF0\x9F\x93\xA7 Ärger");
  EXPECT_EQ(Browse(name), name);
  EXPECT_EQ(Browse(name + u'/'), name);
}

TEST(BrowseForFolder, APaddedBufferEndsAtTheFirstNul) {
  QString padded = QStringLiteral("/data/mail");
  padded.append(QString(250, QChar(u'\0')));
  EXPECT_EQ(Browse(padded), QStringLiteral("/data/mail"));
  // The desktop gave no path for the chosen item.
  EXPECT_EQ(Browse(QString(260, QChar(u'\0'))), QString());
}

TEST(BrowseForFolder, WindowsConventionKeepsDriveRoots) {
  EXPECT_EQ(Browse(QStringLiteral("C:\\"), u'\\'), QStringLiteral("C:\\"));
  EXPECT_EQ(Browse(QStringLiteral("C:\\Mail\\Work\\"), u'\\'), QStringLiteral("C:\\Mail\\Work"));
  EXPECT_EQ(Browse(QStringLiteral("C:\\Mail"), u'\\'), QStringLiteral("C:\\Mail"));
  EXPECT_EQ(Browse(QStringLiteral("\\\\server\\share\\"), u'\\'), QStringLiteral("\\\\server\\share"));
  // "/" is an ordinary character under that convention.
  EXPECT_EQ(Browse(QStringLiteral("C:\\a/"), u'\\'), QStringLiteral("C:\\a/"));
}

TEST(BrowseForFolder, NeverThrowsAndPassesOwnerAndTitle) {
  FolderAnswer failing([]() -> QString { throw VbError(5, "Invalid procedure call or argument"); });
  EXPECT_EQ(BrowseForFolder(failing, nullptr, QStringLiteral("Choose Source Folder...")), QString());
  EXPECT_EQ(failing.seenTitle, QStringLiteral("Choose Source Folder..."));

  FolderAnswer odd([]() -> QString { throw 42; });
  EXPECT_EQ(BrowseForFolder(odd, nullptr, QStringLiteral("x")), QString());
}

TEST(GetFolderPart, CutsAfterTheLastSeparator) {
  struct Case {
    const char* path;
    QChar sep;
    const char* folder;
  };
  const Case cases[] = {
      {"C:\\Mail\\Inbox\\a.eml", u'\\', "C:\\Mail\\Inbox\\"},
      {"a.eml", u'\\', ""},
      {"C:\\Mail\\", u'\\', "C:\\Mail\\"},
      {"\\", u'\\', "\\"},
      {"C:/Mail/Inbox/a.eml", u'\\', ""},
      {"/home/ann/Mail/a.eml", u'/', "/home/ann/Mail/"},
      {"/home/ann/Mail/", u'/', "/home/ann/Mail/"},
      {"/a.eml", u'/', "/"},
      {"/", u'/', "/"},
      {"a.eml", u'/', ""},
      {"/srv/odd\\name.eml", u'/', "/srv/"},
      {"dir\\sub\\a.eml", u'/', ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetFolderPart(QString::fromUtf8(c.path), c.sep), QString::fromUtf8(c.folder))
        << c.path << " with " << QString(c.sep).toStdString();
  }
  const QString unicode = QString::fromUtf8("/home/Zoë/\xF0\x9F\x93\xA7/ü.eml");
  EXPECT_EQ(GetFolderPart(unicode), QString::fromUtf8("/home/Zoë/\xF0\x9F\x93\xA7/"));
}

TEST(GetFolderPart, EmptyPathIsSubscriptOutOfRange) {
  for (QChar sep : {QChar(u'/'), QChar(u'\\')}) {
    try {
      GetFolderPart(QString(), sep);
      ADD_FAILURE() << "no error";
    } catch (const VbError& e) {
      EXPECT_EQ(e.number(), 9);
    }
  }
}

TEST(PathSeparator, TrailingSeparatorHelpers) {
  EXPECT_EQ(WithTrailingSeparator(QStringLiteral("/"), u'/'), QStringLiteral("/"));
  EXPECT_EQ(WithTrailingSeparator(QStringLiteral("/a"), u'/'), QStringLiteral("/a/"));
  EXPECT_EQ(WithTrailingSeparator(QString(), u'/'), QStringLiteral("/"));
  EXPECT_EQ(WithTrailingSeparator(QStringLiteral("D:\\"), u'\\'), QStringLiteral("D:\\"));
#ifndef _WIN32
  EXPECT_EQ(kPathSeparator, QChar(u'/'));
#endif
}

}  // namespace
}  // namespace verdaline

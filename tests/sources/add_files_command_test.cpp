// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "sources/qt_print.h"

#include "platform/common_dialog.h"
#include "platform/scripted_platform.h"
#include "platform/vb_error.h"
#include "sources/list_probe.h"
#include "sources/source_commands.h"

namespace verdaline {
namespace {

using testing::ListProbe;

class AddFiles : public ::testing::Test {
 protected:
  void Run(QChar sep = u'/') {
    SourceCommandContext context{desktop, nullptr, list.Adder(), list.Enabler()};
    context.separator = sep;
    cmdAdd_Click(context, cdlgFile);
  }
  static QString Nul(std::initializer_list<const char*> parts) {
    QStringList list;
    for (const char* p : parts) list << QString::fromUtf8(p);
    return list.join(QChar(u'\0'));
  }

  ScriptedPlatform desktop;
  CommonDialog cdlgFile{desktop, nullptr};
  ListProbe list;
};

TEST_F(AddFiles, SetsUpTheDialogAndCancelChangesNothing) {
  cdlgFile.SetFileName(QStringLiteral("/left/over/from/before.eml"));
  desktop.QueueOpenResult(QString());
  Run();
  ASSERT_EQ(desktop.OpenCalls().size(), 1u);
  const OpenFileRequest& request = desktop.OpenCalls()[0].request;
  EXPECT_EQ(request.fileName, QString());
  EXPECT_EQ(request.filter, "Email Messages (*.eml)|*.eml");
  EXPECT_EQ(request.flags, 0x80200);
  EXPECT_EQ(request.maxFileSize, 1000);
  EXPECT_TRUE(list.rows.isEmpty());
  EXPECT_TRUE(list.enabledWrites.empty());
  EXPECT_TRUE(desktop.Boxes().empty());
}

TEST_F(AddFiles, OneFileOrSeveralInAFolder) {
  desktop.QueueOpenResult("/home/ann/Mail/a.eml");
  Run();
  EXPECT_EQ(list.rows, QStringList{"/home/ann/Mail/a.eml"});
  EXPECT_EQ(list.enabledWrites, std::vector<bool>{true});

  desktop.QueueOpenResult(Nul({"/home/ann/Mail", "c.eml", "a.eml", "b.eml"}));
  Run();
  EXPECT_EQ(list.rows, (QStringList{"/home/ann/Mail/a.eml", "/home/ann/Mail/c.eml",
                                    "/home/ann/Mail/a.eml", "/home/ann/Mail/b.eml"}));

  // A result that already ends with NUL, and files at the root.
  desktop.QueueOpenResult(Nul({"/", "x.eml", "y.eml", ""}));
  Run();
  EXPECT_EQ(list.rows.mid(4), (QStringList{"/x.eml", "/y.eml"}));
  EXPECT_EQ(list.enabledWrites, (std::vector<bool>{true, true, true}));
  EXPECT_TRUE(desktop.Boxes().empty());
}

TEST_F(AddFiles, NamesAreAddedAsTheDialogGivesThem) {
  // Typed names that do not exist, a "\" inside a Linux name, Unicode names.
  desktop.QueueOpenResult(
      Nul({"/no/such/folder", "typed name.eml", "odd\\name.eml", "Zoë \xF0\x9F\x93\xA7.eml"}));
  Run();
  EXPECT_EQ(list.rows, (QStringList{"/no/such/folder/typed name.eml", "/no/such/folder/odd\\name.eml",
                                    QString::fromUtf8("/no/such/folder/Zoë \xF0\x9F\x93\xA7.eml")}));
  // Empty names in a selection name no file and add no blank row.
  desktop.QueueOpenResult(Nul({"/m", "", "a.eml"}));
  Run();
  EXPECT_EQ(list.rows.back(), "/m/a.eml");
  EXPECT_EQ(list.rows.size(), 4);
}

TEST_F(AddFiles, WindowsConventionJoinsWithoutDoubledSeparators) {
  desktop.QueueOpenResult(Nul({"D:\\", "a.eml", "b.eml"}));
  Run(u'\\');
  desktop.QueueOpenResult(Nul({"C:\\Mail", "c.eml", "d.eml"}));
  Run(u'\\');
  desktop.QueueOpenResult("C:\\Mail\\e.eml");
  Run(u'\\');
  EXPECT_EQ(list.rows, (QStringList{"D:\\a.eml", "D:\\b.eml", "C:\\Mail\\c.eml", "C:\\Mail\\d.eml",
                                    "C:\\Mail\\e.eml"}));
}

TEST_F(AddFiles, ErrorsEndTheCommandWithAMessage) {
  desktop.QueueOpenError(VbError(20476, "Buffer too small"));
  Run();
  ASSERT_EQ(desktop.Boxes().size(), 1u);
  EXPECT_EQ(desktop.Boxes()[0].text, "Please select only 3 files at a time");
  EXPECT_EQ(desktop.Boxes()[0].style, 48);
  EXPECT_EQ(desktop.Boxes()[0].title, "Verdaline");
  EXPECT_TRUE(list.enabledWrites.empty());
  EXPECT_TRUE(list.rows.isEmpty());

  // A failure while adding: rows before it stay, the button stays enabled.
  desktop.QueueOpenResult(Nul({"/m", "a.eml", "b.eml", "c.eml"}));
  int calls = 0;
  SourceCommandContext context{desktop, nullptr,
                               [&](const QString& path) {
                                 if (++calls == 2) throw VbError(7, "Out of memory");
                                 list.rows << path;
                               },
                               list.Enabler()};
  cmdAdd_Click(context, cdlgFile);
  EXPECT_EQ(list.rows, QStringList{"/m/a.eml"});
  EXPECT_EQ(list.enabledWrites, std::vector<bool>{true});
  ASSERT_EQ(desktop.Boxes().size(), 2u);
  EXPECT_EQ(desktop.Boxes()[1].text, "7:Out of memory");
  EXPECT_EQ(desktop.Boxes()[1].style, 48);
  EXPECT_EQ(desktop.Boxes()[1].title, "Verdaline");
}

}  // namespace
}  // namespace verdaline

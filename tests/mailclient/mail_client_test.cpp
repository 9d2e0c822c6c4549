// SPDX-License-Identifier: GPL-3.0-or-later
// The mail client's object model sees the stores of the process's profile.
#include <gtest/gtest.h>

#include "mailclient/mail_client.h"
#include "mapi/fake_pst_writer.h"
#include "mapi/mapi_error.h"
#include "mapi/rdo_session.h"
#include "mapi/temp_dir.h"

namespace {

class MailClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session = mapi::CreateRDOSession({factory.Writer()});
    session->Logon();
    store = session->Stores().AddPSTStore(dir / "a.pst", 1, "Messages : Created - 1.2.26 3.4.05");
  }
  void TearDown() override { session->Logoff(); }

  fake::Factory factory;
  testutil::TempDir dir;
  std::unique_ptr<mapi::RDOSession> session;
  std::unique_ptr<mapi::RDOStore> store;
};

TEST_F(MailClientTest, NamespaceFoldersAreTheStoresByDisplayName) {
  auto app = mailclient::CreateApplication();
  auto ns = app->GetNamespace("MAPI");
  EXPECT_EQ(ns->Folders().Count(), mapi::Profile::Default().Stores().size());
  auto top = ns->Folders().Item("Messages : Created - 1.2.26 3.4.05");
  EXPECT_EQ(top->Name(), "Messages : Created - 1.2.26 3.4.05");
  EXPECT_THROW(ns->Folders().Item("messages : created - 1.2.26 3.4.05"), mapi::MapiError);
  EXPECT_THROW(ns->Folders().Add("New store", 6), mapi::MapiError);
  EXPECT_THROW(app->GetNamespace("IMAP"), mapi::MapiError);
}

TEST_F(MailClientTest, FoldersAddedHereAreSeenByTheMailLibraryAndBack) {
  auto app = mailclient::CreateApplication();
  auto top = app->GetNamespace("MAPI")->Folders().Item("Messages : Created - 1.2.26 3.4.05");
  store->IPMRootFolder()->Folders().Add("Mail", 6);
  auto mail = top->Folders().Item("Mail");
  auto work = mail->Folders().Add("Work", 6);
  EXPECT_EQ(work->Name(), "Work");
  EXPECT_EQ(session->GetFolderFromPath("\\\\Messages : Created - 1.2.26 3.4.05\\Mail\\Work")->EntryID(),
            work->EntryID());
  EXPECT_THROW(mail->Folders().Add("Work", 6), mapi::MapiError);
  EXPECT_THROW(mail->Folders().Item("Home"), mapi::MapiError);
  EXPECT_EQ(mail->Folders().Count(), 1u);
}

TEST_F(MailClientTest, ThereIsNoExplorerWindow) {
  auto app = mailclient::CreateApplication();
  EXPECT_THROW(app->ActiveExplorer(), mapi::MapiError);
}

TEST_F(MailClientTest, AStoreClosedByLogoffDisappearsFromTheNamespace) {
  auto other = mapi::CreateRDOSession({factory.Writer()});
  other->Logon();
  other->Stores().AddPSTStore(dir / "b.pst", 1, "Short lived");
  auto app = mailclient::CreateApplication();
  EXPECT_NO_THROW(app->GetNamespace("MAPI")->Folders().Item("Short lived"));
  other->Logoff();
  EXPECT_THROW(app->GetNamespace("MAPI")->Folders().Item("Short lived"), mapi::MapiError);
}

}  // namespace

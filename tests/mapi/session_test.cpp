// SPDX-License-Identifier: GPL-3.0-or-later
// The mail library over a fake writer: sessions, stores, folders, lookup by
// path, items and Logoff.
#include <gtest/gtest.h>

#include <filesystem>

#include "mapi/fake_pst_writer.h"
#include "mapi/temp_dir.h"
#include "mapi/mapi_error.h"
#include "mapi/rdo_mail.h"
#include "mapi/rdo_session.h"
#include "pst/prop_tags.h"
#include "pst/pst_writer.h"

namespace {

using mapi::MapiError;

class MapiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session = mapi::CreateRDOSession(
        {factory.Writer(), [this](const std::string& path, pst::Message& out) { importer(path, out); }});
    session->Logon();
  }
  void TearDown() override {
    if (session->LoggedOn()) session->Logoff();
  }
  std::unique_ptr<mapi::RDOStore> AddStore(const std::string& file, const std::string& name) {
    return session->Stores().AddPSTStore(dir / file, mapi::kStoreUnicode, name);
  }
  uint32_t HrOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const MapiError& e) {
      return e.hresult();
    }
    return 0;
  }

  fake::Factory factory;
  mapi::MessageImporter importer = mapi::ImporterOrDefault({});  // what the session's items import with
  testutil::TempDir dir;
  std::unique_ptr<mapi::RDOSession> session;
};

TEST_F(MapiTest, StoresNeedALoggedOnSession) {
  auto other = mapi::CreateRDOSession({factory.Writer()});
  EXPECT_EQ(HrOf([&] { other->Stores(); }), mapi::hr::kNotInitialized);
  EXPECT_EQ(HrOf([&] { other->GetFolderFromPath("\\\\x"); }), mapi::hr::kNotInitialized);
}

TEST_F(MapiTest, AddPstStoreCreatesAttachesAndNeverOverwrites) {
  auto store = AddStore("a.pst", "Store A");
  EXPECT_TRUE(std::filesystem::exists(dir / "a.pst"));
  EXPECT_EQ(store->Name(), "Store A");
  ASSERT_EQ(factory.stores.size(), 1u);
  EXPECT_EQ(factory.stores[0]->displayName, "Store A");
  EXPECT_NE(mapi::Profile::Default().FindByDisplayName("Store A"), nullptr);

  // Found again by its identifier, in either letter case of the hex digits.
  auto again = session->Stores().GetStoreFromID(store->EntryID());
  EXPECT_EQ(again->Name(), "Store A");
  std::string lower = store->EntryID();
  for (auto& c : lower) c = static_cast<char>(std::tolower(c));
  EXPECT_EQ(session->Stores().GetStoreFromID(lower)->Name(), "Store A");
  EXPECT_EQ(HrOf([&] { session->Stores().GetStoreFromID("00"); }), mapi::hr::kNotFound);

  // An existing path is refused and left alone.
  EXPECT_EQ(HrOf([&] { AddStore("a.pst", "Again"); }), mapi::hr::kCollision);
  EXPECT_EQ(factory.stores.size(), 1u);
  // Only the Unicode format; a missing folder says so.
  EXPECT_EQ(HrOf([&] { session->Stores().AddPSTStore(dir / "b.pst", 2, "B"); }), mapi::hr::kNoSupport);
  try {
    AddStore("missing/c.pst", "C");
    FAIL();
  } catch (const MapiError& e) {
    EXPECT_NE(std::string(e.what()).find("does not exist"), std::string::npos) << e.what();
  }
}

TEST_F(MapiTest, WriterFailureBecomesAnErrorWithTheCause) {
  factory.fail = true;
  try {
    AddStore("a.pst", "A");
    FAIL();
  } catch (const MapiError& e) {
    EXPECT_NE(std::string(e.what()).find("Permission denied"), std::string::npos) << e.what();
  }
  EXPECT_EQ(mapi::Profile::Default().FindByDisplayName("A"), nullptr);
}

// Creation errors keep their cause: a name taken (even by a link that
// points nowhere, even between the look and the creation) is a collision,
// which a caller may answer with the next name; a full disk is a disk error.
TEST(MapiCreation, ATakenNameIsACollisionWhateverTookItAndWhenever) {
  testutil::TempDir dir;
  std::string thrown;
  auto session = mapi::CreateRDOSession({[&](const std::string& path, const std::string&) -> std::unique_ptr<pst::PstWriter> {
    if (thrown == "exists") throw pst::PstExistsError("The file already exists: " + path);
    if (thrown == "disk") throw pst::PstWriteError("No space left on device");
    return pst::PstWriter::Create(path, "S");
  }});
  session->Logon();
  auto hr = [&](const std::string& file) -> uint32_t {
    try {
      session->Stores().AddPSTStore(dir / file, mapi::kStoreUnicode, file);
    } catch (const MapiError& e) {
      return e.hresult();
    }
    return 0;
  };
  std::filesystem::create_symlink(dir / "nowhere", dir / "dangling.pst");
  EXPECT_EQ(hr("dangling.pst"), mapi::hr::kCollision);
  EXPECT_FALSE(std::filesystem::exists(dir / "nowhere"));
  thrown = "exists";
  EXPECT_EQ(hr("raced.pst"), mapi::hr::kCollision);
  thrown = "disk";
  EXPECT_EQ(hr("full.pst"), mapi::hr::kDiskError);
  session->Logoff();
}

TEST_F(MapiTest, FoldersAreAddedEnumeratedAndFoundByExactName) {
  auto store = AddStore("a.pst", "S");
  auto root = store->IPMRootFolder();
  auto top = root->Folders();
  EXPECT_EQ(top.Count(), 0u);
  auto mail = top.Add("Mail", mapi::kFolderTypeMail);
  top.Add("mail", mapi::kFolderTypeMail);  // letter case makes another folder
  mail->Folders().Add("Work", mapi::kFolderTypeMail);
  ASSERT_EQ(top.Count(), 2u);
  EXPECT_EQ(top.Item(size_t{1})->Name(), "Mail");
  EXPECT_EQ(top.Item(size_t{2})->Name(), "mail");
  EXPECT_EQ(HrOf([&] { top.Item(size_t{3}); }), mapi::hr::kNotFound);
  EXPECT_EQ(top.Item("Mail")->Folders().Item("Work")->Name(), "Work");
  EXPECT_EQ(HrOf([&] { top.Item("MAIL"); }), mapi::hr::kNotFound);
  EXPECT_EQ(HrOf([&] { top.Add("Mail", 6); }), mapi::hr::kCollision);
  EXPECT_EQ(HrOf([&] { top.Add("", 6); }), mapi::hr::kInvalidParameter);
  EXPECT_EQ(HrOf([&] { top.Add("a\\b", 6); }), mapi::hr::kInvalidParameter);
  EXPECT_EQ(HrOf([&] { top.Add("x", 99); }), mapi::hr::kInvalidParameter);
  EXPECT_EQ(factory.stores[0]->folders.size(), 3u);
  EXPECT_EQ(factory.stores[0]->folders.begin()->second.containerClass, "IPF.Note");
}

TEST_F(MapiTest, GetFolderFromPathWalksFromTheStoresTop) {
  auto store = AddStore("a.pst", "Outlook Express Messages : Created - 6.12.26 7.5.03");
  auto mail = store->IPMRootFolder()->Folders().Add("Mail", 6);
  mail->Folders().Add("Work", 6);
  const std::string base = "\\\\Outlook Express Messages : Created - 6.12.26 7.5.03";
  EXPECT_EQ(session->GetFolderFromPath(base + "\\Mail\\Work")->Name(), "Work");
  EXPECT_EQ(session->GetFolderFromPath(base + "\\Mail\\Work\\")->Name(), "Work");
  EXPECT_EQ(session->GetFolderFromPath(base + "\\Mail")->nid(), mail->nid());
  EXPECT_EQ(session->GetFolderFromPath(base)->nid(), store->IPMRootFolder()->nid());
  EXPECT_EQ(HrOf([&] { session->GetFolderFromPath(base + "\\Mail\\Home"); }), mapi::hr::kNotFound);
  EXPECT_EQ(HrOf([&] { session->GetFolderFromPath(base + "\\Mail\\\\Work"); }), mapi::hr::kNotFound);
  EXPECT_EQ(HrOf([&] { session->GetFolderFromPath("\\\\Nobody\\Mail"); }), mapi::hr::kNotFound);
  EXPECT_EQ(HrOf([&] { session->GetFolderFromPath("Mail"); }), mapi::hr::kInvalidParameter);
}

TEST_F(MapiTest, ItemsAreImportedFlaggedAndSavedOnce) {
  auto store = AddStore("a.pst", "S");
  auto folder = store->IPMRootFolder()->Folders().Add("Mail", 6);
  importer = [](const std::string& path, pst::Message& out) {
    if (path == "bad.eml") throw std::runtime_error("not a mail message");
    out.props.Set(pst::tags::kSubject, path);
    out.attachments.emplace_back();
  };

  auto item = folder->Items().Add(0);
  item->Import("good.eml", mapi::kImportRfc822);
  EXPECT_EQ(item->AttachmentCount(), 1u);
  auto utils = mapi::CreateMAPIUtils();
  utils->HrSetOneProp(item->MAPIOBJECT(), pst::tags::kMessageFlags, int32_t{0x11}, true);
  EXPECT_TRUE(factory.stores[0]->messages.empty());  // nothing stored before Save
  item->Save();
  EXPECT_EQ(HrOf([&] { item->Save(); }), mapi::hr::kNoSupport);

  auto bad = folder->Items().Add(0);
  try {
    bad->Import("bad.eml", mapi::kImportRfc822);
    FAIL();
  } catch (const MapiError& e) {
    EXPECT_NE(std::string(e.what()).find("not a mail message"), std::string::npos);
  }
  EXPECT_EQ(bad->message().props.GetString(pst::TagId(pst::tags::kMessageClass)), "IPM.Note");
  EXPECT_EQ(bad->AttachmentCount(), 0u);
  EXPECT_EQ(HrOf([&] { bad->Import("good.eml", 1); }), mapi::hr::kNoSupport);
  EXPECT_EQ(HrOf([&] { folder->Items().Add(1); }), mapi::hr::kNoSupport);

  const auto& msgs = factory.stores[0]->messages;
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].first, folder->nid());
  EXPECT_EQ(msgs[0].second.props.GetString(pst::TagId(pst::tags::kSubject)), "good.eml");
  EXPECT_EQ(msgs[0].second.props.GetInt(pst::TagId(pst::tags::kMessageFlags)), 0x11);
}

TEST_F(MapiTest, SaveFailureOfTheWriterIsReported) {
  auto store = AddStore("a.pst", "S");
  auto item = store->IPMRootFolder()->Items().Add(0);
  factory.stores[0]->failAddMessage = true;
  try {
    item->Save();
    FAIL();
  } catch (const MapiError& e) {
    EXPECT_NE(std::string(e.what()).find("disk full"), std::string::npos);
  }
  EXPECT_FALSE(item->Saved());
}

TEST_F(MapiTest, LogoffClosesAndDetachesTheStoresOfThisSessionOnly) {
  auto other = mapi::CreateRDOSession({factory.Writer()});
  other->Logon();
  auto kept = other->Stores().AddPSTStore(dir / "kept.pst", 1, "Kept");
  auto store = AddStore("a.pst", "Mine");
  session->Logoff();
  EXPECT_FALSE(session->LoggedOn());
  EXPECT_TRUE(factory.stores[1]->closed);
  EXPECT_FALSE(factory.stores[0]->closed);
  EXPECT_EQ(mapi::Profile::Default().FindByDisplayName("Mine"), nullptr);
  EXPECT_NE(mapi::Profile::Default().FindByDisplayName("Kept"), nullptr);
  // The released store object can no longer reach its folders.
  EXPECT_EQ(HrOf([&] { store->IPMRootFolder(); }), mapi::hr::kNotInitialized);
  other->Logoff();
  EXPECT_EQ(factory.stores[0]->closeCount, 1);
  EXPECT_EQ(factory.stores[1]->closeCount, 1);
}

}  // namespace

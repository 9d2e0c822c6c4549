// SPDX-License-Identifier: GPL-3.0-or-later
// Files written by PstWriter, read back by the independent readers on this
// machine (pffexport from libpff, readpst from libpst).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "pst/prop_tags.h"
#include "pst/pst_writer.h"

namespace pst {
namespace {

namespace fs = std::filesystem;

bool Have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 31 + seed) ^ (i >> 8));
  return b;
}

class WriterReaders : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/verdaline-writer-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    file_ = dir_ / "out.pst";
  }
  void TearDown() override {
    if (!std::getenv("VERDALINE_KEEP_TMP")) fs::remove_all(dir_);
  }

  void WriteStore() {
    WriterOptions o;
    o.deterministic = true;
    auto w = PstWriter::Create(file_.string(), "Readers \xE2\x9C\x89", o);
    Nid mail = w->CreateFolder(w->IpmSubtree(), "Mail");
    Nid work = w->CreateFolder(mail, "Work \xC3\xA9t\xC3\xA9");
    for (int i = 0; i < 3; ++i) {
      Message m;
      m.props.Set(tags::kMessageClass, std::string("IPM.Note"));
      m.props.Set(tags::kSubject, "Subject " + std::to_string(i) + " \xF0\x9F\x98\x80");
      m.props.Set(tags::kBody, "Body number " + std::to_string(i));
      m.props.Set(tags::kSenderName, std::string("Sam Sender"));
      m.props.Set(tags::kSenderEmailAddress, std::string("sam@example.org"));
      m.props.Set(tags::kSenderAddressType, std::string("SMTP"));
      m.props.Set(tags::kSentRepresentingName, std::string("Sam Sender"));
      m.props.Set(tags::kSentRepresentingEmailAddress, std::string("sam@example.org"));
      m.props.Set(tags::kMessageFlags, int32_t{17});
      m.props.Set(tags::kClientSubmitTime, FileTimeFromUnix(1700000000 + i));
      for (int32_t type : {tags::kRecipTo, tags::kRecipCc, tags::kRecipBcc}) {
        Recipient r;
        std::string who = "r" + std::to_string(type);
        r.props.Set(tags::kRecipientType, type);
        r.props.Set(tags::kDisplayName, who);
        r.props.Set(tags::kEmailAddress, who + "@example.org");
        r.props.Set(tags::kAddressType, std::string("SMTP"));
        m.recipients.push_back(std::move(r));
      }
      if (i == 1) {
        Attachment a;
        a.props.Set(tags::kAttachLongFilename, std::string("data.bin"));
        a.props.Set(tags::kAttachFilename, std::string("data.bin"));
        a.data = std::make_shared<MemorySource>(Pattern(1 << 20, 3));
        m.attachments.push_back(std::move(a));
        Attachment e;
        e.props.Set(tags::kDisplayName, std::string("Inner"));
        e.embedded = std::make_unique<Message>();
        e.embedded->props.Set(tags::kSubject, std::string("Inner subject"));
        e.embedded->props.Set(tags::kBody, std::string("Inner body"));
        Attachment ia;
        ia.props.Set(tags::kAttachLongFilename, std::string("inner.txt"));
        ia.data = std::make_shared<MemorySource>(Bytes{'h', 'i'});
        e.embedded->attachments.push_back(std::move(ia));
        m.attachments.push_back(std::move(e));
      }
      w->AddMessage(work, m);
    }
    w->Close();
  }

  fs::path dir_, file_;
};

TEST_F(WriterReaders, CreateNeverOverwrites) {
  { std::ofstream(file_) << "keep"; }
  EXPECT_THROW(PstWriter::Create(file_.string(), "x"), PstExistsError);
  EXPECT_EQ(Slurp(file_), "keep");
  // A link that points nowhere is a taken name too: nothing is made behind it.
  fs::create_symlink(dir_ / "nowhere.pst", dir_ / "link.pst");
  EXPECT_THROW(PstWriter::Create((dir_ / "link.pst").string(), "x"), PstExistsError);
  EXPECT_FALSE(fs::exists(dir_ / "nowhere.pst"));
  // Other failures are not taken names.
  try {
    PstWriter::Create((dir_ / "missing" / "x.pst").string(), "x");
    ADD_FAILURE();
  } catch (const PstExistsError&) {
    ADD_FAILURE() << "a missing folder is not a taken name";
  } catch (const PstError&) {
  }
}

TEST_F(WriterReaders, TheFileAppearsUnderItsNameOnlyWhenItIsAStore) {
  auto w = PstWriter::Create(file_.string(), "Store");
  // Already a committed store under the target name, with nothing left beside it.
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"out.pst"});
  EXPECT_GT(fs::file_size(file_), 0u);
  EXPECT_THROW(PstWriter::Create(file_.string(), "Again"), PstError);
  w->Close();
  EXPECT_THROW(PstWriter::Create((dir_ / "missing" / "x.pst").string(), "x"), PstError);
}

TEST_F(WriterReaders, DeterministicRunsGiveTheSameBytes) {
  WriteStore();
  fs::rename(file_, dir_ / "first.pst");
  WriteStore();
  std::string a = Slurp(dir_ / "first.pst"), b = Slurp(file_);
  EXPECT_GT(a.size(), 1u << 20);
  EXPECT_TRUE(a == b);
}

TEST_F(WriterReaders, PffexportSeesTreeMessagesRecipientsAndAttachments) {
  if (!Have("pffexport")) GTEST_SKIP() << "pffexport (pff-tools) not installed";
  WriteStore();
  std::string cmd = "pffexport -d -f all -q -t " + (dir_ / "x").string() + " " + file_.string() + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  fs::path root = dir_ / "x.export";
  ASSERT_TRUE(fs::is_directory(root / "Top of Personal Folders" / "Deleted Items"));
  ASSERT_TRUE(fs::is_directory(root / "Search Root"));
  fs::path work = root / "Top of Personal Folders" / "Mail" / "Work \xC3\xA9t\xC3\xA9";
  ASSERT_TRUE(fs::is_directory(work));
  int messages = 0;
  bool sawAttachment = false, sawInner = false;
  for (const auto& e : fs::directory_iterator(work)) {
    if (!e.is_directory()) continue;
    ++messages;
    std::string headers = Slurp(e.path() / "OutlookHeaders.txt");
    EXPECT_NE(headers.find("Subject:\t\t\t\tSubject "), std::string::npos) << headers;
    EXPECT_NE(headers.find("Sender name:\t\t\t\tSam Sender"), std::string::npos) << headers;
    // Read, and has-attachments only where attachments were stored.
    bool attached = fs::exists(e.path() / "Attachments");
    EXPECT_NE(headers.find(attached ? "Flags:\t\t\t\t\t0x00000011" : "Flags:\t\t\t\t\t0x00000001"),
              std::string::npos) << headers;
    std::string recips = Slurp(e.path() / "Recipients.txt");
    EXPECT_NE(recips.find("Recipient type:\t\tTo"), std::string::npos);
    EXPECT_NE(recips.find("Recipient type:\t\tCC"), std::string::npos);
    EXPECT_NE(recips.find("Recipient type:\t\tBCC"), std::string::npos);
    EXPECT_NE(Slurp(e.path() / "Message.txt").find("Body number"), std::string::npos);
    fs::path att = e.path() / "Attachments";
    if (fs::exists(att / "1_data.bin")) {
      sawAttachment = true;
      std::string text = Slurp(att / "1_data.bin");
      EXPECT_TRUE(Bytes(text.begin(), text.end()) == Pattern(1 << 20, 3));
      for (const auto& sub : fs::recursive_directory_iterator(att)) {
        if (sub.path().filename() == "OutlookHeaders.txt" &&
            Slurp(sub.path()).find("Inner subject") != std::string::npos) {
          sawInner = true;
          EXPECT_EQ(Slurp(sub.path().parent_path() / "Attachments" / "1_inner.txt"), "hi");
        }
      }
    }
  }
  EXPECT_EQ(messages, 3);
  EXPECT_TRUE(sawAttachment);
  EXPECT_TRUE(sawInner);
}

TEST_F(WriterReaders, PffinfoReadsTheStoreAndItsAllocationTables) {
  if (!Have("pffinfo")) GTEST_SKIP() << "pffinfo (pff-tools) not installed";
  WriteStore();
  fs::path out = dir_ / "info.txt";
  std::string cmd = "pffinfo -a " + file_.string() + " > " + out.string() + " 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::string info = Slurp(out);
  // The store's valid-folder mask names the IPM subtree, the wastebasket and the finder.
  EXPECT_NE(info.find("Folders:\t\tSubtree, Wastbox, Finder"), std::string::npos) << info;
  EXPECT_NE(info.find("Unallocated data blocks:"), std::string::npos);
}

TEST_F(WriterReaders, ReadpstExportsEveryMessage) {
  if (!Have("readpst")) GTEST_SKIP() << "readpst (pst-utils) not installed";
  WriteStore();
  fs::create_directories(dir_ / "r");
  std::string cmd = "readpst -j 0 -S -8 -D -o " + (dir_ / "r").string() + " " + file_.string() + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  fs::path work = dir_ / "r" / "Readers \xE2\x9C\x89" / "Mail" / "Work \xC3\xA9t\xC3\xA9";
  ASSERT_TRUE(fs::is_directory(work));
  int messages = 0;
  bool sawAttachment = false;
  for (const auto& e : fs::directory_iterator(work)) {
    std::string name = e.path().filename().string();
    if (name.find('-') != std::string::npos) {
      if (name.ends_with("data.bin")) sawAttachment = fs::file_size(e.path()) == (1u << 20);
      continue;
    }
    if (!e.is_regular_file()) continue;
    ++messages;
    std::string text = Slurp(e.path());
    EXPECT_NE(text.find("Body number"), std::string::npos);
    EXPECT_NE(text.find("sam@example.org"), std::string::npos);
    // Without transport headers readpst builds To and Cc from PidTagDisplayTo
    // and PidTagDisplayCc, which the writer derives from the recipients.
    EXPECT_NE(text.find("To: r1"), std::string::npos) << text;
    EXPECT_NE(text.find("Cc: r2"), std::string::npos) << text;
  }
  EXPECT_EQ(messages, 3);
  EXPECT_TRUE(sawAttachment);
}

}  // namespace
}  // namespace pst

// SPDX-License-Identifier: GPL-3.0-or-later
// The writer when the file system lets it down: no room when the file is
// made, and the file deleted while it is being written. Each leaves nothing
// behind that the user did not ask for, and says what happened in the
// system's words.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "pst/ndb/node_database.h"
#include "pst/ndb_test_reader.h"
#include "pst/ndb_test_util.h"
#include "pst/prop_tags.h"
#include "pst/pst_writer.h"

namespace pst {
namespace {

using testing::ScratchDir;

std::vector<std::string> Names(const std::filesystem::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename().string());
  return out;
}

// A disk that is full from the start (a file-size limit stands in for it):
// one attempt, no temporary file left, the reason and the target named.
TEST(WriterFailures, NoRoomWhenTheFileIsMadeLeavesNothingBehind) {
  ScratchDir dir;
  const std::string path = dir.File("new.pst");
  int pipeFd[2];
  ASSERT_EQ(::pipe(pipeFd), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit lim = {4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &lim);
    std::string what = "created";
    try {
      PstWriter::Create(path, "S");
    } catch (const PstError& e) {
      what = e.what();
    }
    (void)!::write(pipeFd[1], what.data(), what.size());
    ::_exit(0);
  }
  ::close(pipeFd[1]);
  std::string what;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipeFd[0], buffer, sizeof buffer)) > 0;) what.append(buffer, static_cast<size_t>(n));
  ::close(pipeFd[0]);
  ::waitpid(pid, nullptr, 0);
  EXPECT_NE(what.find(std::strerror(EFBIG)), std::string::npos) << what;
  EXPECT_NE(what.find(path), std::string::npos) << what;
  EXPECT_EQ(what.find("partial"), std::string::npos) << what;
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{}) << "left behind";
}

// A temporary name that is taken is passed by; the file is made all the same.
TEST(WriterFailures, ATakenTemporaryNameIsPassedBy) {
  ScratchDir dir;
  const std::string path = dir.File("new.pst");
  const std::string taken = path + ".partial-" + std::to_string(::getpid()) + "-0";
  std::ofstream(taken) << "someone else's";
  PstWriter::Create(path, "S")->Close();
  auto names = Names(dir.path());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"new.pst", "new.pst.partial-" + std::to_string(::getpid()) + "-0"}));
}

// Temporary files that killed runs left behind are removed when the next
// file is made beside them; one of a live process, and a file of the user's
// that only has such a name, are not.
TEST(WriterFailures, TemporaryFilesOfKilledRunsAreRemoved) {
  ScratchDir dir;
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const std::string dead = std::to_string(gone), live = std::to_string(::getpid());
  std::ofstream(dir.File("a.pst.partial-" + dead + "-0"));
  std::ofstream(dir.File("b.pst.partial-" + dead + "-3")) << "!BDN and the rest";
  std::ofstream(dir.File("notes.partial-" + dead + "-0")) << "my notes";
  std::ofstream(dir.File("c.pst.partial-" + live + "-0"));
  PstWriter::Create(dir.File("new.pst"), "S")->Close();
  auto names = Names(dir.path());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"c.pst.partial-" + live + "-0", "new.pst", "notes.partial-" + dead + "-0"}));
}

// The file (or its folder) deleted under the writer: the next commit fails
// as a write failure instead of writing on into a file nobody can reach.
TEST(WriterFailures, AFileDeletedWhileWrittenFailsItsNextCommit) {
  ScratchDir dir;
  const std::string path = dir.File("gone.pst");
  auto writer = PstWriter::Create(path, "S");
  const Nid folder = writer->CreateFolder(writer->IpmSubtree(), "F", "IPF.Note");
  writer->Commit();
  std::filesystem::remove(path);
  Message m;
  m.props.Set(tags::kSubject, std::string("x"));
  writer->AddMessage(folder, m);
  try {
    writer->Commit();
    FAIL() << "the commit pretended to succeed";
  } catch (const PstWriteError& e) {
    EXPECT_NE(std::string(e.what()).find("deleted"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
  }
  EXPECT_THROW(writer->Close(), PstWriteError);
}

// The disk fills in the middle of a large attachment (a file-size limit
// stands in for it): the messages stored before it are in the file, and the
// space the failed message took is given back rather than left in use.
TEST(WriterFailures, ADiskThatFillsInALargeMessageKeepsThoseBeforeAndGivesSpaceBack) {
  ScratchDir dir;
  const std::string path = dir.File("full.pst");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit lim = {24 << 20, 24 << 20};
    ::setrlimit(RLIMIT_FSIZE, &lim);
    auto writer = PstWriter::Create(path, "S");
    const Nid folder = writer->CreateFolder(writer->IpmSubtree(), "F", "IPF.Note");
    for (int i = 0; i < 6; ++i) {
      Message m;
      m.props.Set(tags::kSubject, "small " + std::to_string(i));
      if (i == 5) {
        Attachment a;
        a.data = std::make_shared<MemorySource>(testing::Pattern(40u << 20, 3));
        m.attachments.push_back(std::move(a));
      }
      try {
        writer->AddMessage(folder, m);
      } catch (const PstWriteError&) {
        ::_exit(static_cast<int>(writer->MessagesInFile()));
      }
    }
    ::_exit(99);  // the limit was never reached
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 5);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_LT(static_cast<uint64_t>(st.st_blocks) * 512, 4u << 20) << "of " << st.st_size << " bytes";
  // The trees of the last commit read whole, past the holes; the maps are
  // marked for rebuilding, as after any stop while the file grew.
  testing::NdbTestReader r(testing::NdbTestReader::Slurp(path));
  EXPECT_TRUE(r.faults().empty()) << r.FaultText();
  EXPECT_EQ(std::count_if(r.nodes().begin(), r.nodes().end(), [](const auto& n) { return (n.first & 0x1F) == 4; }),
            5);
}

// A value whose bytes cannot be read to their end (an attachment left in
// its message file, which changed since the import): that message alone
// is not stored, and the blocks written for it do not stay in the file.
TEST(WriterFailures, AValueThatCannotBeReadFailsOnlyItsMessage) {
  class CutShort final : public ByteSource {
   public:
    uint64_t size() const override { return 1 << 20; }
    void read(uint64_t offset, std::span<uint8_t> out) const override {
      if (offset >= 600000) throw std::runtime_error("the message file changed");
      std::fill(out.begin(), out.end(), uint8_t{7});
    }
  };
  ScratchDir dir;
  const std::string path = dir.File("unread.pst");
  {
    auto writer = PstWriter::Create(path, "S");
    const Nid folder = writer->CreateFolder(writer->IpmSubtree(), "F", "IPF.Note");
    Message bad;
    bad.props.Set(tags::kSubject, std::string("bad"));
    bad.attachments.emplace_back().data = std::make_shared<CutShort>();
    try {
      writer->AddMessage(folder, bad);
      ADD_FAILURE() << "stored a value that could not be read";
    } catch (const PstWriteError&) {
      ADD_FAILURE() << "a value that cannot be read is no failure of the disk";
    } catch (const PstError& e) {
      EXPECT_NE(std::string(e.what()).find("the message file changed"), std::string::npos) << e.what();
    }
    Message good;
    good.props.Set(tags::kSubject, std::string("good"));
    good.attachments.emplace_back().data = std::make_shared<MemorySource>(testing::Pattern(1 << 20, 5));
    writer->AddMessage(folder, good);
    writer->Close();
  }
  testing::NdbTestReader r(testing::NdbTestReader::Slurp(path));
  EXPECT_TRUE(r.faults().empty()) << r.FaultText();
  EXPECT_EQ(std::count_if(r.nodes().begin(), r.nodes().end(), [](const auto& n) { return (n.first & 0x1F) == 4; }),
            1);
}

}  // namespace
}  // namespace pst

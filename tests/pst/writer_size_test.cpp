// SPDX-License-Identifier: GPL-3.0-or-later
// What the writer says a file's size will be once closed: never less than
// the closed file is, committed or not, and close to it once committed.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>

#include "pst/ndb/allocation_map.h"
#include "pst/ndb_test_util.h"
#include "pst/prop_tags.h"
#include "pst/pst_writer.h"

namespace pst {
namespace {

// Where the file would end, trimmed, is where TrimEmptyTail leaves it,
// wherever the runs went.
TEST(AllocationMap, UsedEndIsTheEndAfterTrimming) {
  std::mt19937 rng(5);
  for (int round = 0; round < 20; ++round) {
    ndb::AllocationMap m;
    std::vector<std::pair<uint64_t, uint64_t>> runs;
    const int count = static_cast<int>(rng() % 400);
    for (int i = 0; i < count; ++i) {
      const uint64_t bytes = 64 + rng() % 8129;
      uint64_t ib = m.Allocate(bytes, false);
      if (ib == 0) {
        m.AddSections(1 + rng() % 8);
        ib = m.Allocate(bytes, false);
      }
      runs.emplace_back(ib, bytes);
    }
    // Freed runs at the end leave their sections empty again.
    for (size_t i = runs.size() / 2; i < runs.size(); i += 2) m.Release(runs[i].first, runs[i].second);
    m.ApplyReleases();
    if (rng() % 2) m.AddSections(rng() % 5);
    const uint64_t used = m.UsedEnd();
    m.TrimEmptyTail();
    EXPECT_EQ(used, m.EndOfFile()) << "round " << round;
  }
}

Message Mail(const std::string& subject, size_t attachmentBytes, uint32_t seed) {
  Message m;
  m.props.Set(tags::kMessageClass, std::string("IPM.Note"));
  m.props.Set(tags::kSubject, subject);
  m.props.Set(tags::kBody, std::string(200, 'b'));
  if (attachmentBytes > 0) {
    m.attachments.emplace_back();
    m.attachments.back().props.Set(tags::kAttachMethod, tags::kAttachByValue);
    m.attachments.back().props.Set(tags::kAttachLongFilename, std::string("a.bin"));
    m.attachments.back().data = std::make_shared<MemorySource>(testing::Pattern(attachmentBytes, seed));
  }
  return m;
}

class WriterSizeTest : public ::testing::Test {
 protected:
  // A new file with a folder tree, committed or not as the writer decides.
  std::unique_ptr<PstWriter> NewWriter(const std::string& name) {
    WriterOptions o;
    o.commitInterval = std::chrono::hours(1);  // only the test commits
    auto w = PstWriter::Create(dir.File(name), "Store", o);
    for (int i = 0; i < 3; ++i) folders.push_back(w->CreateFolder(w->IpmSubtree(), "F" + std::to_string(i)));
    for (int i = 0; i < 10; ++i) folders.push_back(w->CreateFolder(folders[static_cast<size_t>(i % 3)], "G" + std::to_string(i)));
    return w;
  }
  // The bound before closing, and the closed file's size.
  std::pair<uint64_t, uint64_t> CloseAndMeasure(PstWriter& w, const std::string& name) {
    const uint64_t bound = w.SizeIfClosed();
    w.Close();
    return {bound, std::filesystem::file_size(dir.File(name))};
  }
  testing::ScratchDir dir;
  std::vector<Nid> folders;
};

TEST_F(WriterSizeTest, TheBoundHoldsWhateverWasLeftUncommitted) {
  struct Case {
    const char* name;
    std::function<void(PstWriter&, const std::vector<Nid>&)> fill;
  };
  const std::vector<Case> cases = {
      {"empty.pst", [](PstWriter&, const std::vector<Nid>&) {}},
      // Many small messages over many folders: node changes and tables, not bytes.
      {"small.pst",
       [](PstWriter& w, const std::vector<Nid>& f) {
         for (int i = 0; i < 600; ++i) w.AddMessage(f[static_cast<size_t>(i) % f.size()], Mail("s" + std::to_string(i), 0, 0));
       }},
      // Large attachments: blocks.
      {"large.pst",
       [](PstWriter& w, const std::vector<Nid>& f) {
         for (uint32_t i = 0; i < 3; ++i) w.AddMessage(f[i % f.size()], Mail("l", 2u << 20, i));
       }},
      // Some committed, the rest not.
      {"mixed.pst",
       [](PstWriter& w, const std::vector<Nid>& f) {
         for (uint32_t i = 0; i < 4; ++i) w.AddMessage(f[0], Mail("m", 1u << 20, i));
         w.Commit();
         for (int i = 0; i < 200; ++i) w.AddMessage(f[static_cast<size_t>(i) % f.size()], Mail("n", 5000, 9));
       }},
  };
  // The closing commit's pages land in what room the last section has
  // left, or need another: a committed message of each of these sizes first
  // leaves that room anywhere from none to most of a section.
  for (const Case& c : cases) {
    for (uint32_t room = 0; room < 8; ++room) {
      const std::string name = std::to_string(room) + c.name;
      auto w = NewWriter(name);
      w->AddMessage(folders[0], Mail("room", (1u << 20) + room * 31000, room));
      w->Commit();
      c.fill(*w, folders);
      const auto [bound, size] = CloseAndMeasure(*w, name);
      EXPECT_GE(bound, size) << name;
      // The bound is not so loose that it splits runs long before the limit.
      EXPECT_LE(bound, size + (16u << 20)) << name;
    }
  }
}

TEST_F(WriterSizeTest, CommittedTheBoundIsTheFile) {
  auto w = NewWriter("committed.pst");
  for (uint32_t i = 0; i < 40; ++i) w->AddMessage(folders[i % folders.size()], Mail("c", 200000, i));
  w->Commit();
  const auto [bound, size] = CloseAndMeasure(*w, "committed.pst");
  EXPECT_EQ(bound, size);
}

// The file is grown ahead in steps of up to 65 MB; with a limit, never past
// it, so that a writer killed before its last commit trims the file leaves
// it below the limit all the same.
TEST_F(WriterSizeTest, GrowsAheadNoFurtherThanItsLimit) {
  constexpr uint64_t kLimit = 12u << 20;
  auto w = NewWriter("limited.pst");
  w->LimitGrowth(kLimit);
  uint64_t largest = 0;
  for (uint32_t i = 0; i < 50; ++i) {
    w->AddMessage(folders[i % folders.size()], Mail("g", 210000, i));
    largest = std::max<uint64_t>(largest, std::filesystem::file_size(dir.File("limited.pst")));
  }
  EXPECT_GT(largest, kLimit - (3u << 20));  // it did grow close to the limit
  EXPECT_LE(largest, kLimit);
  const auto [bound, size] = CloseAndMeasure(*w, "limited.pst");
  EXPECT_GE(bound, size);
}

}  // namespace
}  // namespace pst

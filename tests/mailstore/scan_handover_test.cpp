// SPDX-License-Identifier: GPL-3.0-or-later
// A scan that hands its entries over as it goes gives exactly what a scan
// that keeps them gives, in the same order, each once.
#include <algorithm>

#include "scan_fixture.h"

namespace mailstore::test {
namespace {

std::vector<std::string> Describe(const std::vector<Entry>& entries) {
  std::vector<std::string> out;
  for (const Entry& e : entries)
    out.push_back(e.ref.path + "@" + std::to_string(e.ref.offset) + " " + std::to_string(e.folder) +
                  (e.state.read ? " read" : " unread") + (e.kind == EntryKind::kExpunged ? " expunged" : ""));
  return out;
}

TEST(ScanHandover, GivesWhatAWholeScanGivesInOrder) {
  TempDir dir;
  ASSERT_TRUE(dir.ok());
  // Enough loose files and mbox messages for several hand-overs; the mbox
  // marks its unmarked messages unread only once its end is seen.
  std::string mbox;
  for (int i = 0; i < 5000; ++i) {
    dir.Write("tree/a/m" + std::to_string(i) + ".eml", "Subject: " + std::to_string(i) + "\n\nx\n");
    mbox += "From x@y Sat Jan  1 00:00:00 2000\nSubject: " + std::to_string(i) + "\n" +
            (i == 4999 ? "Status: RO\n" : "") + "\nbody\n\n";
  }
  dir.Write("tree/b.mbox", mbox);

  ScanResult whole;
  ScanPath(dir.Path("tree"), whole);
  ASSERT_EQ(whole.entries.size(), 10000u);

  ScanResult handed;
  std::vector<Entry> taken;
  int handovers = 0;
  ScanOptions options;
  options.take = [&](std::vector<Entry>& entries) {
    ++handovers;
    for (Entry& e : entries) taken.push_back(std::move(e));
  };
  ScanPath(dir.Path("tree"), handed, options);
  for (Entry& e : handed.entries) taken.push_back(std::move(e));

  EXPECT_GE(handovers, 2);
  EXPECT_EQ(Describe(taken), Describe(whole.entries));
  EXPECT_EQ(handed.folders.size(), whole.folders.size());
  const auto unread = std::count_if(taken.begin(), taken.end(), [](const Entry& e) { return !e.state.read; });
  EXPECT_EQ(unread, 4999);
}

}  // namespace
}  // namespace mailstore::test

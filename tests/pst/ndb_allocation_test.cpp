// SPDX-License-Identifier: GPL-3.0-or-later
// Space management: where the map pages sit, 64-byte slots, 512-byte pages,
// no run across a section boundary, released space held back until the
// commit, and offsets past 4 GB.
#include <gtest/gtest.h>

#include <set>

#include "pst/coding.h"
#include "pst/crc.h"
#include "pst/ndb/allocation_map.h"

namespace pst::ndb {
namespace {

TEST(AllocationMap, MapPagePlacement) {
  EXPECT_EQ(AllocationMap::SectionOffset(0), 0x4400u);
  EXPECT_EQ(AllocationMap::SectionOffset(1), 0x4400u + 253952u);
  EXPECT_EQ(AllocationMap::MapPagesIn(0), 2u);  // AMap + PMap
  EXPECT_EQ(AllocationMap::MapPagesIn(1), 1u);
  EXPECT_EQ(AllocationMap::MapPagesIn(8), 2u);
  EXPECT_FALSE(AllocationMap::HasFMap(127));
  EXPECT_TRUE(AllocationMap::HasFMap(128));  // the header's rgbFM covers 128 AMaps
  EXPECT_EQ(AllocationMap::MapPagesIn(128), 3u);
  EXPECT_TRUE(AllocationMap::HasFMap(128 + 496));
  EXPECT_FALSE(AllocationMap::HasFMap(128 + 495));
  EXPECT_FALSE(AllocationMap::HasFPMap(8191));
  EXPECT_TRUE(AllocationMap::HasFPMap(8192));  // rgbFP: 128 * 8 PMaps of 8 AMaps
  EXPECT_TRUE(AllocationMap::HasFPMap(8192 + 496 * 8 * 8));
  // Section 8192 is a PMap section too: AMap, PMap, FMap? (8192-128)%496 = 128, no.
  EXPECT_EQ(AllocationMap::MapPagesIn(8192), 3u);
  // Past 4 GB the offsets keep all 64 bits.
  EXPECT_EQ(AllocationMap::SectionOffset(20000), 0x4400ull + 20000ull * 253952ull);
  EXPECT_GT(AllocationMap::SectionOffset(20000), 0x100000000ull);
}

TEST(AllocationMap, NewFileHasOneSectionWithItsMaps) {
  AllocationMap m;
  EXPECT_EQ(m.EndOfFile(), 0x4400u + 253952u);
  EXPECT_EQ(m.LastAMapOffset(), 0x4400u);
  EXPECT_TRUE(m.IsAllocated(0x4400, 1024));
  EXPECT_FALSE(m.IsAllocated(0x4800, 64));
  EXPECT_EQ(m.FreeBytes(), 253952u - 1024u);
  EXPECT_EQ(m.CountFreeBytes(), m.FreeBytes());
  auto pages = m.TakeDirtyPages(false);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].first, 0x4400u);
  const auto& amap = pages[0].second;
  EXPECT_EQ(amap[0], 0xFF);  // AMap and PMap: the first 16 slots
  EXPECT_EQ(amap[1], 0xFF);
  EXPECT_EQ(amap[2], 0x00);
  EXPECT_EQ(amap[496], 0x84);
  EXPECT_EQ(amap[497], 0x84);
  EXPECT_EQ(GetU16(amap, 498), 0);
  EXPECT_EQ(GetU32(amap, 500), ComputePstCrc(std::span<const uint8_t>(amap).first(496)));
  EXPECT_EQ(GetU64(amap, 504), 0x4400u);  // a map page's BID is its offset
  const auto& pmap = pages[1].second;
  EXPECT_EQ(pages[1].first, 0x4600u);
  EXPECT_EQ(pmap[0], 0xFF);
  EXPECT_EQ(pmap[495], 0xFF);
  EXPECT_EQ(pmap[496], 0x83);
  EXPECT_TRUE(m.TakeDirtyPages(false).empty());
}

TEST(AllocationMap, SlotsBitsPagesAndSections) {
  AllocationMap m;
  // 100 bytes take two slots, the high bits first.
  const uint64_t a = m.Allocate(100, false);
  EXPECT_EQ(a, 0x4800u);
  const uint64_t b = m.Allocate(64, false);
  EXPECT_EQ(b, 0x4880u);
  auto pages = m.TakeDirtyPages(false);
  EXPECT_EQ(pages[0].second[2], 0xE0);  // slots 16, 17, 18
  // A page is 512-aligned: it skips the partly used byte.
  const uint64_t p = m.Allocate(512, true);
  EXPECT_EQ(p % 512, 0u);
  EXPECT_EQ(p, 0x4A00u);
  // Fill the first section with 8 KB blocks: none may cross into the next.
  std::set<uint64_t> seen;
  for (int i = 0; i < 40; ++i) {
    uint64_t at = m.Allocate(8192, false);
    if (at == 0) {
      m.AddSections(1);
      at = m.Allocate(8192, false);
    }
    ASSERT_NE(at, 0u);
    const uint64_t sectionStart = (at - 0x4400) / 253952 * 253952 + 0x4400;
    EXPECT_LE(at + 8192, sectionStart + 253952);
    EXPECT_TRUE(seen.insert(at).second);
  }
  EXPECT_EQ(m.SectionCount(), 2u);
  // The second section's blocks start after its AMap (no PMap there).
  EXPECT_TRUE(seen.count(0x4400u + 253952u + 512u));
  EXPECT_EQ(m.CountFreeBytes(), m.FreeBytes());
}

TEST(AllocationMap, ReleasedSpaceWaitsForTheCommit) {
  AllocationMap m;
  const uint64_t a = m.Allocate(8192, false);
  m.Release(a, 8192);
  EXPECT_TRUE(m.IsAllocated(a, 8192));
  const uint64_t b = m.Allocate(8192, false);
  EXPECT_NE(b, a);
  m.ApplyReleases();
  EXPECT_FALSE(m.IsAllocated(a, 8192));
  EXPECT_EQ(m.Allocate(8192, false), a);  // reused once committed
  EXPECT_EQ(m.CountFreeBytes(), m.FreeBytes());
}

TEST(AllocationMap, FreeMapsAndTrimming) {
  AllocationMap m;
  m.AddSections(129);  // sections 0..129: section 128 holds an FMap
  EXPECT_EQ(m.SectionCount(), 130u);
  const auto fresh = m.FreshPages(128);
  ASSERT_EQ(fresh.size(), 3u);  // AMap, PMap, FMap
  EXPECT_EQ(fresh[2].first, AllocationMap::SectionOffset(128) + 1024);
  EXPECT_EQ(fresh[2].second[496], 0x82);
  EXPECT_EQ(fresh[0].second[0], 0xFF);
  EXPECT_EQ(fresh[0].second[1], 0xFF);
  EXPECT_EQ(fresh[0].second[2], 0xFF);
  EXPECT_EQ(fresh[0].second[3], 0x00);
  auto pages = m.TakeDirtyPages(false);
  const auto fmap = std::find_if(pages.begin(), pages.end(), [](const auto& p) { return p.second[496] == 0x82; });
  ASSERT_NE(fmap, pages.end());
  // Longest free runs, in slots, capped at 255: section 128 itself, 129.
  EXPECT_EQ(fmap->second[0], 255);
  EXPECT_EQ(fmap->second[1], 255);
  EXPECT_EQ(fmap->second[2], 0);  // no section 130 yet
  EXPECT_TRUE(m.IsAllocated(AllocationMap::SectionOffset(128), 1536));
  // Everything after section 0 is empty and goes away.
  EXPECT_EQ(m.TrimEmptyTail(), 129u);
  EXPECT_EQ(m.SectionCount(), 1u);
  EXPECT_EQ(m.CountFreeBytes(), m.FreeBytes());
  m.Allocate(64, false);
  m.AddSections(2);
  m.Allocate(4000, false);
  EXPECT_EQ(m.TrimEmptyTail(), 2u);  // the 4000 bytes went into section 0
}

TEST(AllocationMap, FreePageMapAndOffsetsPastFourGigabytes) {
  AllocationMap m;
  m.AddSections(17000);
  const auto fresh = m.FreshPages(8192);
  ASSERT_EQ(fresh.size(), 3u);  // AMap, PMap, FPMap
  EXPECT_EQ(fresh[2].second[496], 0x85);
  EXPECT_EQ(GetU64(fresh[2].second, 504), AllocationMap::SectionOffset(8192) + 1024);
  EXPECT_GT(m.EndOfFile(), 0x100000000ull);
  EXPECT_EQ(m.CountFreeBytes(), m.FreeBytes());
  // First fit still finds the low sections; a page in the last section is
  // placed past 4 GB once everything below is taken.
  EXPECT_EQ(m.Allocate(64, false), 0x4800u);
  const auto all = m.TakeDirtyPages(true);
  const auto last = std::find_if(all.begin(), all.end(),
                                 [&](const auto& p) { return p.first == m.LastAMapOffset(); });
  ASSERT_NE(last, all.end());
  EXPECT_EQ(last->second[496], 0x84);
  EXPECT_EQ(GetU64(last->second, 504), m.LastAMapOffset());
  EXPECT_EQ(all.back().first, m.LastAMapOffset() + 512);  // section 17000 also has a PMap
  EXPECT_GT(m.LastAMapOffset(), 0x100000000ull);
}

}  // namespace
}  // namespace pst::ndb

// SPDX-License-Identifier: GPL-3.0-or-later
// pst-stress-ndb: drives the node database alone (no messaging layer), for
// checking its pages, maps and trees and for crash tests at that level.
//
//   pst-stress-ndb OUT.pst [--nodes N] [--commit-each] [--forever] [--crash-after-writes W]
//
// Node k gets a data stream of a size that cycles through one small block,
// exactly one full block, two blocks and several hundred blocks (an XXBLOCK
// tree at k % 7 == 6), and every third node a subnode tree of 3 subnodes.
// --commit-each commits after every node and prints "committed N".
// --crash-after-writes W ends the process with exit status 137 just before
// its Wth write to the file, for crash tests.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "pst/byte_source.h"
#include "pst/ndb/node_database.h"

namespace {

uint64_t SizeOf(uint64_t k) {
  static const uint64_t kSizes[] = {100, 8176, 8177, 3000, 20000, 64, 8176ULL * 1030};
  return kSizes[k % 7];
}

std::vector<uint8_t> Stream(uint64_t k, uint64_t size) {
  std::vector<uint8_t> v(size);
  for (uint64_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>((k * 31 + i * 7) ^ (i >> 9));
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out;
  uint64_t nodes = 20;
  bool commitEach = false, forever = false;
  int64_t crashAfterWrites = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string s = argv[i];
    if (s == "--nodes" && i + 1 < argc) {
      nodes = std::strtoull(argv[++i], nullptr, 10);
    } else if (s == "--commit-each") {
      commitEach = true;
    } else if (s == "--forever") {
      forever = true;
    } else if (s == "--crash-after-writes" && i + 1 < argc) {
      crashAfterWrites = std::strtoll(argv[++i], nullptr, 10);
    } else if (!s.empty() && s[0] != '-' && out.empty()) {
      out = s;
    } else {
      std::fprintf(stderr, "usage: pst-stress-ndb OUT.pst [--nodes N] [--commit-each] [--forever] [--crash-after-writes W]\n");
      return 2;
    }
  }
  if (out.empty()) {
    std::fprintf(stderr, "usage: pst-stress-ndb OUT.pst [--nodes N] [--commit-each] [--forever] [--crash-after-writes W]\n");
    return 2;
  }
  try {
    pst::NdbOptions options;
    options.deterministic = true;
    options.crashAfterWrites = crashAfterWrites;
    auto db = pst::NodeDatabase::Create(out, options);
    for (uint64_t k = 0; forever || k < nodes; ++k) {
      const pst::Nid nid = db->AllocateNid(0x04);
      const pst::Bid data = db->WriteStream(pst::MemorySource(Stream(k, SizeOf(k))));
      pst::Bid subs = 0;
      if (k % 3 == 2) {
        std::vector<pst::SubnodeEntry> entries;
        for (uint32_t j = 0; j < 3; ++j) {
          const pst::Bid b = db->WriteStream(pst::MemorySource(Stream(k + j, 500 + j * 9000)));
          entries.push_back({static_cast<pst::Nid>((j + 1) << 5 | 0x05), b, 0});
        }
        subs = db->WriteSubnodeTree(entries);
      }
      db->SetNode(nid, data, subs, 0);
      if (commitEach) {
        db->Commit();
        std::printf("committed %llu\n", static_cast<unsigned long long>(k + 1));
        std::fflush(stdout);
      }
    }
    db->Close();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pst-stress-ndb: %s\n", e.what());
    return 1;
  }
  return 0;
}

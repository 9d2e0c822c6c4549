// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/ndb_test_reader.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "pst/coding.h"
#include "pst/crc.h"
#include "pst/ndb/permute.h"

namespace pst::testing {
namespace {
constexpr uint64_t kFirstAMap = 0x4400, kCoverage = 253952;
uint16_t Sig(uint64_t ib, uint64_t bid) {
  const uint64_t x = ib ^ bid;
  return static_cast<uint16_t>((x >> 16) ^ x);
}
std::string Hex(uint64_t v) {
  std::ostringstream o;
  o << "0x" << std::hex << v;
  return o.str();
}
}  // namespace

std::vector<uint8_t> NdbTestReader::Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string NdbTestReader::FaultText() const {
  std::string s;
  for (size_t i = 0; i < faults_.size() && i < 20; ++i) s += faults_[i] + "\n";
  return s;
}

NdbTestReader::NdbTestReader(std::vector<uint8_t> file, std::vector<uint8_t> headerBytes)
    : f_(std::move(file)) {
  const bool current = headerBytes.empty();
  if (current) headerBytes.assign(f_.begin(), f_.begin() + std::min<size_t>(f_.size(), 0x234));
  std::span<const uint8_t> h(headerBytes);
  if (h.size() < 0x234 || h[0] != 0x21 || h[1] != 0x42 || h[2] != 0x44 || h[3] != 0x4E) {
    Fault("no !BDN header");
    return;
  }
  if (GetU32(h, 4) != ComputePstCrc(h.subspan(8, 471))) Fault("dwCRCPartial");
  if (GetU32(h, 0x20C) != ComputePstCrc(h.subspan(8, 516))) Fault("dwCRCFull");
  if (GetU16(h, 8) != 0x4D53 || GetU16(h, 10) != 23 || GetU16(h, 12) != 19 || h[14] != 1 || h[15] != 1)
    Fault("magic client / versions / platform");
  for (size_t i = 0x100; i < 0x200; ++i)
    if (h[i] != 0xFF) {
      Fault("rgbFM/rgbFP not 0xFF");
      break;
    }
  if (h[0x200] != 0x80 || h[0x201] != 0x01) Fault("bSentinel / bCryptMethod");
  bidNextP = GetU64(h, 0x20);
  dwUnique = GetU32(h, 0x28);
  for (size_t i = 0; i < 32; ++i) rgnid.push_back(GetU32(h, 0x2C + 4 * i));
  ibFileEof = GetU64(h, 0xB8);
  ibAMapLast = GetU64(h, 0xC0);
  cbAMapFree = GetU64(h, 0xC8);
  if (GetU64(h, 0xD0) != 0) Fault("cbPMapFree not zero");
  const uint64_t nbtBid = GetU64(h, 0xD8), nbtIb = GetU64(h, 0xE0);
  const uint64_t bbtBid = GetU64(h, 0xE8), bbtIb = GetU64(h, 0xF0);
  fAMapValid = h[0xF8];
  bidNextB = GetU64(h, 0x204);
  if (ibFileEof > f_.size() || (current && ibFileEof != f_.size()))
    Fault("ibFileEof " + Hex(ibFileEof) + " but the file has " + Hex(f_.size()) + " bytes");
  if ((ibFileEof - kFirstAMap) % kCoverage != 0) Fault("ibFileEof not at a section boundary");
  if (ibAMapLast != ibFileEof - kCoverage) Fault("ibAMapLast");
  Walk(nbtIb, nbtBid, 0x81, -1, 0, false, nbtDepth);
  Walk(bbtIb, bbtBid, 0x80, -1, 0, false, bbtDepth);
  // The density list is signed and numbered from bidNextP like a B-tree page.
  if (f_.size() >= kFirstAMap) {
    const uint64_t dlistBid = GetU64(f_, 0x4200 + 504);
    CheckPage(0x4200, dlistBid, 0x86);
    if (dlistBid == 0 || dlistBid >= bidNextP) Fault("density list BID " + Hex(dlistBid));
  }
  for (const auto& [bid, b] : blocks_) {
    if (bid >= bidNextB) Fault("block BID " + Hex(bid) + " not below bidNextB");
    Payload(bid);
  }
  CountReferences();
}

bool NdbTestReader::CheckPage(uint64_t ib, uint64_t bid, uint8_t ptype) {
  if (ib % 512 != 0 || ib + 512 > f_.size()) {
    Fault("page at " + Hex(ib) + " misplaced");
    return false;
  }
  std::span<const uint8_t> p(f_.data() + ib, 512);
  const bool sig = ptype == 0x80 || ptype == 0x81 || ptype == 0x86;
  if (p[496] != ptype || p[497] != ptype) Fault("ptype at " + Hex(ib));
  if (GetU16(p, 498) != (sig ? Sig(ib, bid) : 0)) Fault("page wSig at " + Hex(ib));
  if (GetU32(p, 500) != ComputePstCrc(p.first(496))) Fault("page CRC at " + Hex(ib));
  if (GetU64(p, 504) != bid) Fault("page BID at " + Hex(ib));
  return true;
}

void NdbTestReader::Walk(uint64_t ib, uint64_t bid, uint8_t ptype, int expectLevel, uint64_t lowKey,
                         bool hasLow, uint8_t& depth) {
  if (!CheckPage(ib, bid, ptype)) return;
  if (!pages_.insert(ib).second) Fault("page at " + Hex(ib) + " used twice");
  if (bid >= bidNextP) Fault("page BID " + Hex(bid) + " not below bidNextP");
  std::span<const uint8_t> p(f_.data() + ib, 512);
  const uint8_t cEnt = p[488], cEntMax = p[489], cbEnt = p[490], level = p[491];
  if (expectLevel >= 0 && level != expectLevel) Fault("page level at " + Hex(ib));
  if (expectLevel < 0) depth = static_cast<uint8_t>(level + 1);
  const uint8_t wantCb = level > 0 ? 24 : (ptype == 0x81 ? 32 : 24);
  if (cbEnt != wantCb || cEntMax != 488 / wantCb || cEnt > cEntMax) {
    Fault("page counts at " + Hex(ib));
    return;
  }
  if (expectLevel >= 0 && cEnt == 0) Fault("empty non-root page at " + Hex(ib));
  uint64_t prev = 0;
  for (size_t i = 0; i < cEnt; ++i) {
    const size_t at = i * cbEnt;
    const uint64_t key = GetU64(p, at);
    if (i > 0 && key <= prev) Fault("keys out of order at " + Hex(ib));
    if (i == 0 && hasLow && key != lowKey) Fault("first key differs from parent's at " + Hex(ib));
    prev = key;
    if (level > 0) {
      uint8_t ignored = 0;
      Walk(GetU64(p, at + 16), GetU64(p, at + 8), ptype, level - 1, key, true, ignored);
    } else if (ptype == 0x81) {
      if (key > 0xFFFFFFFFu) Fault("NID wider than 32 bits");
      nodes_[static_cast<uint32_t>(key)] = {GetU64(p, at + 8), GetU64(p, at + 16), GetU32(p, at + 24)};
    } else {
      blocks_[key] = {GetU64(p, at + 8), GetU16(p, at + 16), GetU16(p, at + 18)};
    }
  }
}

std::vector<uint8_t> NdbTestReader::Payload(uint64_t bid) {
  auto it = blocks_.find(bid);
  if (it == blocks_.end()) {
    Fault("BID " + Hex(bid) + " not in the BBT");
    return {};
  }
  const TestBlock& b = it->second;
  const uint64_t size = (b.cb + 16 + 63) / 64 * 64;
  if (b.ib % 64 != 0 || b.ib + size > f_.size() || size > 8192) {
    Fault("block " + Hex(bid) + " misplaced");
    return {};
  }
  if ((b.ib - kFirstAMap) / kCoverage != (b.ib + size - 1 - kFirstAMap) / kCoverage)
    Fault("block " + Hex(bid) + " straddles a section boundary");
  std::span<const uint8_t> s(f_.data() + b.ib, size);
  const size_t t = size - 16;
  if (GetU16(s, t) != b.cb || GetU16(s, t + 2) != Sig(b.ib, bid) ||
      GetU32(s, t + 4) != ComputePstCrc(s.first(b.cb)) || GetU64(s, t + 8) != bid)
    Fault("block trailer of " + Hex(bid));
  return {s.begin(), s.begin() + b.cb};
}

void NdbTestReader::CountReferences() {
  std::map<uint64_t, int> refs;
  for (const auto& [nid, n] : nodes_) {
    if (n.data) ++refs[n.data];  // 0: a node with no data block (Outlook's empty queues)
    if (n.subnodes) ++refs[n.subnodes];
  }
  for (const auto& [bid, b] : blocks_) {
    if (!(bid & 2)) continue;
    std::vector<uint8_t> p = Payload(bid);
    if (p.size() < 8) continue;
    const size_t n = GetU16(p, 2);
    if (p[0] == 1) {
      if (GetU32(p, 4) == 0 || 8 + 8 * n != p.size()) Fault("XBLOCK layout " + Hex(bid));
      for (size_t i = 0; i < n && 16 + 8 * i <= p.size(); ++i) ++refs[GetU64(p, 8 + 8 * i)];
    } else if (p[0] == 2 && p[1] == 0) {
      if (8 + 24 * n != p.size()) Fault("SLBLOCK layout " + Hex(bid));
      for (size_t i = 0; i < n && 32 + 24 * i <= p.size(); ++i) {
        ++refs[GetU64(p, 16 + 24 * i)];
        if (GetU64(p, 24 + 24 * i)) ++refs[GetU64(p, 24 + 24 * i)];
      }
    } else if (p[0] == 2 && p[1] == 1) {
      if (8 + 16 * n != p.size()) Fault("SIBLOCK layout " + Hex(bid));
      for (size_t i = 0; i < n && 24 + 16 * i <= p.size(); ++i) ++refs[GetU64(p, 16 + 16 * i)];
    } else {
      Fault("unknown internal block " + Hex(bid));
    }
  }
  for (const auto& [bid, count] : refs)
    if (!blocks_.count(bid)) Fault("reference to missing block " + Hex(bid));
  for (const auto& [bid, b] : blocks_) {
    const int count = refs.count(bid) ? refs[bid] : 0;
    if (count == 0) Fault("unreferenced block " + Hex(bid));
    if (b.cRef != count + 1) Fault("cRef of " + Hex(bid) + " is " + std::to_string(b.cRef) +
                                   ", references " + std::to_string(count));
  }
}

void NdbTestReader::CheckMaps() {
  if (fAMapValid != 2) Fault("fAMapValid " + std::to_string(fAMapValid));
  const size_t sections = static_cast<size_t>((ibFileEof - kFirstAMap) / kCoverage);
  std::vector<std::vector<bool>> want(sections, std::vector<bool>(3968, false));
  auto mark = [&](uint64_t ib, uint64_t bytes, const std::string& what) {
    for (uint64_t at = ib; at < ib + bytes; at += 64) {
      const size_t s = static_cast<size_t>((at - kFirstAMap) / kCoverage);
      const size_t slot = static_cast<size_t>((at - kFirstAMap) % kCoverage / 64);
      if (at < kFirstAMap || s >= sections) {
        Fault(what + " outside the mapped area");
        return;
      }
      if (want[s][slot]) Fault(what + " overlaps something else at " + Hex(at));
      want[s][slot] = true;
    }
  };
  uint64_t freeSlots = 0;
  for (size_t s = 0; s < sections; ++s) {
    uint64_t ib = kFirstAMap + s * kCoverage;
    CheckPage(ib, ib, 0x84);
    mark(ib, 512, "AMap");
    if (s % 8 == 0) {
      CheckPage(ib + 512, ib + 512, 0x83);
      mark(ib + 512, 512, "PMap");
      ib += 512;
    }
    if (s >= 128 && (s - 128) % 496 == 0) {
      CheckPage(ib + 512, ib + 512, 0x82);
      mark(ib + 512, 512, "FMap");
      ib += 512;
    }
  }
  for (uint64_t ib : pages_) mark(ib, 512, "B-tree page");
  for (const auto& [bid, b] : blocks_) mark(b.ib, (b.cb + 16 + 63) / 64 * 64, "block " + Hex(bid));
  for (size_t s = 0; s < sections; ++s) {
    const uint8_t* bits = f_.data() + kFirstAMap + s * kCoverage;
    for (size_t slot = 0; slot < 3968; ++slot) {
      const bool set = (bits[slot / 8] & (0x80 >> (slot % 8))) != 0;
      if (!set) ++freeSlots;
      if (set != want[s][slot]) {
        Fault("AMap " + std::to_string(s) + " slot " + std::to_string(slot) + (set ? " marked but unused" : " used but free"));
        return;
      }
    }
  }
  if (freeSlots * 64 != cbAMapFree) Fault("cbAMapFree " + std::to_string(cbAMapFree) + " but bitmaps say " + std::to_string(freeSlots * 64));
}

std::vector<uint8_t> NdbTestReader::Stream(uint64_t bid) {
  std::vector<uint8_t> out;
  if (!(bid & 2)) {
    out = Payload(bid);
    PermuteDecode(out);
    return out;
  }
  std::vector<uint8_t> p = Payload(bid);
  if (p.size() < 8 || p[0] != 1) {
    Fault("not a data tree " + Hex(bid));
    return {};
  }
  const size_t n = GetU16(p, 2);
  const uint32_t total = GetU32(p, 4);
  for (size_t i = 0; i < n; ++i) {
    const uint64_t child = GetU64(p, 8 + 8 * i);
    std::vector<uint8_t> part;
    if (p[1] == 2) {
      part = Stream(child);
    } else {
      part = Payload(child);
      PermuteDecode(part);
    }
    out.insert(out.end(), part.begin(), part.end());
  }
  if (out.size() != total) Fault("lcbTotal of " + Hex(bid));
  return out;
}

std::vector<TestSubnode> NdbTestReader::Subnodes(uint64_t bid) {
  std::vector<TestSubnode> out;
  std::vector<uint8_t> p = Payload(bid);
  if (p.size() < 8 || p[0] != 2) {
    Fault("not a subnode tree " + Hex(bid));
    return out;
  }
  const size_t n = GetU16(p, 2);
  for (size_t i = 0; i < n; ++i) {
    if (p[1] == 0) {
      out.push_back({static_cast<uint32_t>(GetU64(p, 8 + 24 * i)), GetU64(p, 16 + 24 * i), GetU64(p, 24 + 24 * i)});
    } else {
      const uint64_t key = GetU64(p, 8 + 16 * i);
      std::vector<TestSubnode> leaf = Subnodes(GetU64(p, 16 + 16 * i));
      if (leaf.empty() || leaf.front().nid != key) Fault("SIENTRY key differs from its SLBLOCK");
      out.insert(out.end(), leaf.begin(), leaf.end());
    }
  }
  return out;
}

}  // namespace pst::testing

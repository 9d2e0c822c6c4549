// SPDX-License-Identifier: GPL-3.0-or-later
// A small reader of heaps, BTHs, property contexts and table contexts,
// written from [MS-PST] 2.3 independently of the writer, so tests can decode
// what the writer produced and compare it with what went in.
#pragma once

#include <map>
#include <optional>
#include <vector>

#include "pst/coding.h"
#include "pst/ndb/node_store.h"

namespace pst::testing {

struct HeapView {
  uint8_t clientSig = 0;
  uint32_t userRoot = 0;
  std::vector<std::vector<uint8_t>> pages;

  std::vector<uint8_t> Get(uint32_t hid) const {
    const auto& p = pages.at(hid >> 16);
    uint32_t index = (hid >> 5) & 0x7FF;
    uint16_t map = GetU16(p, 0);
    uint16_t count = GetU16(p, map);
    if (index == 0 || index > count) throw PstError("reader: HID out of range");
    uint16_t from = GetU16(p, map + 4 + 2 * (index - 1));
    uint16_t to = GetU16(p, map + 4 + 2 * index);
    return {p.begin() + from, p.begin() + to};
  }
};

inline HeapView ReadHeap(NodeStore& store, Bid data) {
  HeapView h;
  for (Bid b : store.DataTreeBlocks(data)) h.pages.push_back(store.ReadBlock(b));
  const auto& p0 = h.pages.at(0);
  if (p0.at(2) != 0xEC) throw PstError("reader: no heap signature");
  h.clientSig = p0[3];
  h.userRoot = GetU32(p0, 4);
  return h;
}

// key -> data of every leaf record.
inline std::map<uint32_t, std::vector<uint8_t>> ReadBth(const HeapView& h, uint32_t header) {
  auto hdr = h.Get(header);
  if (hdr.at(0) != 0xB5) throw PstError("reader: not a BTH");
  size_t cbKey = hdr[1], cbEnt = hdr[2], levels = hdr[3];
  uint32_t root = GetU32(hdr, 4);
  std::map<uint32_t, std::vector<uint8_t>> out;
  if (root == 0) return out;
  auto key = [&](const std::vector<uint8_t>& b, size_t at) {
    uint32_t k = 0;
    for (size_t i = 0; i < cbKey; ++i) k |= static_cast<uint32_t>(b[at + i]) << (8 * i);
    return k;
  };
  std::vector<uint32_t> level = {root};
  for (size_t l = levels; l > 0; --l) {
    std::vector<uint32_t> next;
    for (uint32_t hid : level) {
      auto node = h.Get(hid);
      for (size_t at = 0; at + cbKey + 4 <= node.size(); at += cbKey + 4) next.push_back(GetU32(node, at + cbKey));
    }
    level = next;
  }
  std::optional<uint32_t> last;
  for (uint32_t hid : level) {
    auto node = h.Get(hid);
    if (node.size() % (cbKey + cbEnt)) throw PstError("reader: ragged leaf");
    for (size_t at = 0; at < node.size(); at += cbKey + cbEnt) {
      uint32_t k = key(node, at);
      if (last && k <= *last) throw PstError("reader: keys out of order");
      last = k;
      out[k] = {node.begin() + static_cast<std::ptrdiff_t>(at + cbKey),
                node.begin() + static_cast<std::ptrdiff_t>(at + cbKey + cbEnt)};
    }
  }
  return out;
}

inline size_t ReaderFixedSize(uint16_t type) {
  switch (type) {
    case 0x000B: return 1;
    case 0x0002: return 2;
    case 0x0003: case 0x0004: case 0x000A: return 4;
    case 0x0005: case 0x0006: case 0x0007: case 0x0014: case 0x0040: return 8;
    case 0x0048: return 16;
    default: return 0;
  }
}

// The value bytes behind an HNID, from the heap or a subnode.
inline std::vector<uint8_t> ReadHnid(NodeStore& store, const HeapView& h, Bid subnodes, uint32_t hnid) {
  if (hnid == 0) return {};
  if ((hnid & 0x1F) == 0) return h.Get(hnid);
  for (const auto& e : store.ReadSubnodeTree(subnodes)) {
    if (e.nid == hnid) return store.ReadDataTree(e.data);
  }
  throw PstError("reader: missing subnode");
}

struct PcValue {
  uint16_t type;
  std::vector<uint8_t> bytes;
};

inline std::map<uint16_t, PcValue> ReadPc(NodeStore& store, Bid data, Bid subnodes) {
  HeapView h = ReadHeap(store, data);
  if (h.clientSig != 0xBC) throw PstError("reader: not a PC");
  auto hdr = h.Get(h.userRoot);
  if (hdr.at(1) != 2 || hdr.at(2) != 6) throw PstError("reader: PC BTH sizes");
  std::map<uint16_t, PcValue> out;
  for (const auto& [id, ent] : ReadBth(h, h.userRoot)) {
    uint16_t type = GetU16(ent, 0);
    uint32_t v = GetU32(ent, 2);
    size_t fixed = ReaderFixedSize(type);
    PcValue pv{type, {}};
    if (fixed != 0 && fixed <= 4) {
      for (size_t i = 0; i < fixed; ++i) pv.bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    } else {
      pv.bytes = ReadHnid(store, h, subnodes, v);
    }
    out[static_cast<uint16_t>(id)] = pv;
  }
  return out;
}

struct TcView {
  std::vector<uint32_t> tags;  // in TCINFO order
  std::map<uint32_t, uint32_t> rowIndex;  // row id -> index
  // One map per row: tag -> value bytes (absent cells are missing).
  std::vector<std::map<uint32_t, std::vector<uint8_t>>> rows;
  uint16_t rgib[4] = {};
};

inline TcView ReadTc(NodeStore& store, Bid data, Bid subnodes) {
  HeapView h = ReadHeap(store, data);
  if (h.clientSig != 0x7C) throw PstError("reader: not a TC");
  auto info = h.Get(h.userRoot);
  TcView tc;
  size_t cols = info.at(1);
  for (int i = 0; i < 4; ++i) tc.rgib[i] = GetU16(info, 2 + 2 * i);
  uint32_t hidRowIndex = GetU32(info, 10), hnidRows = GetU32(info, 14);
  struct Col { uint32_t tag; uint16_t ib; uint8_t cb; uint8_t bit; };
  std::vector<Col> cs;
  for (size_t i = 0; i < cols; ++i) {
    size_t at = 22 + 8 * i;
    cs.push_back({GetU32(info, at), GetU16(info, at + 4), info[at + 6], info[at + 7]});
    tc.tags.push_back(cs.back().tag);
  }
  for (const auto& [k, v] : ReadBth(h, hidRowIndex)) tc.rowIndex[k] = GetU32(v, 0);
  size_t rowSize = tc.rgib[3];
  std::vector<std::vector<uint8_t>> blocks;
  if (hnidRows != 0) {
    if ((hnidRows & 0x1F) == 0) {
      blocks.push_back(h.Get(hnidRows));
    } else {
      Bid tree = 0;
      for (const auto& e : store.ReadSubnodeTree(subnodes)) if (e.nid == hnidRows) tree = e.data;
      for (Bid b : store.DataTreeBlocks(tree)) blocks.push_back(store.ReadBlock(b));
    }
  }
  size_t perBlock = kMaxBlockPayload / rowSize;
  for (size_t r = 0; r < tc.rowIndex.size(); ++r) {
    const auto& blk = blocks.size() == 1 && (hnidRows & 0x1F) == 0 ? blocks[0] : blocks.at(r / perBlock);
    size_t at = (blocks.size() == 1 && (hnidRows & 0x1F) == 0) ? r * rowSize : (r % perBlock) * rowSize;
    std::vector<uint8_t> row(blk.begin() + static_cast<std::ptrdiff_t>(at),
                             blk.begin() + static_cast<std::ptrdiff_t>(at + rowSize));
    std::map<uint32_t, std::vector<uint8_t>> cells;
    for (const Col& c : cs) {
      if (!(row[tc.rgib[2] + c.bit / 8] & (0x80 >> (c.bit % 8)))) continue;
      size_t fixed = ReaderFixedSize(static_cast<uint16_t>(c.tag & 0xFFFF));
      if (fixed != 0 && fixed <= 8) {
        cells[c.tag] = {row.begin() + c.ib, row.begin() + c.ib + static_cast<std::ptrdiff_t>(fixed)};
      } else {
        cells[c.tag] = ReadHnid(store, h, subnodes, GetU32(row, c.ib));
      }
    }
    tc.rows.push_back(cells);
  }
  return tc;
}

}  // namespace pst::testing

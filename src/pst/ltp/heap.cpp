// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/ltp/heap.h"

#include <stdexcept>
#include <string>

#include "model/invariant.h"
#include "pst/coding.h"

namespace pst::ltp {

namespace {

constexpr uint8_t kHeapSig = 0xEC;
constexpr size_t kMaxSlots = 2047;  // hidIndex has 11 bits

bool IsBitmapPage(size_t page) { return page % 128 == 8; }

// Fill level of a page from its free bytes ([MS-PST] 2.3.1.2, FILL_LEVEL_*).
uint8_t FillLevel(size_t freeBytes) {
  static constexpr size_t kLimits[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768,
                                       512,  256,  128,  64,   32,   16,   8};
  for (size_t i = 0; i < std::size(kLimits); ++i) {
    if (freeBytes >= kLimits[i]) return static_cast<uint8_t>(i);
  }
  return 15;
}

void SetNibble(std::vector<uint8_t>& out, size_t at, size_t i, uint8_t v) {
  uint8_t& b = out[at + i / 2];
  if (i % 2 == 0) {
    b = static_cast<uint8_t>((b & 0xF0) | v);
  } else {
    b = static_cast<uint8_t>((b & 0x0F) | (v << 4));
  }
}

}  // namespace

Heap::Heap(NodeStore& store, uint8_t clientSig) : store_(store), clientSig_(clientSig) {
  pages_.emplace_back();
}

size_t Heap::HeaderSize(size_t page) {
  if (page == 0) return 12;
  return IsBitmapPage(page) ? 66 : 2;
}

size_t Heap::EncodedSize(size_t page, size_t slotCount, size_t dataBytes) {
  size_t mapAt = HeaderSize(page) + dataBytes;
  mapAt += mapAt % 2;
  return mapAt + 4 + 2 * (slotCount + 1);
}

Heap::Page& Heap::Load(uint32_t page) {
  VERDALINE_INVARIANT(page < pages_.size(), "heap: HID names page " + std::to_string(page) + " beyond the heap");
  Page& p = pages_[page];
  if (p.loaded) return p;
  std::vector<uint8_t> block = store_.ReadBlock(p.bid);
  uint16_t ibHnpm = GetU16(block, 0);
  uint16_t cAlloc = GetU16(block, ibHnpm);
  p.slots.assign(cAlloc, {});
  for (size_t i = 0; i < cAlloc; ++i) {
    uint16_t from = GetU16(block, ibHnpm + 4 + 2 * i);
    uint16_t to = GetU16(block, ibHnpm + 4 + 2 * (i + 1));
    p.slots[i].assign(block.begin() + from, block.begin() + to);
  }
  p.loaded = true;
  return p;
}

Heap::Page& Heap::Touch(uint32_t page) {
  Page& p = Load(page);
  p.dirty = true;
  return p;
}

Hid Heap::Allocate(std::span<const uint8_t> bytes) {
  if (bytes.empty() || bytes.size() > kMaxHeapAlloc) {
    throw PstError("heap: allocation of " + std::to_string(bytes.size()) + " bytes");
  }
  uint32_t last = static_cast<uint32_t>(pages_.size() - 1);
  {
    // A freed index of the last page is taken again before the page map grows.
    Page& lp = Load(last);
    if (lp.freed > 0 && EncodedSize(last, lp.slotCount, lp.dataBytes + bytes.size()) <= kMaxBlockPayload) {
      for (size_t i = 0; i < lp.slots.size(); ++i) {
        if (!lp.slots[i].empty()) continue;
        lp.dirty = true;
        lp.slots[i].assign(bytes.begin(), bytes.end());
        lp.dataBytes += bytes.size();
        --lp.freed;
        return MakeHid(last, static_cast<uint32_t>(i + 1));
      }
    }
    if (lp.slotCount >= kMaxSlots ||
        EncodedSize(last, lp.slotCount + 1, lp.dataBytes + bytes.size()) > kMaxBlockPayload) {
      pages_.emplace_back();
      last = static_cast<uint32_t>(pages_.size() - 1);
    }
  }
  Page& p = Touch(last);
  p.slots.emplace_back(bytes.begin(), bytes.end());
  p.slotCount = p.slots.size();
  p.dataBytes += bytes.size();
  return MakeHid(last, static_cast<uint32_t>(p.slotCount));
}

void Heap::Rewrite(Hid hid, std::span<const uint8_t> bytes) {
  VERDALINE_INVARIANT(!bytes.empty() && bytes.size() <= kMaxHeapAlloc, "heap: rewrite of bad size");
  uint32_t page = HidPage(hid), index = HidIndex(hid);
  Page& p = Touch(page);
  VERDALINE_INVARIANT(index != 0 && index <= p.slots.size(), "heap: bad HID");
  std::vector<uint8_t>& slot = p.slots[index - 1];
  if (EncodedSize(page, p.slotCount, p.dataBytes - slot.size() + bytes.size()) > kMaxBlockPayload) {
    throw PstError("heap: rewrite does not fit its page");
  }
  p.dataBytes = p.dataBytes - slot.size() + bytes.size();
  slot.assign(bytes.begin(), bytes.end());
}

void Heap::Free(Hid hid) {
  uint32_t page = HidPage(hid), index = HidIndex(hid);
  Page& p = Touch(page);
  VERDALINE_INVARIANT(index != 0 && index <= p.slots.size(), "heap: bad HID");
  std::vector<uint8_t>& slot = p.slots[index - 1];
  p.dataBytes -= slot.size();
  slot.clear();
  ++p.freed;
}

std::vector<uint8_t> Heap::Read(Hid hid) {
  uint32_t page = HidPage(hid), index = HidIndex(hid);
  Page& p = Load(page);
  VERDALINE_INVARIANT(index != 0 && index <= p.slots.size(), "heap: bad HID");
  return p.slots[index - 1];
}

void Heap::SetUserRoot(Hid hid) {
  if (hid != userRoot_) {
    userRoot_ = hid;
    rootDirty_ = true;
  }
}

std::vector<uint8_t> Heap::Encode(size_t index) {
  Page& p = Load(static_cast<uint32_t>(index));
  size_t header = HeaderSize(index);
  std::vector<uint8_t> out(header, 0);
  std::vector<uint16_t> offsets;
  offsets.reserve(p.slots.size() + 1);
  for (const auto& s : p.slots) {
    offsets.push_back(static_cast<uint16_t>(out.size()));
    PutBytes(out, s);
  }
  offsets.push_back(static_cast<uint16_t>(out.size()));
  if (out.size() % 2) out.push_back(0);
  uint16_t ibHnpm = static_cast<uint16_t>(out.size());
  PutU16(out, static_cast<uint16_t>(p.slots.size()));
  PutU16(out, static_cast<uint16_t>(p.freed));
  for (uint16_t o : offsets) PutU16(out, o);
  StoreU16(out, 0, ibHnpm);
  if (index == 0) {
    out[2] = kHeapSig;
    out[3] = clientSig_;
    StoreU32(out, 4, userRoot_);
    for (size_t i = 0; i < 8 && i < pages_.size(); ++i) SetNibble(out, 8, i, pages_[i].fillLevel);
  } else if (IsBitmapPage(index)) {
    for (size_t i = 0; i < 128 && index + i < pages_.size(); ++i) {
      SetNibble(out, 2, i, pages_[index + i].fillLevel);
    }
  }
  return out;
}

Bid Heap::Flush(bool dropClean) {
  // Fill levels first: a change marks the page that records it.
  for (size_t i = 0; i < pages_.size(); ++i) {
    Page& p = pages_[i];
    size_t used = EncodedSize(i, p.slotCount, p.dataBytes);
    uint8_t level = FillLevel(kMaxBlockPayload - used);
    if (level != p.fillLevel || p.bid == 0) {
      p.fillLevel = level;
      if (i < 8) {
        Touch(0);
      } else {
        Touch(static_cast<uint32_t>(i - (i - 8) % 128));
      }
    }
  }
  if (rootDirty_) Touch(0);
  std::vector<Bid> bids;
  bids.reserve(pages_.size());
  uint64_t total = 0;
  for (size_t i = 0; i < pages_.size(); ++i) {
    Page& p = pages_[i];
    if (p.dirty || p.bid == 0) {
      std::vector<uint8_t> bytes = Encode(i);
      p.bid = store_.WriteBlock(bytes);
      p.dirty = false;
    }
    total += EncodedSize(i, p.slotCount, p.dataBytes);
    bids.push_back(p.bid);
  }
  rootDirty_ = false;
  if (dropClean) {
    for (size_t i = 0; i + 1 < pages_.size(); ++i) {
      if (pages_[i].loaded) {
        pages_[i].slots.clear();
        pages_[i].slots.shrink_to_fit();
        pages_[i].loaded = false;
      }
    }
  }
  return store_.WriteDataTree(bids, total);
}

}  // namespace pst::ltp

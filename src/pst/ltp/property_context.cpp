// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/ltp/property_context.h"

#include <array>

#include "pst/coding.h"
#include "pst/ltp/prop_encoding.h"

namespace pst::ltp {

PcBuilder::PcBuilder(NodeStore& store, Subnodes& subs)
    : store_(store), subs_(subs), heap_(store, kClientSigPC), bth_(heap_, 2, 6) {
  heap_.SetUserRoot(bth_.header());
}

void PcBuilder::Record(uint16_t id, uint16_t type, uint32_t value) {
  std::array<uint8_t, 6> ent;  // wPropType, dwValueHnid ([MS-PST] 2.3.3.3)
  StoreU16(ent, 0, type);
  StoreU32(ent, 2, value);
  bth_.Put(id, ent);
}

void PcBuilder::Defer(uint16_t id, uint16_t type, std::vector<uint8_t> bytes) {
  Record(id, type, 0);
  pending_.push_back({id, type, std::move(bytes)});
}

void PcBuilder::Set(uint16_t id, const PropValue& value) {
  PropType t = DiskType(value.type);
  std::vector<uint8_t> bytes = EncodeValue(value);
  size_t fixed = FixedSize(t);
  if (fixed != 0 && fixed <= 4) {
    uint32_t v = 0;
    for (size_t i = 0; i < bytes.size(); ++i) v |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    valueBytes_ += fixed;
    Record(id, static_cast<uint16_t>(t), v);
    return;
  }
  SetBytes(id, static_cast<uint16_t>(t), bytes);
}

void PcBuilder::SetBytes(uint16_t id, uint16_t type, std::span<const uint8_t> bytes) {
  valueBytes_ += bytes.size();
  if (bytes.empty()) {
    Record(id, type, 0);
  } else if (bytes.size() <= kMaxHeapAlloc) {
    Defer(id, type, {bytes.begin(), bytes.end()});
  } else {
    const SpanSource src(bytes);
    Nid nid = store_.AllocateNid(kNidTypeLtp);
    subs_.Add(nid, store_.WriteStream(src));
    Record(id, type, nid);
  }
}

void PcBuilder::SetStream(uint16_t id, uint16_t type, const ByteSource& src) {
  if (src.size() <= kMaxHeapAlloc) {
    SetBytes(id, type, ReadAll(src));
    return;
  }
  valueBytes_ += src.size();
  Nid nid = store_.AllocateNid(kNidTypeLtp);
  subs_.Add(nid, store_.WriteStream(src));
  Record(id, type, nid);
}

void PcBuilder::SetObject(uint16_t id, Nid subnode, uint32_t size) {
  std::vector<uint8_t> v;
  PutU32(v, subnode);
  PutU32(v, size);
  valueBytes_ += size;
  Defer(id, kTypeObject, std::move(v));
}

Bid PcBuilder::Finish() {
  bth_.Flush();
  for (Pending& p : pending_) Record(p.id, p.type, heap_.Allocate(p.bytes));
  pending_.clear();
  bth_.Flush();
  return heap_.Flush(false);
}

}  // namespace pst::ltp

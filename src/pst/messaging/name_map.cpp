// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/messaging/name_map.h"

#include <algorithm>

#include "pst/coding.h"
#include "pst/crc.h"
#include "pst/ltp/property_context.h"
#include "pst/messaging/nids.h"
#include "pst/prop_tags.h"

namespace pst::messaging {

uint16_t NameToIdMap::GuidIndex(const Guid& g) {
  if (g == tags::kPsMapi) return 1;
  if (g == tags::kPsPublicStrings) return 2;
  for (size_t i = 0; i < guids_.size(); i += 16) {
    if (std::equal(g.begin(), g.end(), guids_.begin() + static_cast<std::ptrdiff_t>(i))) {
      return static_cast<uint16_t>(3 + i / 16);
    }
  }
  PutBytes(guids_, g);
  return static_cast<uint16_t>(3 + guids_.size() / 16 - 1);
}

uint16_t NameToIdMap::Map(const NamedProp& name) {
  auto it = ids_.find(name);
  if (it != ids_.end()) return it->second;
  if (entries_.size() >= 0x7FFE) throw PstError("name-to-id map is full");
  Entry e{};
  e.guidIndex = GuidIndex(name.guid);
  e.propIdx = static_cast<uint16_t>(entries_.size());
  if (name.lid) {
    e.propertyId = *name.lid;
  } else {
    std::vector<uint8_t> s = Utf16LeFromUtf8(name.name);
    e.isString = true;
    e.propertyId = static_cast<uint32_t>(strings_.size());
    e.stringCrc = ComputePstCrc(s);
    PutU32(strings_, static_cast<uint32_t>(s.size()));
    PutBytes(strings_, s);
    while (strings_.size() % 4) strings_.push_back(0);
  }
  entries_.push_back(e);
  uint16_t id = static_cast<uint16_t>(0x8000 + e.propIdx);
  ids_[name] = id;
  dirty_ = true;
  return id;
}

std::vector<uint8_t> NameToIdMap::EntryStream() const {
  std::vector<uint8_t> out;
  for (const Entry& e : entries_) {
    PutU32(out, e.propertyId);
    PutU16(out, static_cast<uint16_t>((e.guidIndex << 1) | (e.isString ? 1 : 0)));
    PutU16(out, e.propIdx);
  }
  return out;
}

std::vector<std::vector<uint8_t>> NameToIdMap::Buckets() const {
  std::vector<std::vector<uint8_t>> buckets(kBucketCount);
  for (const Entry& e : entries_) {
    // A string name hashes (and is recorded by) the CRC of its UTF-16LE
    // text, a numeric one by its number; the entry stream keeps the offset.
    uint16_t low = static_cast<uint16_t>((e.guidIndex << 1) | (e.isString ? 1 : 0));
    uint32_t key = e.isString ? e.stringCrc : e.propertyId;
    std::vector<uint8_t>& b = buckets[(key ^ low) % kBucketCount];
    PutU32(b, key);
    PutU16(b, low);
    PutU16(b, e.propIdx);
  }
  return buckets;
}

void NameToIdMap::Write(NodeStore& store) {
  ltp::Subnodes subs;
  ltp::PcBuilder pc(store, subs);
  pc.Set(0x0001, {PropType::Int32, static_cast<int32_t>(kBucketCount)});  // PidTagNameidBucketCount
  pc.SetBytes(0x0002, static_cast<uint16_t>(PropType::Binary), guids_);   // PidTagNameidStreamGuid
  pc.SetBytes(0x0003, static_cast<uint16_t>(PropType::Binary), EntryStream());
  pc.SetBytes(0x0004, static_cast<uint16_t>(PropType::Binary), strings_);
  auto buckets = Buckets();
  // Like Outlook, a bucket no name falls into is left out of the PC.
  for (uint32_t i = 0; i < kBucketCount; ++i) {
    if (buckets[i].empty()) continue;
    pc.SetBytes(static_cast<uint16_t>(0x1000 + i), static_cast<uint16_t>(PropType::Binary), buckets[i]);
  }
  Bid data = pc.Finish();
  store.SetNode(kNidNameToIdMap, data, subs.Write(store), 0);
  dirty_ = false;
}

}  // namespace pst::messaging

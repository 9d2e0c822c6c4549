// SPDX-License-Identifier: GPL-3.0-or-later
// The name-to-ID map ([MS-PST] 2.4.7): named properties (GUID + number or
// string) get property ids from 0x8000 on. Stored as a PC at NID 0x61 with
// the GUID, entry and string streams and 251 hash buckets of NAMEID records.
//
// A string name's bucket and bucket record use the CRC-32 of its UTF-16LE
// text, while its entry-stream record holds its offset in the string stream;
// numeric names hash their number. Empty buckets are not stored.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "pst/message.h"
#include "pst/ndb/node_store.h"

namespace pst::messaging {

class NameToIdMap {
 public:
  static constexpr uint32_t kBucketCount = 251;

  // The property id of name, assigning the next free one when it is new.
  uint16_t Map(const NamedProp& name);
  size_t size() const { return entries_.size(); }
  bool dirty() const { return dirty_; }

  // Writes the map's PC as the node NID_NAME_TO_ID_MAP.
  void Write(NodeStore& store);

  // The streams as written, for tests.
  std::vector<uint8_t> GuidStream() const { return guids_; }
  std::vector<uint8_t> EntryStream() const;
  std::vector<uint8_t> StringStream() const { return strings_; }
  std::vector<std::vector<uint8_t>> Buckets() const;

 private:
  struct Entry {
    uint32_t propertyId;  // number, or offset into the string stream
    uint16_t guidIndex;   // wGuid
    bool isString;
    uint16_t propIdx;
    uint32_t stringCrc;
  };
  uint16_t GuidIndex(const Guid& g);

  std::map<NamedProp, uint16_t> ids_;
  std::vector<Entry> entries_;
  std::vector<uint8_t> guids_;
  std::vector<uint8_t> strings_;
  bool dirty_ = true;
};

}  // namespace pst::messaging

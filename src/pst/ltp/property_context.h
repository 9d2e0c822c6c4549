// SPDX-License-Identifier: GPL-3.0-or-later
// A property context ([MS-PST] 2.3.3): a heap whose user root is a BTH of
// 2-byte property ids to PROPBTHENTRY (type + 4-byte value or HNID).
//
// Values of four bytes or less sit in the record; larger fixed values and
// variable values up to 3580 bytes go into the heap; larger ones into a
// subnode of type NID_TYPE_LTP. Empty variable values are HNID 0, as Outlook
// writes them.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "pst/ltp/bth.h"
#include "pst/ltp/heap.h"
#include "pst/ltp/subnodes.h"
#include "pst/message.h"

namespace pst::ltp {

class PcBuilder {
 public:
  // Subnodes for large values are added to subs.
  PcBuilder(NodeStore& store, Subnodes& subs);
  PcBuilder(const PcBuilder&) = delete;
  PcBuilder& operator=(const PcBuilder&) = delete;

  // Adds the property id with value (8-bit strings become Unicode).
  // REQUIRES: each id is set once.
  void Set(uint16_t id, const PropValue& value);
  // A value already in its on-disk form.
  void SetBytes(uint16_t id, uint16_t type, std::span<const uint8_t> bytes);
  // A binary value read from a stream; goes to a subnode unless small.
  void SetStream(uint16_t id, uint16_t type, const ByteSource& src);
  // A PtypObject value: the subnode nid holding the object and its size.
  void SetObject(uint16_t id, Nid subnode, uint32_t size);

  // Total bytes of the values stored so far.
  uint64_t valueBytes() const { return valueBytes_; }
  // Writes the heap; returns its data tree.
  Bid Finish();

 private:
  void Record(uint16_t id, uint16_t type, uint32_t value);
  void Defer(uint16_t id, uint16_t type, std::vector<uint8_t> bytes);

  // Heap values wait until Finish, so that the BTH leaf comes first in the
  // heap and the values follow in the order they were set (as Outlook lays
  // out its own property contexts).
  struct Pending {
    uint16_t id;
    uint16_t type;
    std::vector<uint8_t> bytes;
  };
  std::vector<Pending> pending_;

  NodeStore& store_;
  Subnodes& subs_;
  Heap heap_;
  Bth bth_;
  uint64_t valueBytes_ = 0;
};

}  // namespace pst::ltp

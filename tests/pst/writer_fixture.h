// SPDX-License-Identifier: GPL-3.0-or-later
// A PstWriter over an in-memory FakeNodeStore, with readers for the nodes it
// wrote, for tests of the messaging layer.
#pragma once

#include <chrono>
#include <memory>

#include "fake_node_store.h"
#include "ltp_reader.h"
#include "pst/pst_writer.h"

namespace pst::testing {

struct WriterFixture {
  FakeNodeStore* store = nullptr;
  std::unique_ptr<PstWriter> writer;
  WriterFixture() {
    auto s = std::make_unique<FakeNodeStore>();
    store = s.get();
    WriterOptions o;
    o.deterministic = true;
    o.commitInterval = std::chrono::hours(1);
    writer = PstWriter::CreateOnStore(std::move(s), "Store", o);
  }
  std::map<uint16_t, PcValue> Pc(Nid nid) {
    auto n = store->GetNode(nid);
    return ReadPc(*store, n.data, n.subnodes);
  }
  TcView Tc(Nid nid) {
    auto n = store->GetNode(nid);
    return ReadTc(*store, n.data, n.subnodes);
  }
  int32_t Int(Nid nid, uint16_t id) { return static_cast<int32_t>(GetU32(Pc(nid).at(id).bytes, 0)); }
};

}  // namespace pst::testing

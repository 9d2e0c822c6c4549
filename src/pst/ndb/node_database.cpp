// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/ndb/node_database.h"

#include <algorithm>
#include <functional>
#include <string>
#include <limits>
#include <random>

#include "model/invariant.h"
#include "pst/coding.h"
#include "pst/ndb/allocation_map.h"
#include "pst/ndb/cow_btree.h"
#include "pst/ndb/format.h"
#include "pst/ndb/permute.h"
#include "pst/ndb/pst_file.h"

namespace pst {

using ndb::AllocationMap;
using ndb::BbtEntry;
using ndb::Bref;
using ndb::BtEntry;
using ndb::CowBTree;
using ndb::Header;
using ndb::NbtEntry;

namespace {

struct NodeRecord {
  NbtEntry e;
  uint64_t key() const { return e.nid; }
};

// A block as the BBT knows it; refs counts the references from nodes, data
// trees and subnode trees (the on-disk cRef adds one for the BBT entry).
struct BlockRecord {
  Bid bid = 0;
  uint64_t ib = 0;
  uint16_t cb = 0;
  uint32_t refs = 0;
  uint64_t key() const { return bid; }
};

// Starting nidIndex values of a new file ([MS-PST] 2.2.2.6, rgnid).
std::array<uint32_t, 32> InitialNidCounters() {
  std::array<uint32_t, 32> r{};
  r.fill(0x400);
  r[0x03] = 0x4000;   // NID_TYPE_SEARCH_FOLDER
  r[0x04] = 0x10000;  // NID_TYPE_NORMAL_MESSAGE
  r[0x08] = 0x8000;   // NID_TYPE_ASSOC_MESSAGE
  return r;
}

}  // namespace

struct NodeDatabase::Impl {
  Impl(ndb::PstFile f, const NdbOptions& o) : file(std::move(f)), options(o) {
    // The leaves of both trees leave memory once written and are read back
    // when next looked at.
    nbt.SetLoader([this](const Bref& where) {
      std::vector<NodeRecord> records;
      for (const NbtEntry& e : ndb::DecodeNbtLeaf(ReadPage(where), where.bid)) records.push_back({e});
      return records;
    });
    bbt.SetLoader([this](const Bref& where) {
      std::vector<BlockRecord> records;
      for (const BbtEntry& e : ndb::DecodeBbtLeaf(ReadPage(where), where.bid)) {
        // The stored count holds one more, for the BBT's own entry.
        if (e.cRef == 0) throw PstError("B-tree page " + std::to_string(where.bid) + " holds a block of no references");
        records.push_back({e.bref.bid, e.bref.ib, e.cb, static_cast<uint32_t>(e.cRef - 1)});
      }
      return records;
    });
  }

  std::array<uint8_t, ndb::kPageSize> ReadPage(const Bref& where) const {
    std::array<uint8_t, ndb::kPageSize> page{};
    file.ReadAt(where.ib, page);
    return page;
  }

  ndb::PstFile file;
  NdbOptions options;
  Header committed;  // as last written with valid maps
  uint64_t bidNextB = 4;
  uint64_t bidNextP = 1;
  uint32_t dwUnique = 0;
  std::array<uint32_t, 32> rgnid = InitialNidCounters();
  AllocationMap amap;
  CowBTree<NodeRecord> nbt{ndb::kNbtLeafMax};
  CowBTree<BlockRecord> bbt{ndb::kBbtLeafMax};
  std::vector<Bid> maybeUnreferenced;
  // Nodes set or deleted since the last commit: each may change a page of
  // the node B-tree that the commit writes anew.
  size_t nodeChanges = 0;
  bool broken = false;
  std::string brokenBy;  // what broke it, for the calls refused afterwards
  bool closed = false;
  uint64_t growthLimit = 0;  // LimitGrowth; 0: none
  bool changed = false;  // anything to commit since the last commit

  // Called inside a catch block: the file takes no more calls, and those
  // refused later say why.
  void MarkBroken() {
    broken = true;
    GiveBackSinceCommit();
    try {
      throw;
    } catch (const std::exception& e) {
      if (brokenBy.empty()) brokenBy = e.what();
    } catch (...) {
    }
  }

  // Space allocated since the last commit, which no committed B-tree
  // reaches: after a failure (a full disk, most often, in the middle of a
  // large attachment) it is given back to the file system, so that the disk
  // is not left full by data the file will never use. Released pages are
  // not here: they stay reachable from the committed header until the
  // commit that releases them.
  std::vector<std::pair<uint64_t, uint64_t>> sinceCommit;  // offset, length

  void GiveBackSinceCommit() noexcept {
    for (const auto& [ib, length] : sinceCommit) file.GiveBack(ib, length);
    sinceCommit.clear();
  }

  void CheckUsable() const {
    if (closed) throw PstError("the .pst file is already closed");
    if (broken) throw PstWriteError("an earlier write to " + file.path() + " failed: " + brokenBy);
  }

  Bid NextBlockBid(bool internal) {
    const Bid bid = bidNextB | (internal ? 2u : 0u);
    bidNextB += 4;
    return bid;
  }

  Bid PutBlock(std::span<const uint8_t> payload, bool internal) {
    changed = true;
    const Bid bid = NextBlockBid(internal);
    const uint64_t ib = Allocate(ndb::BlockAllocSize(payload.size()), false);
    // The block is made where the file gathers its writes: the payload is
    // copied (and encoded) once, and sealed there.
    std::span<uint8_t> image = file.WriteInPlace(ib, ndb::BlockAllocSize(payload.size()));
    if (internal) {
      std::copy(payload.begin(), payload.end(), image.begin());
    } else {
      PermuteEncode(payload, image.first(payload.size()));
    }
    ndb::SealBlock(image, payload.size(), bid, ib);
    bbt.Upsert({bid, ib, static_cast<uint16_t>(payload.size()), 0});
    maybeUnreferenced.push_back(bid);
    return bid;
  }

  uint64_t Allocate(uint64_t bytes, bool page) {
    uint64_t ib = amap.Allocate(bytes, page);
    if (ib == 0) {
      Grow();
      ib = amap.Allocate(bytes, page);
      VERDALINE_INVARIANT(ib != 0, "no room in a new section of the file");
    }
    if (!sinceCommit.empty() && sinceCommit.back().first + sinceCommit.back().second == ib)
      sinceCommit.back().second += bytes;
    else
      sinceCommit.emplace_back(ib, bytes);
    return ib;
  }

  // Makes the file longer before anything is written past its end. The
  // file must never be shorter than the header's ibFileEof says, and the
  // two cannot change in one system call; so the file is extended first,
  // then the new sections' map pages and the header with the new size are
  // written straight after, with no sync in between. A process killed
  // between them leaves a file longer than its header says, whose tail lies
  // past every section the header names. The header keeps the committed roots and says the maps are not
  // yet to be trusted ([MS-PST] 2.6.1.3.7) until the sync after it: a machine
  // that stops before then may not have the new map pages on disk, and a
  // reader then rebuilds the maps. Grows by as much as the file has (8 to
  // 256 sections, 2.0 to 65 MB, at a time) to keep these extra syncs rare; the
  // last commit gives back what was grown and not used.
  void Grow() {
    const size_t have = amap.SectionCount();
    size_t count = std::clamp<size_t>(have, 8, 256);
    if (growthLimit > 0) {
      // Up to the limit, and a section past it only when what is to be
      // written needs one.
      const uint64_t end = amap.EndOfFile();
      const uint64_t room = growthLimit > end ? (growthLimit - end) / ndb::kAMapCoverage : 0;
      count = static_cast<size_t>(std::max<uint64_t>(1, std::min<uint64_t>(count, room)));
    }
    const size_t first = amap.AddSections(count);
    Header grown = committed;
    for (size_t i = first; i < amap.SectionCount(); ++i)
      grown.cbAMapFree += (ndb::kMapBitsSize * 8 - AllocationMap::MapPagesIn(i) * 8) * ndb::kSlotSize;
    grown.ibFileEof = amap.EndOfFile();
    grown.ibAMapLast = amap.LastAMapOffset();
    grown.dwUnique = ++dwUnique;
    grown.fAMapValid = ndb::kAMapInvalid;
    const std::array<uint8_t, ndb::kHeaderSize> header = grown.Encode();
    file.ExtendTo(amap.EndOfFile());
    for (size_t i = first; i < amap.SectionCount(); ++i)
      for (const auto& [ib, page] : amap.FreshPages(i)) file.WriteAt(ib, page);
    file.WriteAt(0, header);
    file.Sync();
    committed = grown;
  }

  const BlockRecord& Lookup(Bid bid) const {
    const BlockRecord* r = bbt.Find(bid);
    VERDALINE_INVARIANT(r, "no block with BID " + std::to_string(bid));
    return *r;
  }

  // The block's stored bytes (before decoding), its trailer checked.
  std::vector<uint8_t> ReadStored(const BlockRecord& r) const {
    std::vector<uint8_t> image(ndb::BlockAllocSize(r.cb));
    file.ReadAt(r.ib, image);
    std::span<const uint8_t> s(image);
    const size_t t = image.size() - ndb::kBlockTrailerSize;
    if (GetU16(s, t) != r.cb || GetU64(s, t + 8) != r.bid)
      throw PstError("block trailer does not match BID " + std::to_string(r.bid));
    image.resize(r.cb);
    return image;
  }

  std::vector<uint8_t> ReadData(Bid bid) const {
    VERDALINE_INVARIANT(!ndb::IsInternalBid(bid), "BID " + std::to_string(bid) + " is not a data block");
    std::vector<uint8_t> bytes = ReadStored(Lookup(bid));
    PermuteDecode(bytes);
    return bytes;
  }

  ndb::InternalBlock ReadInternal(Bid bid) const {
    VERDALINE_INVARIANT(ndb::IsInternalBid(bid), "BID " + std::to_string(bid) + " is not an internal block");
    return ndb::DecodeInternalBlock(ReadStored(Lookup(bid)));
  }

  void AddRef(Bid bid) {
    if (bid == 0) return;
    BlockRecord* r = bbt.FindForUpdate(bid);
    VERDALINE_INVARIANT(r, "no block with BID " + std::to_string(bid));
    if (r->refs >= 0xFFFE) throw PstError("too many references to one block");
    ++r->refs;
  }

  void DropRef(Bid bid) {
    if (bid == 0) return;
    BlockRecord* r = bbt.FindForUpdate(bid);
    VERDALINE_INVARIANT(r && r->refs != 0, "reference count of BID " + std::to_string(bid) + " underflow");
    if (--r->refs == 0) maybeUnreferenced.push_back(bid);
  }

  // Frees blocks nobody references, and what they alone held.
  void FreeUnreferenced() {
    while (!maybeUnreferenced.empty()) {
      const Bid bid = maybeUnreferenced.back();
      maybeUnreferenced.pop_back();
      const BlockRecord* r = bbt.Find(bid);
      if (!r || r->refs != 0) continue;
      const BlockRecord rec = *r;
      if (ndb::IsInternalBid(bid)) {
        ndb::InternalBlock b = ndb::DecodeInternalBlock(ReadStored(rec));
        for (Bid child : b.bids) DropRef(child);
        for (const SubnodeEntry& e : b.subnodes) {
          DropRef(e.data);
          DropRef(e.subnodes);
        }
      }
      amap.Release(rec.ib, ndb::BlockAllocSize(rec.cb));
      bbt.Erase(bid);
    }
  }

  Bref WritePage(ndb::PageType type, uint8_t level, std::span<const BtEntry> children,
                 const std::function<std::array<uint8_t, ndb::kPageSize>(Bid, uint64_t)>& leaf) {
    const Bid bid = bidNextP++;
    const uint64_t ib = Allocate(ndb::kPageSize, true);
    const auto page = level == 0 ? leaf(bid, ib) : ndb::EncodeIntermediate(type, level, children, bid, ib);
    file.WriteAt(ib, page);
    return {bid, ib};
  }

  Header MakeHeader(Bref nbtRoot, Bref bbtRoot, uint8_t valid, uint64_t freeBytes) {
    Header h;
    h.bidNextP = bidNextP;
    h.bidNextB = bidNextB;
    h.dwUnique = ++dwUnique;
    h.rgnid = rgnid;
    h.ibFileEof = amap.EndOfFile();
    h.ibAMapLast = amap.LastAMapOffset();
    h.cbAMapFree = freeBytes;
    h.cbPMapFree = 0;
    h.nbt = nbtRoot;
    h.bbt = bbtRoot;
    h.fAMapValid = valid;
    return h;
  }

  void WriteHeader(const Header& h) { file.WriteAt(0, h.Encode()); }

  void CommitNow(bool final) {
    CheckUsable();
    if (!changed && !final) return;
    try {
      FreeUnreferenced();
      auto release = [this](const Bref& b) { amap.Release(b.ib, ndb::kPageSize); };
      const Bref nbtRoot = nbt.Commit(
          [this](uint8_t level, std::span<const NodeRecord> recs, std::span<const BtEntry> kids) {
            return WritePage(ndb::PageType::kNbt, level, kids, [&](Bid bid, uint64_t ib) {
              std::vector<NbtEntry> entries;
              for (const NodeRecord& r : recs) entries.push_back(r.e);
              return ndb::EncodeNbtLeaf(entries, bid, ib);
            });
          },
          release);
      const Bref bbtRoot = bbt.Commit(
          [this](uint8_t level, std::span<const BlockRecord> recs, std::span<const BtEntry> kids) {
            return WritePage(ndb::PageType::kBbt, level, kids, [&](Bid bid, uint64_t ib) {
              std::vector<BbtEntry> entries;
              for (const BlockRecord& r : recs)
                entries.push_back({{r.bid, r.ib}, r.cb, static_cast<uint16_t>(r.refs + 1)});
              return ndb::EncodeBbtLeaf(entries, bid, ib);
            });
          },
          release);
      // The last commit drops the room grown ahead and left unused.
      const size_t trimmed = final ? amap.TrimEmptyTail() : 0;
      file.ExtendTo(amap.EndOfFile());  // a new file's first section

      // The maps are about to change in place: until the new header is
      // written, the file says they are not to be trusted ([MS-PST] 2.6.1.3.7).
      Header invalid = committed;
      invalid.dwUnique = ++dwUnique;
      invalid.fAMapValid = ndb::kAMapInvalid;
      WriteHeader(invalid);
      file.Sync();

      amap.ApplyReleases();
      amap.TakeDirtyPages(final, [this](uint64_t ib, const std::array<uint8_t, ndb::kPageSize>& page) {
        file.WriteAt(ib, page);
      });
      file.Sync();

      const uint64_t freeBytes = final ? amap.CountFreeBytes() : amap.FreeBytes();
      Header next = MakeHeader(nbtRoot, bbtRoot, ndb::kAMapValid2, freeBytes);
      WriteHeader(next);
      file.Sync();
      committed = next;
      changed = false;
      nodeChanges = 0;
      sinceCommit.clear();
      // Cut only once the header that no longer reaches the tail is on
      // disk: a file longer than its header is readable, a shorter one not.
      if (trimmed) {
        file.Truncate(amap.EndOfFile());
        file.Sync();
      }
    } catch (...) {
      MarkBroken();
      throw;
    }
  }
};

NodeDatabase::NodeDatabase(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
NodeDatabase::~NodeDatabase() = default;

std::unique_ptr<NodeDatabase> NodeDatabase::Create(const std::string& path, const NdbOptions& options) {
  auto impl = std::make_unique<Impl>(ndb::PstFile::CreateNew(path, options.crashAfterWrites), options);
  // Row versions and recipient row ids are drawn from dwUnique too, and must
  // stay below the header's value: a random start leaves 2^32 - 2^24 values
  // before the counter could wrap.
  impl->dwUnique = options.deterministic ? 1u : std::random_device{}() & 0xFFFFFFu;
  // The density list may be empty ([MS-PST] 2.2.2.7.4): all zero, which is
  // also what its CRC of zero says. Unlike the maps, its page BID comes from
  // bidNextP and its trailer is signed ([MS-PST] 2.2.2.7.1), as in Outlook's.
  std::array<uint8_t, ndb::kPageSize> dlist{};
  ndb::SealPage(dlist, ndb::PageType::kDList, impl->bidNextP++, ndb::kDListOffset);
  impl->file.WriteAt(ndb::kDListOffset, dlist);
  impl->committed = impl->MakeHeader({}, {}, ndb::kAMapInvalid, 0);
  impl->CommitNow(true);
  return std::unique_ptr<NodeDatabase>(new NodeDatabase(std::move(impl)));
}

Bid NodeDatabase::WriteBlock(std::span<const uint8_t> payload) {
  impl_->CheckUsable();
  VERDALINE_INVARIANT(payload.size() <= kMaxBlockPayload, "block payload larger than 8176 bytes");
  try {
    return impl_->PutBlock(payload, false);
  } catch (...) {
    impl_->MarkBroken();
    throw;
  }
}

Bid NodeDatabase::WriteDataTree(std::span<const Bid> blocks, uint64_t totalSize) {
  Impl& d = *impl_;
  d.CheckUsable();
  if (blocks.empty()) return WriteBlock({});
  uint64_t sum = 0;
  std::vector<uint32_t> sizes;
  sizes.reserve(blocks.size());
  for (Bid b : blocks) {
    VERDALINE_INVARIANT(!ndb::IsInternalBid(b), "a data tree holds data blocks only");
    sizes.push_back(d.Lookup(b).cb);
    sum += sizes.back();
  }
  VERDALINE_INVARIANT(sum == totalSize, "data tree size does not match its blocks");
  if (blocks.size() == 1) return blocks[0];
  if (totalSize > std::numeric_limits<uint32_t>::max())
    throw PstError("a stream of 4 GB or more cannot be stored");
  const size_t per = ndb::kXBlockMaxEntries;
  // Below 4 GB a stream has fewer blocks than two levels of XBLOCKs hold.
  VERDALINE_INVARIANT(blocks.size() <= per * per, "stream too large for a data tree");
  try {
    if (blocks.size() <= per) {
      const Bid x = d.PutBlock(ndb::EncodeXBlock(1, blocks, static_cast<uint32_t>(totalSize)), true);
      for (Bid b : blocks) d.AddRef(b);
      return x;
    }
    std::vector<Bid> xblocks;
    for (size_t at = 0; at < blocks.size(); at += per) {
      const size_t n = std::min(per, blocks.size() - at);
      uint64_t part = 0;
      for (size_t i = at; i < at + n; ++i) part += sizes[i];
      auto chunk = blocks.subspan(at, n);
      xblocks.push_back(d.PutBlock(ndb::EncodeXBlock(1, chunk, static_cast<uint32_t>(part)), true));
      for (Bid b : chunk) d.AddRef(b);
    }
    const Bid xx = d.PutBlock(ndb::EncodeXBlock(2, xblocks, static_cast<uint32_t>(totalSize)), true);
    for (Bid b : xblocks) d.AddRef(b);
    return xx;
  } catch (...) {
    d.MarkBroken();
    throw;
  }
}

Bid NodeDatabase::WriteStream(const ByteSource& src) {
  impl_->CheckUsable();
  const uint64_t total = src.size();
  std::vector<Bid> bids;
  bids.reserve(static_cast<size_t>(total / kMaxBlockPayload + 1));
  std::vector<uint8_t> buf;
  for (uint64_t at = 0; at < total; at += kMaxBlockPayload) {
    if (const uint8_t* whole = src.contiguous()) {  // no copy needed
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kMaxBlockPayload, total - at));
      bids.push_back(WriteBlock(std::span<const uint8_t>(whole + at, n)));
      continue;
    }
    buf.resize(static_cast<size_t>(std::min<uint64_t>(kMaxBlockPayload, total - at)));
    try {
      src.read(at, buf);
    } catch (const PstError&) {
      throw;
    } catch (const std::exception& e) {
      throw PstError(std::string("cannot read the data to store: ") + e.what());
    }
    bids.push_back(WriteBlock(buf));
  }
  return WriteDataTree(bids, total);
}

Bid NodeDatabase::WriteSubnodeTree(std::span<const SubnodeEntry> entries) {
  Impl& d = *impl_;
  d.CheckUsable();
  if (entries.empty()) return 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    VERDALINE_INVARIANT(i == 0 || entries[i - 1].nid < entries[i].nid,
                        "subnode entries must be sorted by NID without repeats");
    VERDALINE_INVARIANT(entries[i].data != 0, "a subnode needs a data block");
    d.Lookup(entries[i].data);
    VERDALINE_INVARIANT(entries[i].subnodes == 0 || ndb::IsInternalBid(entries[i].subnodes),
                        "a subnode's bidSub must be a subnode tree");
    if (entries[i].subnodes != 0) d.Lookup(entries[i].subnodes);
  }
  const size_t per = ndb::kSLBlockMaxEntries;
  if (entries.size() > per * ndb::kSIBlockMaxEntries) throw PstError("too many subnodes");
  try {
    auto putLeaf = [&](std::span<const SubnodeEntry> chunk) {
      const Bid sl = d.PutBlock(ndb::EncodeSLBlock(chunk), true);
      for (const SubnodeEntry& e : chunk) {
        d.AddRef(e.data);
        d.AddRef(e.subnodes);
      }
      return sl;
    };
    if (entries.size() <= per) return putLeaf(entries);
    std::vector<ndb::SIEntry> index;
    for (size_t at = 0; at < entries.size(); at += per) {
      auto chunk = entries.subspan(at, std::min(per, entries.size() - at));
      index.push_back({chunk.front().nid, putLeaf(chunk)});
    }
    const Bid si = d.PutBlock(ndb::EncodeSIBlock(index), true);
    for (const ndb::SIEntry& e : index) d.AddRef(e.bid);
    return si;
  } catch (...) {
    d.MarkBroken();
    throw;
  }
}

std::vector<uint8_t> NodeDatabase::ReadBlock(Bid bid) { return impl_->ReadData(bid); }

std::vector<Bid> NodeDatabase::DataTreeBlocks(Bid tree) {
  if (!ndb::IsInternalBid(tree)) {
    impl_->Lookup(tree);
    return {tree};
  }
  ndb::InternalBlock top = impl_->ReadInternal(tree);
  VERDALINE_INVARIANT(top.type == ndb::kBlockTypeData, "BID " + std::to_string(tree) + " is not a data tree");
  if (top.level == 1) return top.bids;
  std::vector<Bid> out;
  for (Bid x : top.bids) {
    ndb::InternalBlock xb = impl_->ReadInternal(x);
    if (xb.type != ndb::kBlockTypeData || xb.level != 1) throw PstError("malformed XXBLOCK");
    out.insert(out.end(), xb.bids.begin(), xb.bids.end());
  }
  return out;
}

std::vector<uint8_t> NodeDatabase::ReadDataTree(Bid tree) {
  std::vector<uint8_t> out;
  for (Bid b : DataTreeBlocks(tree)) {
    std::vector<uint8_t> part = impl_->ReadData(b);
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

std::vector<SubnodeEntry> NodeDatabase::ReadSubnodeTree(Bid tree) {
  if (tree == 0) return {};
  ndb::InternalBlock top = impl_->ReadInternal(tree);
  VERDALINE_INVARIANT(top.type == ndb::kBlockTypeSubnode, "BID " + std::to_string(tree) + " is not a subnode tree");
  if (top.level == 0) return top.subnodes;
  std::vector<SubnodeEntry> out;
  for (Bid sl : top.bids) {
    ndb::InternalBlock leaf = impl_->ReadInternal(sl);
    if (leaf.type != ndb::kBlockTypeSubnode || leaf.level != 0) throw PstError("malformed SIBLOCK");
    out.insert(out.end(), leaf.subnodes.begin(), leaf.subnodes.end());
  }
  return out;
}

void NodeDatabase::SetNode(Nid nid, Bid data, Bid subnodes, Nid parent) {
  Impl& d = *impl_;
  d.CheckUsable();
  // bidData 0 is a node with no data yet (Outlook's empty search queues).
  if (data != 0) d.Lookup(data);
  VERDALINE_INVARIANT(subnodes == 0 || ndb::IsInternalBid(subnodes), "bidSub must be a subnode tree");
  if (subnodes != 0) d.Lookup(subnodes);
  const NodeRecord* old = d.nbt.Find(nid);
  const NbtEntry before = old ? old->e : NbtEntry{};
  d.AddRef(data);
  d.AddRef(subnodes);
  if (old) {
    d.DropRef(before.data);
    d.DropRef(before.subnodes);
  }
  d.nbt.Upsert({{nid, data, subnodes, parent}});
  d.changed = true;
  ++d.nodeChanges;
}

void NodeDatabase::DeleteNode(Nid nid) {
  Impl& d = *impl_;
  d.CheckUsable();
  const NodeRecord* old = d.nbt.Find(nid);
  if (!old) return;
  const NbtEntry e = old->e;
  d.nbt.Erase(nid);
  d.changed = true;
  ++d.nodeChanges;
  d.DropRef(e.data);
  d.DropRef(e.subnodes);
}

bool NodeDatabase::HasNode(Nid nid) const { return impl_->nbt.Find(nid) != nullptr; }

NodeStore::NodeInfo NodeDatabase::GetNode(Nid nid) const {
  const NodeRecord* r = impl_->nbt.Find(nid);
  if (!r) throw PstError("no node with NID " + std::to_string(nid));
  return {r->e.data, r->e.subnodes, r->e.parent};
}

Nid NodeDatabase::AllocateNid(uint8_t nidType) {
  impl_->CheckUsable();
  VERDALINE_INVARIANT(nidType < 32, "NID type out of range");
  uint32_t& counter = impl_->rgnid[nidType];
  if (counter >= (1u << 27) - 1) throw PstError("node identifiers exhausted");
  ++counter;
  impl_->changed = true;
  return (counter << 5) | nidType;
}

uint32_t NodeDatabase::NextUnique() {
  impl_->CheckUsable();
  impl_->changed = true;
  return ++impl_->dwUnique;
}

void NodeDatabase::Commit() { impl_->CommitNow(false); }

void NodeDatabase::Close() {
  if (impl_->closed) return;
  impl_->CommitNow(true);
  impl_->closed = true;
  impl_->file.Close();
}

uint64_t NodeDatabase::FileSize() const { return impl_->committed.ibFileEof; }

void NodeDatabase::Renamed(const std::string& path) { impl_->file.Renamed(path); }

std::string NodeDatabase::CurrentPath() const { return impl_->file.path(); }

void NodeDatabase::LimitGrowth(uint64_t fileSize) { impl_->growthLimit = fileSize; }

uint64_t NodeDatabase::SizeIfClosed() const {
  const Impl& d = *impl_;
  // Each block made or let go and each node changed since the last commit
  // may change a leaf of its B-tree, which the commit writes as a new page,
  // with the pages above it; 1 KiB each is more than that costs. The last
  // commit then trims the unused tail, so the file ends where the last
  // section in use ends, unless the new pages need another section.
  constexpr uint64_t kPerChange = 1024;
  constexpr uint64_t kCommitPages = 64 * 1024;
  if (!d.changed) return d.amap.UsedEnd();
  return d.amap.UsedEnd() + (d.maybeUnreferenced.size() + d.nodeChanges) * kPerChange + kCommitPages;
}

int64_t NodeDatabase::WriteCount() const { return impl_->file.writes(); }

}  // namespace pst

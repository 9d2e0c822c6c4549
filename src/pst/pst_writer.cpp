// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/pst_writer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <set>

#include "pst/coding.h"
#include "pst/file_names.h"
#include "pst/ltp/property_context.h"
#include "pst/messaging/folder.h"
#include "pst/messaging/message_writer.h"
#include "pst/messaging/name_map.h"
#include "pst/messaging/templates.h"
#include "pst/ndb/node_database.h"
#include "pst/ndb/pst_file.h"
#include "pst/prop_tags.h"

namespace pst {

namespace {

// Messages whose attachments hold this much or more are stored after a
// commit of those before them.
constexpr uint64_t kCommitBeforeBytes = 32 << 20;

uint64_t AttachedBytes(const Message& message) {
  uint64_t total = 0;
  for (const auto& a : message.attachments) {
    if (a.data) total += a.data->size();
    if (a.embedded) total += AttachedBytes(*a.embedded);
  }
  return total;
}

using namespace messaging;
using Clock = std::chrono::steady_clock;

// 2020-01-01 00:00:00 UTC, the time of every deterministic file.
constexpr int64_t kFixedTime = 132223104000000000LL;

bool IsReservedFolderNid(Nid nid) {
  return nid == kNidIpmSubtree || nid == kNidSearchRoot || nid == kNidDeletedItems || nid == kNidRootFolder;
}

class Writer final : public PstWriter {
 public:
  Writer(std::unique_ptr<NodeStore> db, std::string displayName, WriterOptions options)
      : db_(std::move(db)), displayName_(std::move(displayName)), options_(options) {
    if (options_.deterministic) {
      for (uint8_t i = 0; i < 16; ++i) recordKey_.push_back(static_cast<uint8_t>(0x50 + i));
    } else {
      std::random_device rd;
      rng_.seed(rd());
      for (int i = 0; i < 16; ++i) recordKey_.push_back(static_cast<uint8_t>(rng_()));
    }
    BuildStore();
  }

  ~Writer() override {
    try {
      Close();
    } catch (...) {
      // A destructor cannot report; the last commit stays on disk.
    }
  }

  Nid RootFolder() const override { return kNidRootFolder; }
  Nid IpmSubtree() const override { return kNidIpmSubtree; }
  std::string DisplayName() const override { return displayName_; }
  Bytes StoreEntryId() const override { return EntryIdOf(kNidMessageStore); }
  Bytes EntryIdOf(Nid nid) const override {
    // rgbFlags (4 zero bytes), the store's record key, the node id.
    Bytes id;
    id.reserve(24);
    PutU32(id, 0);
    id.insert(id.end(), recordKey_.begin(), recordKey_.end());
    PutU32(id, nid);
    return id;
  }

  Nid CreateFolder(Nid parent, const std::string& name, const std::string& containerClass) override {
    CheckOpen();
    Folder& p = NormalFolder(parent);
    Nid nid = NewFolderNid();
    auto f = std::make_unique<Folder>(*db_, nid, parent, name, containerClass);
    p.AddChild(*f);
    touched_.insert(parent);
    touched_.insert(nid);
    folders_[nid] = std::move(f);
    ++foldersAdded_;
    MaybeCommit();
    return nid;
  }

  std::vector<FolderInfo> SubFolders(Nid parent) const override {
    auto it = folders_.find(parent);
    if (it == folders_.end()) throw PstError("no such folder");
    std::vector<FolderInfo> out;
    for (Nid c : it->second->children()) out.push_back({c, folders_.at(c)->name()});
    return out;
  }

  Nid AddMessage(Nid folder, const Message& message) override {
    CheckOpen();
    Folder& f = NormalFolder(folder);
    // A large message is where a disk fills: what came before it is
    // committed first, so that a failure inside it loses only itself.
    if (messagesAdded_ != messagesCommitted_ && AttachedBytes(message) >= kCommitBeforeBytes) Commit();
    Nid nid = NewNid(kNidTypeNormalMessage);
    MessageDefaults d;
    d.now = Now();
    d.newSearchKey = [this] { return NewKey(); };
    WrittenMessage w = WriteMessage(*db_, names_, message, d);
    db_->SetNode(nid, w.data, w.subnodes, folder);
    bool read = (message.props.GetInt(TagId(tags::kMessageFlags)).value_or(0) & tags::kMsgFlagRead) != 0;
    f.AddMessage(nid, w.row, read);
    touched_.insert(folder);
    ++messagesAdded_;
    MaybeCommit();
    return nid;
  }

  void Commit() override {
    CheckOpen();
    Flush();
    db_->Commit();
    lastCommit_ = Clock::now();
    messagesCommitted_ = messagesAdded_;
    foldersCommitted_ = foldersAdded_;
  }

  void CommitIfDue() override {
    if (db_ && !closed_ && (messagesAdded_ != messagesCommitted_ || foldersAdded_ != foldersCommitted_)) MaybeCommit();
  }

  void Close() override {
    if (closed_) return;
    Flush();
    closed_ = true;
    db_->Close();
    messagesCommitted_ = messagesAdded_;
  }

  int64_t MessagesInFile() const override { return messagesCommitted_; }
  std::string CurrentPath() const override { return db_->CurrentPath(); }
  void LimitGrowth(uint64_t fileSize) override { db_->LimitGrowth(fileSize); }
  uint64_t SizeIfClosed() const override {
    const uint64_t stored = db_->SizeIfClosed();
    if (stored == 0 || closed_) return stored;
    // Closing writes each folder changed since the last commit (its
    // properties, the last block of each changed table and the trees over
    // them), the parent of each whose counts changed, and the name map.
    constexpr uint64_t kPerChangedFolder = 64 * 1024;
    const uint64_t changed = 2 * touched_.size() + (names_.dirty() ? 1 : 0);
    return stored + changed * kPerChangedFolder;
  }

 private:
  void CheckOpen() const {
    if (closed_) throw PstError("the store is closed");
  }

  Folder& NormalFolder(Nid nid) {
    auto it = folders_.find(nid);
    if (it == folders_.end() || NidType(nid) != kNidTypeNormalFolder) {
      throw PstError("no such folder: " + std::to_string(nid));
    }
    return *it->second;
  }

  Nid NewNid(uint8_t type) {
    for (;;) {
      Nid nid = db_->AllocateNid(type);
      if (IsReservedFolderNid(nid) || nid == kNidSpamSearchFolder || db_->HasNode(nid)) continue;
      if (type == kNidTypeNormalFolder &&
          (db_->HasNode(WithType(nid, kNidTypeHierarchyTable)) || db_->HasNode(WithType(nid, kNidTypeContentsTable)))) {
        continue;
      }
      return nid;
    }
  }

  // Consumes node ids of the type up to and including index, so that the
  // header's counter stays above every id in use.
  void ReserveThrough(uint8_t type, uint32_t index) {
    while ((db_->AllocateNid(type) >> 5) < index) {
    }
  }

  // A folder's tables share its index; their counters move along with it.
  Nid NewFolderNid() {
    Nid nid = NewNid(kNidTypeNormalFolder);
    for (uint8_t t : {kNidTypeHierarchyTable, kNidTypeContentsTable, kNidTypeAssocContentsTable}) {
      ReserveThrough(t, nid >> 5);
    }
    return nid;
  }

  int64_t Now() const {
    if (options_.deterministic) return kFixedTime;
    auto s = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    return FileTimeFromUnix(s.count());
  }

  Bytes NewKey() {
    Bytes k;
    if (options_.deterministic) {
      PutU64(k, ++keyCounter_);
      PutU64(k, 0x5645524441ULL);
    } else {
      for (int i = 0; i < 16; ++i) k.push_back(static_cast<uint8_t>(rng_()));
    }
    return k;
  }

  void MaybeCommit() {
    if (Clock::now() - lastCommit_ >= options_.commitInterval) Commit();
  }

  // Brings every changed folder, its parent's row and the name map to the store.
  void Flush() {
    for (auto& [nid, f] : folders_) {
      if (f->rowStale() && f->parent() != nid) folders_.at(f->parent())->UpdateChild(*f);
    }
    for (auto& [nid, f] : folders_) f->Write();
    touched_.clear();
    if (names_.dirty()) names_.Write(*db_);
  }

  void WriteEmptyTable(Nid nid, const std::vector<uint32_t>& columns) {
    ltp::TableContext tc(*db_, columns);
    auto w = tc.Flush();
    db_->SetNode(nid, w.data, w.subnodes, 0);
  }

  // The nodes every store has ([MS-PST] 2.7.1 and 2.7.3).
  void BuildStore() {
    for (uint8_t t : {kNidTypeNormalFolder, kNidTypeHierarchyTable, kNidTypeContentsTable,
                      kNidTypeAssocContentsTable}) {
      ReserveThrough(t, kNidDeletedItems >> 5);
    }
    ReserveThrough(kNidTypeSearchFolder, kNidSpamSearchFolder >> 5);
    {
      ltp::Subnodes subs;
      ltp::PcBuilder pc(*db_, subs);
      // The properties of the message store in [MS-PST]'s sample, in its order.
      pc.Set(TagId(tags::kRecordKey), {PropType::Binary, recordKey_});
      pc.Set(TagId(tags::kDisplayName), {PropType::Unicode, displayName_});
      pc.Set(0x35E0, {PropType::Binary, EntryIdOf(kNidIpmSubtree)});    // PidTagIpmSubTreeEntryId
      pc.Set(0x35E7, {PropType::Binary, EntryIdOf(kNidSearchRoot)});    // PidTagFinderEntryId
      pc.Set(0x35E3, {PropType::Binary, EntryIdOf(kNidDeletedItems)});  // PidTagIpmWastebasketEntryId
      pc.Set(0x0E38, {PropType::Int32, 0});                             // PidTagReplFlags
      pc.Set(0x35DF, {PropType::Int32, 0x89});                          // PidTagValidFolderMask
      pc.Set(0x6633, {PropType::Boolean, true});                        // PidTagPstLrNoRestrictions
      pc.Set(0x67FF, {PropType::Int32, 0});                             // PidTagPstPassword
      Bid data = pc.Finish();
      db_->SetNode(kNidMessageStore, data, subs.Write(*db_), 0);
    }
    // Readers (libpff) refuse a map whose entry or GUID stream is empty;
    // Outlook's own stores always hold these names, so start with them.
    names_.Map({tags::kPsPublicStrings, std::nullopt, "Keywords"});
    names_.Map({tags::kPsetidCommon, 0x8514u, ""});  // PidLidSmartNoAttach
    names_.Write(*db_);
    WriteEmptyTable(kNidHierarchyTableTemplate, HierarchyColumns());
    WriteEmptyTable(kNidContentsTableTemplate, ContentsColumns());
    WriteEmptyTable(kNidAssocContentsTableTemplate, AssocContentsColumns());
    WriteEmptyTable(kNidSearchContentsTableTemplate, SearchContentsColumns());
    WriteEmptyTable(kNidRecipientTable, RecipientColumns());
    WriteEmptyTable(kNidAttachmentTable, AttachmentColumns());
    // The search management queue stays empty, a node without data as in
    // Outlook's files. [MS-PST] 2.4.8.1 queues a message or folder added only
    // when desktop-search indexing is on (we index nothing) or when its
    // folder is in the search domain object (we write none); anything else
    // "is not queued". The one active search folder, the spam folder, has
    // criteria without a restriction (0x660B alone, as Outlook writes it),
    // so it selects nothing: its contents table and its update queue are
    // complete while empty, and a queued update would change neither.
    // Outlook's own new files agree: both references hold an empty queue,
    // an empty spam folder and an empty update queue 0x2226.
    db_->SetNode(kNidSearchManagementQueue, 0, 0, 0);
    // The activity list names the spam folder, as Outlook's does.
    std::vector<uint8_t> sal;
    PutU32(sal, kNidSpamSearchFolder);
    db_->SetNode(kNidSearchActivityList, db_->WriteBlock(sal), 0, 0);
    // An active search folder comes with its update queue (empty: a node
    // without a data block) and its criteria object, a PC that in Outlook's
    // files holds the one property 0x660B (PtypInteger32, 0).
    db_->SetNode(kNidSpamSearchUpdateQueue, 0, 0, 0);
    {
      ltp::Subnodes subs;
      ltp::PcBuilder pc(*db_, subs);
      pc.Set(0x660B, {PropType::Int32, 0});
      Bid data = pc.Finish();
      db_->SetNode(kNidSpamSearchCriteria, data, subs.Write(*db_), 0);
    }
    // Its contents table: empty, with the search contents template's columns
    // (Outlook's files share that template's very block).
    WriteEmptyTable(kNidSpamSearchContents, SearchContentsColumns());

    auto add = [&](Nid nid, Nid parent, const char* name, const char* cls, bool search) -> Folder& {
      auto f = std::make_unique<Folder>(*db_, nid, parent, name, cls, search);
      Folder& ref = *f;
      folders_[nid] = std::move(f);
      if (parent != nid) folders_.at(parent)->AddChild(ref);
      return ref;
    };
    add(kNidRootFolder, kNidRootFolder, "", "", false);
    add(kNidIpmSubtree, kNidRootFolder, "Top of Personal Folders", "", false);
    add(kNidSearchRoot, kNidRootFolder, "Search Root", "", false);
    add(kNidSpamSearchFolder, kNidRootFolder, "SPAM Search Folder 2", "", true);
    // Outlook's Deleted Items has no container class.
    add(kNidDeletedItems, kNidIpmSubtree, "Deleted Items", "", false);
    Flush();
    db_->Commit();
    lastCommit_ = Clock::now();
  }

  std::unique_ptr<NodeStore> db_;
  std::string displayName_;
  WriterOptions options_;
  Bytes recordKey_;
  std::mt19937_64 rng_{0};
  uint64_t keyCounter_ = 0;
  NameToIdMap names_;
  std::map<Nid, std::unique_ptr<Folder>> folders_;
  Clock::time_point lastCommit_ = Clock::now();
  bool closed_ = false;
  std::set<Nid> touched_;  // folders changed since the last Flush (SizeIfClosed)
  int64_t messagesAdded_ = 0;
  int64_t messagesCommitted_ = 0;  // as of the last commit that reached the file
  int64_t foldersAdded_ = 0, foldersCommitted_ = 0;  // folders made since the start / as of the last commit
};

}  // namespace

// The store is built and committed under a temporary name beside the target
// and only then given its name, so a crash while creating it never leaves a
// file at the target that is a node database but not yet a store.
std::unique_ptr<PstWriter> PstWriter::Create(const std::string& path, const std::string& displayName,
                                             WriterOptions options) {
  file_names::RequireFree(path);
  file_names::RemoveStalePartials(path);
  NdbOptions ndb;
  ndb.deterministic = options.deterministic;
  ndb.crashAfterWrites = options.crashAfterWrites;
  std::unique_ptr<NodeDatabase> db;
  std::string partial;
  // Only a temporary name that is taken already is a reason to try the
  // next one. Any other failure (a full disk, no right to write) is final,
  // and the file this attempt made is removed again.
  for (int attempt = 0; !db; ++attempt) {
    partial = path + ".partial-" + std::to_string(file_names::ProcessId()) + "-" + std::to_string(attempt);
    if (file_names::Taken(partial)) {
      if (attempt >= 20) throw PstError("Cannot create " + path + ": every temporary name beside it is taken");
      continue;
    }
    try {
      db = NodeDatabase::Create(partial, ndb);
    } catch (const PstError& e) {
      if (file_names::Taken(partial)) file_names::Remove(partial);
      // The writer names the temporary file; the user knows the target.
      std::string what = e.what();
      if (const size_t at = what.find(partial); at != std::string::npos) what.replace(at, partial.size(), path);
      throw PstError(what);
    }
  }
  std::unique_ptr<PstWriter> writer;
  NodeDatabase& named = *db;
  try {
    writer = CreateOnStore(std::move(db), displayName, options);
    file_names::PublishNoReplace(partial, path);
    named.Renamed(path);
  } catch (...) {
    writer.reset();
    file_names::Remove(partial);
    throw;
  }
  return writer;
}

std::unique_ptr<PstWriter> PstWriter::CreateOnStore(std::unique_ptr<NodeStore> store,
                                                    const std::string& displayName, WriterOptions options) {
  return std::make_unique<Writer>(std::move(store), displayName, options);
}

}  // namespace pst

// SPDX-License-Identifier: GPL-3.0-or-later
// A session of the mail library: Logon to the process's profile, its Stores
// (add a new .pst store, find one by entry identifier), folder lookup by path,
// and Logoff, which closes every store this session added.
//
// What a session writes with and imports with is given to it when it is
// made (SessionOptions), and handed on to every store it adds.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mapi/profile.h"
#include "mapi/rdo_folder.h"

namespace mapi {

class RDOSession;

// What a session is made with; empty members mean the real thing.
struct SessionOptions {
  WriterFactory writer;      // how AddPSTStore makes the file's writer
  MessageImporter importer;  // how the items of its stores import message files
  Profile* profile = nullptr;  // the profile Logon opens; nullptr: the process's default
};

// Store formats of AddPSTStore.
inline constexpr int kStoreUnicode = 1;

class RDOStore {
 public:
  explicit RDOStore(std::shared_ptr<StoreData> store) : store_(std::move(store)) {}
  const std::string& Name() const { return store_->DisplayName(); }
  const std::string& EntryID() const { return store_->EntryId(); }
  const std::string& FilePath() const { return store_->Path(); }
  // How many messages the file holds as written so far; -1 when unknown.
  int64_t MessagesInFile() const { return store_->MessagesInFile(); }
  void CommitIfDue() const { store_->CommitIfDue(); }
  void Commit() const { store_->Commit(); }
  // At most how many bytes the file holds once closed; 0 when unknown.
  uint64_t SizeIfClosed() const { return store_->SizeIfClosed(); }
  // The file is grown ahead no further than this size (0: no bound).
  void LimitGrowth(uint64_t fileSize) const { store_->LimitGrowth(fileSize); }
  // The top of the store's personal folders.
  std::unique_ptr<RDOFolder> IPMRootFolder() const;

 private:
  std::shared_ptr<StoreData> store_;
};

class RDOStores {
 public:
  explicit RDOStores(RDOSession& session) : session_(session) {}
  size_t Count() const;
  // Creates a new .pst file at path in the given format (kStoreUnicode) and
  // attaches it to the profile under displayName. Never overwrites: a path
  // that exists already is an error.
  std::unique_ptr<RDOStore> AddPSTStore(const std::string& path, int format, const std::string& displayName);
  // Throws MapiError kNotFound when no attached store has this identifier.
  std::unique_ptr<RDOStore> GetStoreFromID(const std::string& entryId) const;

 private:
  RDOSession& session_;
};

class RDOSession {
 public:
  explicit RDOSession(SessionOptions options = {});
  ~RDOSession();
  RDOSession(const RDOSession&) = delete;
  RDOSession& operator=(const RDOSession&) = delete;

  // Logs on to the session's profile.
  void Logon();
  bool LoggedOn() const { return loggedOn_; }
  // The profile this session opens: its stores are attached there.
  Profile& profile() const { return options_.profile ? *options_.profile : Profile::Default(); }
  RDOStores& Stores();
  // "\\" + store display name + "\" + folder path below the store's top of
  // personal folders; the store's top itself when no folder path follows.
  std::unique_ptr<RDOFolder> GetFolderFromPath(const std::string& path) const;
  // Closes every store this session added (their files stay attached to
  // nothing afterwards) and ends the session. Throws MapiError when a store
  // could not be written out; the others are closed all the same.
  void Logoff();

  // While set, the items of the stores this session added take the files
  // ahead prepared instead of reading them (nullptr: none). The caller keeps
  // ahead alive until it sets nullptr again.
  void SetImportAhead(ImportAhead* ahead);

 private:
  friend class RDOStores;
  void RequireLogon() const;

  SessionOptions options_;
  ImportAhead* ahead_ = nullptr;
  bool loggedOn_ = false;
  RDOStores stores_;
  std::vector<std::shared_ptr<StoreData>> added_;
};

// Redemption.RDOSession's class factory.
std::unique_ptr<RDOSession> CreateRDOSession(SessionOptions options = {});

}  // namespace mapi

// SPDX-License-Identifier: GPL-3.0-or-later
// The messaging layer's writer of a new Unicode .pst file ([MS-PST] 2.4):
// the store, its folders and their messages. This is what the mail library
// (src/mapi) drives.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "pst/message.h"
#include "pst/ndb/node_store.h"

namespace pst {

struct WriterOptions {
  // Fixed times, identifiers and record keys, so that two runs give the same bytes.
  bool deterministic = false;
  // While messages are being added, no more than this passes between commits.
  std::chrono::milliseconds commitInterval{1000};
  // Crash tests only: the process ends with _exit(137) just before the Nth
  // write to the file (1-based) when >= 1. Only Create passes it on.
  int64_t crashAfterWrites = -1;
};

class PstWriter {
 public:
  // Creates a new file. Throws PstError when the path exists or cannot be
  // created; an existing file is never overwritten.
  static std::unique_ptr<PstWriter> Create(const std::string& path, const std::string& displayName,
                                           WriterOptions options = {});
  // The same store over a node database the caller made (tests use an
  // in-memory one). REQUIRES: store holds no nodes yet.
  static std::unique_ptr<PstWriter> CreateOnStore(std::unique_ptr<NodeStore> store,
                                                  const std::string& displayName,
                                                  WriterOptions options = {});
  virtual ~PstWriter() = default;  // closes cleanly if Close was not called

  virtual Nid RootFolder() const = 0;   // the root of the folder hierarchy
  virtual Nid IpmSubtree() const = 0;   // "Top of Personal Folders"
  virtual std::string DisplayName() const = 0;
  virtual Bytes StoreEntryId() const = 0;
  virtual Bytes EntryIdOf(Nid nid) const = 0;  // folder or message

  // A new folder under parent (of PidTagContainerClass containerClass).
  virtual Nid CreateFolder(Nid parent, const std::string& name,
                           const std::string& containerClass = "IPF.Note") = 0;
  struct FolderInfo {
    Nid nid;
    std::string name;
  };
  virtual std::vector<FolderInfo> SubFolders(Nid parent) const = 0;

  // Stores a message in the folder; durable from the next commit on.
  virtual Nid AddMessage(Nid folder, const Message& message) = 0;

  virtual void Commit() = 0;
  // Commits when something was added since the last commit and the commit
  // interval has passed. Adding commits on that rule by itself; a caller
  // that may wait long before it adds the next thing calls this meanwhile,
  // so that what it stored is on disk within the interval all the same.
  virtual void CommitIfDue() {}
  virtual void Close() = 0;  // idempotent
  // How many messages the file on disk holds: those of the last commit that
  // was written; -1 when this writer cannot tell.
  virtual int64_t MessagesInFile() const { return -1; }
  // The file's path as of Close ("" when unknown): another name when it was
  // moved while it was written.
  virtual std::string CurrentPath() const { return {}; }
  // At most how many bytes the file holds once closed, were nothing more
  // added: what a reader such as Outlook will see as its size. 0 when this
  // writer cannot tell.
  virtual uint64_t SizeIfClosed() const { return 0; }
  // The file is grown ahead of its use (it grows by up to 65 MB at a time)
  // no further than this size; 0: no bound.
  virtual void LimitGrowth(uint64_t /*fileSize*/) {}
};

}  // namespace pst

// SPDX-License-Identifier: GPL-3.0-or-later
// The mail profile of this process: the stores attached to it, shared by the
// mail library (sessions, src/mapi) and the mail client's object model
// (src/mailclient), which both see the same stores under the same display
// names. It lives for the life of the process.
//
// A store is one .pst file being written through pst::PstWriter. Folder names
// are remembered here as folders are created, so that looking a folder up by
// path does not ask the writer for its child lists again and again.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/message_ref.h"
#include "pst/message.h"
#include "pst/pst_writer.h"

namespace mapi {

class ImportAhead;

// How new .pst files are made and how message files are read. A session is
// given them (SessionOptions); empty functions mean pst::PstWriter::Create
// and mime::ImportMessageFile.
using WriterFactory =
    std::function<std::unique_ptr<pst::PstWriter>(const std::string& path, const std::string& displayName)>;
// An importer is given where the message is: a whole file, or a range of
// one; importers that read only whole files may take it as the path.
using MessageImporter = std::function<void(const model::MessageRef& message, pst::Message& out)>;

class StoreData {
 public:
  StoreData(std::unique_ptr<pst::PstWriter> writer, std::string path);
  ~StoreData();
  StoreData(const StoreData&) = delete;
  StoreData& operator=(const StoreData&) = delete;

  const std::string& DisplayName() const { return displayName_; }
  const std::string& Path() const { return path_; }
  const std::string& EntryId() const { return entryId_; }  // upper-case hex
  bool IsOpen() const { return writer_ != nullptr; }

  pst::Nid IpmSubtree() const { return ipmSubtree_; }
  struct Child {
    pst::Nid nid;
    std::string name;
  };
  // The folders directly below parent, in the order they were created.
  const std::vector<Child>& Children(pst::Nid parent);
  // Throws MapiError kCollision when parent already holds a folder of this name.
  pst::Nid CreateFolder(pst::Nid parent, const std::string& name, const std::string& containerClass);
  pst::Nid AddMessage(pst::Nid folder, const pst::Message& message);
  std::string EntryIdOf(pst::Nid nid);
  // How many messages the file on disk holds (its last commit); -1 unknown.
  int64_t MessagesInFile() const;
  // Commits what was stored since the last commit once the writer's commit
  // interval has passed; nothing when the store is closed.
  void CommitIfDue();
  // Commits what was stored since the last commit, now.
  void Commit();
  // At most how many bytes the file holds once closed (0: unknown); once
  // closed, what it holds.
  uint64_t SizeIfClosed() const;
  // The file is grown ahead no further than this size (0: no bound).
  void LimitGrowth(uint64_t fileSize);

  // Writes everything out and closes the file; afterwards every call above
  // except the names throws MapiError. Idempotent.
  void Close();

  // How the store's new items read their message files: with the importer of
  // the session that added the store, or, while a run imports ahead, by
  // taking what that ImportAhead prepared (nullptr: none).
  void SetImporter(MessageImporter importer) { importer_ = std::move(importer); }
  void SetImportAhead(ImportAhead* ahead) { ahead_ = ahead; }
  ImportAhead* ImportingAhead() const { return ahead_; }
  // Imports path into out: from the ImportAhead when it holds that file,
  // with the importer otherwise.
  void ImportMessage(const model::MessageRef& path, pst::Message& out) const;

 private:
  pst::PstWriter& Writer();

  std::unique_ptr<pst::PstWriter> writer_;
  std::string path_;
  std::string displayName_;
  std::string entryId_;
  pst::Nid ipmSubtree_ = 0;
  int64_t messagesInFile_ = -1;
  uint64_t closedSize_ = 0;
  std::map<pst::Nid, std::vector<Child>> children_;
  MessageImporter importer_;
  ImportAhead* ahead_ = nullptr;
};

class Profile {
 public:
  // The process's default profile (the one Logon opens).
  static Profile& Default();

  void Attach(std::shared_ptr<StoreData> store);
  void Detach(const StoreData* store);
  const std::vector<std::shared_ptr<StoreData>>& Stores() const { return stores_; }
  // Exact (ordinal) match of the display name; nullptr when none.
  std::shared_ptr<StoreData> FindByDisplayName(const std::string& name) const;
  std::shared_ptr<StoreData> FindByEntryId(const std::string& entryId) const;

 private:
  std::vector<std::shared_ptr<StoreData>> stores_;
};

// The writer the factory makes, or pst::PstWriter::Create's when it is empty.
std::unique_ptr<pst::PstWriter> CreateWriter(const WriterFactory& factory, const std::string& path,
                                             const std::string& displayName);
// The importer, or the RFC 822 importer when it is empty.
MessageImporter ImporterOrDefault(MessageImporter importer);

// Hex form of a binary entry identifier, as the automation library shows it.
std::string HexFromBytes(const pst::Bytes& bytes);

}  // namespace mapi

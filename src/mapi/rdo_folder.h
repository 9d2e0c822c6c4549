// SPDX-License-Identifier: GPL-3.0-or-later
// Folders of a store, as the automation library shows them: a folder has a
// Name, its Folders (a collection that can be enumerated, indexed by name and
// added to) and its Items (where new messages are made).
//
// Folder names are compared ordinally (letter case counts), so "Mail" and
// "mail" are two folders; adding a name the parent already holds is an error
// (kCollision) rather than a second folder of the same name.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "mapi/profile.h"

namespace mapi {

class RDOMail;
class RDOFolders;
class RDOItems;

// Folder types of Folders.Add, as the automation library numbers them.
inline constexpr int kFolderTypeMail = 6;

class RDOFolder {
 public:
  RDOFolder(std::shared_ptr<StoreData> store, pst::Nid nid, std::string name);

  const std::string& Name() const { return name_; }
  std::string EntryID() const;
  RDOFolders Folders() const;
  RDOItems Items() const;

  pst::Nid nid() const { return nid_; }
  const std::shared_ptr<StoreData>& store() const { return store_; }

 private:
  std::shared_ptr<StoreData> store_;
  pst::Nid nid_;
  std::string name_;
};

class RDOFolders {
 public:
  RDOFolders(std::shared_ptr<StoreData> store, pst::Nid parent);

  size_t Count() const;
  // Position from 1, as the automation collections count.
  std::unique_ptr<RDOFolder> Item(size_t position) const;
  // Throws MapiError kNotFound when no folder has exactly this name.
  std::unique_ptr<RDOFolder> Item(const std::string& name) const;
  // nullptr when no folder has exactly this name.
  std::unique_ptr<RDOFolder> Find(const std::string& name) const;
  // A new folder of the given type (kFolderTypeMail for mail).
  std::unique_ptr<RDOFolder> Add(const std::string& name, int folderType) const;

 private:
  std::shared_ptr<StoreData> store_;
  pst::Nid parent_;
};

class RDOItems {
 public:
  RDOItems(std::shared_ptr<StoreData> store, pst::Nid folder) : store_(std::move(store)), folder_(folder) {}
  // A new, unsaved item; type 0 is a mail message (the only type supported).
  std::unique_ptr<RDOMail> Add(int itemType) const;

 private:
  std::shared_ptr<StoreData> store_;
  pst::Nid folder_;
};

}  // namespace mapi

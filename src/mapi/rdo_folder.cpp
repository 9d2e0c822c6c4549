// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapi/rdo_folder.h"

#include "mapi/mapi_error.h"
#include "mapi/rdo_mail.h"

namespace mapi {

namespace {

std::string ContainerClassFor(int folderType) {
  switch (folderType) {
    case kFolderTypeMail: return "IPF.Note";
    case 9: return "IPF.Appointment";
    case 10: return "IPF.Contact";
    case 11: return "IPF.Journal";
    case 12: return "IPF.StickyNote";
    case 13: return "IPF.Task";
    default:
      throw MapiError(hr::kInvalidParameter, "Unknown folder type " + std::to_string(folderType) + ".");
  }
}

}  // namespace

RDOFolder::RDOFolder(std::shared_ptr<StoreData> store, pst::Nid nid, std::string name)
    : store_(std::move(store)), nid_(nid), name_(std::move(name)) {}

std::string RDOFolder::EntryID() const { return store_->EntryIdOf(nid_); }
RDOFolders RDOFolder::Folders() const { return RDOFolders(store_, nid_); }
RDOItems RDOFolder::Items() const { return RDOItems(store_, nid_); }

RDOFolders::RDOFolders(std::shared_ptr<StoreData> store, pst::Nid parent)
    : store_(std::move(store)), parent_(parent) {}

size_t RDOFolders::Count() const { return store_->Children(parent_).size(); }

std::unique_ptr<RDOFolder> RDOFolders::Item(size_t position) const {
  const auto& children = store_->Children(parent_);
  if (position < 1 || position > children.size())
    throw MapiError(hr::kNotFound, "There is no folder at position " + std::to_string(position) + ".");
  const auto& c = children[position - 1];
  return std::make_unique<RDOFolder>(store_, c.nid, c.name);
}

std::unique_ptr<RDOFolder> RDOFolders::Find(const std::string& name) const {
  for (const auto& c : store_->Children(parent_))
    if (c.name == name) return std::make_unique<RDOFolder>(store_, c.nid, c.name);
  return nullptr;
}

std::unique_ptr<RDOFolder> RDOFolders::Item(const std::string& name) const {
  auto folder = Find(name);
  if (!folder) throw MapiError(hr::kNotFound, "The folder \"" + name + "\" does not exist.");
  return folder;
}

std::unique_ptr<RDOFolder> RDOFolders::Add(const std::string& name, int folderType) const {
  std::string containerClass = ContainerClassFor(folderType);
  if (name.empty()) throw MapiError(hr::kInvalidParameter, "A folder name cannot be empty.");
  if (name.find('\\') != std::string::npos)
    throw MapiError(hr::kInvalidParameter, "A folder name cannot contain \"\\\": " + name);
  pst::Nid nid = store_->CreateFolder(parent_, name, containerClass);
  return std::make_unique<RDOFolder>(store_, nid, name);
}

std::unique_ptr<RDOMail> RDOItems::Add(int itemType) const {
  if (itemType != 0)
    throw MapiError(hr::kNoSupport, "Only mail items (type 0) can be added, not type " +
                                        std::to_string(itemType) + ".");
  if (!store_->IsOpen()) throw MapiError(hr::kNotInitialized, "The store is closed.");
  return std::make_unique<RDOMail>(store_, folder_);
}

}  // namespace mapi

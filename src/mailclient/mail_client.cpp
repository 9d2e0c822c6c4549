// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailclient/mail_client.h"

#include "mapi/mapi_error.h"
#include "mapi/rdo_session.h"

namespace mailclient {

using mapi::hr::kNotFound;
using mapi::MapiError;

size_t FolderCollection::Count() const {
  if (folders_) return folders_->Count();
  return profile_->Stores().size();
}

std::unique_ptr<Folder> FolderCollection::Item(const std::string& name) const {
  if (folders_) {
    auto folder = folders_->Item(name);
    std::string folderName = folder->Name();
    return std::make_unique<Folder>(std::move(folder), folderName);
  }
  auto store = profile_->FindByDisplayName(name);
  if (!store) throw MapiError(kNotFound, "The folder \"" + name + "\" does not exist.");
  // A store's top-level folder is its top of personal folders, shown under
  // the store's display name.
  return std::make_unique<Folder>(mapi::RDOStore(store).IPMRootFolder(), store->DisplayName());
}

std::unique_ptr<Folder> FolderCollection::Add(const std::string& name, int folderType) const {
  if (!folders_)
    throw MapiError(mapi::hr::kNoSupport, "A store cannot be added as a folder: \"" + name + "\".");
  auto folder = folders_->Add(name, folderType);
  return std::make_unique<Folder>(std::move(folder), name);
}

std::unique_ptr<Folder> Explorer::CurrentFolder() const {
  throw MapiError(mapi::hr::kCallFailed, "There is no mail client window showing a current folder.");
}

std::unique_ptr<NameSpace> Application::GetNamespace(const std::string& type) const {
  if (type != "MAPI") throw MapiError(mapi::hr::kInvalidParameter, "Unknown namespace \"" + type + "\".");
  return std::make_unique<NameSpace>(profile_);
}

std::unique_ptr<Explorer> Application::ActiveExplorer() const {
  throw MapiError(mapi::hr::kCallFailed, "The mail client has no explorer window on this platform.");
}

std::unique_ptr<Application> CreateApplication(mapi::Profile& profile) {
  return std::make_unique<Application>(profile);
}

}  // namespace mailclient

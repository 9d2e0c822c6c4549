// SPDX-License-Identifier: GPL-3.0-or-later
// The mail client's object model, as far as the program uses it: the
// application object, its "MAPI" namespace whose top-level Folders are the
// stores of the process's profile (each named by its display name), every
// folder's Folders collection (indexed by name, added to), and the active
// explorer, which does not exist here: there is no mail client window on this
// platform, so asking for it is an error.
//
// It reads the profile it is made with (the process's default unless told
// otherwise), the same one the mail library's session attaches its stores
// to, so a store added by that session is visible here at once.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "mapi/profile.h"
#include "mapi/rdo_folder.h"

namespace mailclient {

class Folder;

class FolderCollection {
 public:
  // The namespace's top-level folders (one per store attached to profile).
  explicit FolderCollection(mapi::Profile& profile) : profile_(&profile) {}
  // A folder's subfolders.
  explicit FolderCollection(mapi::RDOFolders folders) : folders_(std::move(folders)) {}

  size_t Count() const;
  // Throws mapi::MapiError kNotFound when no folder has this name.
  std::unique_ptr<Folder> Item(const std::string& name) const;
  std::unique_ptr<Folder> Add(const std::string& name, int folderType) const;

 private:
  std::optional<mapi::RDOFolders> folders_;  // empty: the namespace's stores
  mapi::Profile* profile_ = nullptr;
};

class Folder {
 public:
  explicit Folder(std::unique_ptr<mapi::RDOFolder> folder, std::string name)
      : folder_(std::move(folder)), name_(std::move(name)) {}
  const std::string& Name() const { return name_; }
  FolderCollection Folders() const { return FolderCollection(folder_->Folders()); }
  std::string EntryID() const { return folder_->EntryID(); }

 private:
  std::unique_ptr<mapi::RDOFolder> folder_;
  std::string name_;
};

class NameSpace {
 public:
  explicit NameSpace(mapi::Profile& profile) : profile_(profile) {}
  FolderCollection Folders() const { return FolderCollection(profile_); }

 private:
  mapi::Profile& profile_;
};

class Explorer {
 public:
  std::unique_ptr<Folder> CurrentFolder() const;
};

class Application {
 public:
  explicit Application(mapi::Profile& profile) : profile_(profile) {}
  // Only the "MAPI" namespace exists.
  std::unique_ptr<NameSpace> GetNamespace(const std::string& type) const;
  // Throws mapi::MapiError: there is no explorer window on this platform.
  std::unique_ptr<Explorer> ActiveExplorer() const;

 private:
  mapi::Profile& profile_;
};

// Outlook.Application's class factory.
std::unique_ptr<Application> CreateApplication(mapi::Profile& profile = mapi::Profile::Default());

}  // namespace mailclient

// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/store_folders.h"

#include "engine/open_mapi_folder.h"
#include "engine/relative_folder.h"
#include "mapi/mapi_error.h"
#include "mapi/rdo_folder.h"

namespace verdaline {

namespace {

void CreateTopLevel(mapi::RDOSession& session, const std::string& storeEntryId, const QString& name) {
  auto store = session.Stores().GetStoreFromID(storeEntryId);
  auto folders = store->IPMRootFolder()->Folders();
  const std::string wanted = name.toStdString();
  for (size_t i = 1; i <= folders.Count(); ++i)
    if (folders.Item(i)->Name() == wanted) return;  // there already: keep it
  folders.Add(wanted, mapi::kFolderTypeMail);
}

}  // namespace

QString FolderFailureFor(const FolderFailures& failures, const QString& folderPath) {
  QString path = folderPath;
  for (;;) {
    auto it = failures.find(path);
    if (it != failures.end()) return it->second;
    const qsizetype cut = path.lastIndexOf(kStoreSeparator);
    if (cut < 0) return QString();
    path.truncate(cut);
  }
}

FolderFailures CreateStoreFolders(mapi::RDOSession& session, const std::string& storeEntryId,
                                  const QString& storeName, const std::vector<QString>& folderPaths,
                                  const std::function<void()>& yield) {
  FolderFailures failures;
  for (const QString& path : folderPaths) {
    const qsizetype cut = path.lastIndexOf(kStoreSeparator);
    if (cut < 0) {
      try {
        CreateTopLevel(session, storeEntryId, path);
      } catch (const std::exception& e) {
        failures[path] = QString::fromStdString(e.what());
      }
      yield();
      continue;
    }
    const QString name = path.mid(cut + 1);
    const QString parentPath = path.left(cut);
    const QString parentFailure = FolderFailureFor(failures, parentPath);
    std::unique_ptr<mailclient::Folder> parent;
    try {
      if (!parentFailure.isEmpty()) throw std::runtime_error(parentFailure.toStdString());
      parent = OpenMAPIFolder(u'\\' + storeName + u'\\' + parentPath, session.profile());
      if (!parent) throw std::runtime_error("the folder " + parentPath.toStdString() + " was not found");
    } catch (const std::exception& e) {
      failures[path] = QString::fromStdString(e.what());
    }
    yield();
    if (parent) {
      try {
        parent->Folders().Add(name.toStdString(), mapi::kFolderTypeMail);
      } catch (const mapi::MapiError& e) {
        // A folder of that name already there is the folder wanted.
        if (e.hresult() != mapi::hr::kCollision) failures[path] = QString::fromStdString(e.what());
      } catch (const std::exception& e) {
        failures[path] = QString::fromStdString(e.what());
      }
    }
    yield();
  }
  return failures;
}

}  // namespace verdaline

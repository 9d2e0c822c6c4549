// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/store_folders.h"

#include <QStringList>
#include <set>
#include <utility>

#include "engine/open_mapi_folder.h"
#include "engine/relative_folder.h"
#include "mapi/mapi_error.h"
#include "mapi/rdo_folder.h"

namespace verdaline {

namespace {

// How many "(n)" are tried for one name before the folder is given up.
constexpr int kMaxSameNames = 100000;

std::vector<std::string> TopLevelNames(mapi::RDOSession& session, const std::string& storeEntryId) {
  auto store = session.Stores().GetStoreFromID(storeEntryId);
  auto folders = store->IPMRootFolder()->Folders();
  std::vector<std::string> names;
  for (size_t i = 1; i <= folders.Count(); ++i) names.push_back(folders.Item(i)->Name());
  return names;
}

void CreateTopLevel(mapi::RDOSession& session, const std::string& storeEntryId, const QString& name) {
  auto store = session.Stores().GetStoreFromID(storeEntryId);
  auto folders = store->IPMRootFolder()->Folders();
  const std::string wanted = name.toStdString();
  for (size_t i = 1; i <= folders.Count(); ++i)
    if (folders.Item(i)->Name() == wanted) return;  // there already: keep it
  folders.Add(wanted, mapi::kFolderTypeMail);
}

}  // namespace

std::map<QString, QString> ChooseStoreFolderNames(const std::vector<QString>& folderPaths,
                                                  const std::vector<std::string>& existingTopLevel) {
  std::set<QString> existing;
  for (const std::string& name : existingTopLevel) existing.insert(QString::fromStdString(name));
  std::set<QString> taken;
  std::map<QString, QString> stored;
  for (const QString& path : folderPaths) {
    const qsizetype cut = path.lastIndexOf(kStoreSeparator);
    const QString sourceName = path.mid(cut + 1);
    QString parent;
    if (cut >= 0) {
      auto it = stored.find(path.left(cut));
      parent = it == stored.end() ? path.left(cut) : it->second;
    }
    const QString shown = ShownFolderName(sourceName);
    for (int n = 1; n <= kMaxSameNames; ++n) {
      const QString name = n == 1 ? shown : QStringLiteral("%1 (%2)").arg(shown).arg(n);
      const QString candidate = cut < 0 ? name : parent + kStoreSeparator + name;
      if (!taken.insert(candidate).second) continue;
      // A folder the new store was made with is used by the one source
      // folder of exactly its name; another that only shows the same name
      // is not merged into it.
      if (cut < 0 && existing.count(name) && name != sourceName) continue;
      stored[path] = candidate;
      break;
    }
  }
  return stored;
}

QString ShownFolderPath(const QString& sourcePath) {
  QStringList names = sourcePath.split(kStoreSeparator);
  for (QString& name : names) name = ShownFolderName(name);
  return names.join(kStoreSeparator);
}

QString ShownFolderName(const QString& sourceName) {
  QString shown = sourceName;
  for (QChar& c : shown) {
    if (c == kBackslashInName) {
      c = kSeparatorLookAlike;
    } else if (c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF) {
      c = QChar(QChar::ReplacementCharacter);  // a byte that is not UTF-8
    }
  }
  return shown;
}

QString StoreFolderTree::StoredPath(const QString& source) const {
  auto it = stored.find(source);
  return it == stored.end() ? source : it->second;
}

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

StoreFolderTree CreateStoreFolders(mapi::RDOSession& session, const std::string& storeEntryId,
                                   const QString& storeName, const std::vector<QString>& folderPaths,
                                   const std::function<void()>& yield) {
  StoreFolderTree tree;
  FolderFailures& failures = tree.failures;
  std::vector<std::string> existing;
  try {
    existing = TopLevelNames(session, storeEntryId);
  } catch (const std::exception&) {
    // Creating the first folder fails the same way, and says so.
  }
  tree.stored = ChooseStoreFolderNames(folderPaths, existing);
  for (const QString& path : folderPaths) {
    const qsizetype cut = path.lastIndexOf(kStoreSeparator);
    const QString parentPath = cut < 0 ? QString() : path.left(cut);
    const auto chosen = tree.stored.find(path);
    if (chosen == tree.stored.end()) {
      failures[path] = QStringLiteral("too many folders beside it have the same name");
      yield();
      continue;
    }
    const QString stored = chosen->second;
    if (cut < 0) {
      try {
        CreateTopLevel(session, storeEntryId, stored);
      } catch (const std::exception& e) {
        failures[path] = QString::fromStdString(e.what());
      }
      yield();
      continue;
    }
    const QString storedParent = tree.StoredPath(parentPath);
    const QString parentFailure = FolderFailureFor(failures, parentPath);
    std::unique_ptr<mailclient::Folder> parent;
    try {
      if (!parentFailure.isEmpty()) throw std::runtime_error(parentFailure.toStdString());
      parent = OpenMAPIFolder(u'\\' + storeName + u'\\' + storedParent, session.profile());
      if (!parent) throw std::runtime_error("the folder " + storedParent.toStdString() + " was not found");
    } catch (const std::exception& e) {
      failures[path] = QString::fromStdString(e.what());
    }
    yield();
    if (parent) {
      // The name was chosen to be free: a folder there already under it is
      // a failure, not the folder wanted.
      try {
        parent->Folders().Add(stored.mid(storedParent.size() + 1).toStdString(), mapi::kFolderTypeMail);
      } catch (const std::exception& e) {
        failures[path] = QString::fromStdString(e.what());
      }
    }
    yield();
  }
  return tree;
}

}  // namespace verdaline

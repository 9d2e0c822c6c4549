// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapi/rdo_session.h"

#include "mapi/mapi_error.h"
#include "mapi/new_file_check.h"
#include "pst/ndb/node_store.h"

namespace mapi {

namespace {

// Splits at every backslash; "a\\b" gives {"a", "", "b"}.
std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t pos = path.find('\\', start);
    parts.push_back(path.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
    if (pos == std::string::npos) break;
    start = pos + 1;
  }
  return parts;
}

// The writer's reason, with the path in front unless it names it already.
std::string Explained(const std::string& path, const std::string& reason) {
  if (reason.find(path) != std::string::npos) return reason;
  return "Cannot create " + path + ": " + reason;
}

}  // namespace

std::unique_ptr<RDOFolder> RDOStore::IPMRootFolder() const {
  if (!store_->IsOpen()) throw MapiError(hr::kNotInitialized, "The store \"" + Name() + "\" is closed.");
  return std::make_unique<RDOFolder>(store_, store_->IpmSubtree(), "Top of Personal Folders");
}

size_t RDOStores::Count() const {
  session_.RequireLogon();
  return session_.profile().Stores().size();
}

std::unique_ptr<RDOStore> RDOStores::AddPSTStore(const std::string& path, int format,
                                                 const std::string& displayName) {
  session_.RequireLogon();
  if (format != kStoreUnicode)
    throw MapiError(hr::kNoSupport, "Only Unicode .pst files (format 1) can be created, not format " +
                                        std::to_string(format) + ".");
  if (path.empty()) throw MapiError(hr::kInvalidParameter, "No file name was given for the new store.");
  std::string why = detail::WhyNotCreatable(path);
  if (!why.empty()) throw MapiError(why == "the file already exists" ? hr::kCollision : hr::kNotFound,
                                    "Cannot create " + path + ": " + why + ".");
  std::unique_ptr<pst::PstWriter> writer;
  try {
    writer = CreateWriter(session_.options_.writer, path, displayName);
  } catch (const pst::PstExistsError& e) {
    // Taken between the look above and the creation (another run in the
    // same second): the caller may move on to the next name.
    throw MapiError(hr::kCollision, Explained(path, e.what()));
  } catch (const pst::PstWriteError& e) {
    throw MapiError(hr::kDiskError, Explained(path, e.what()));
  } catch (const pst::PstError& e) {
    throw MapiError(hr::kNoAccess, Explained(path, e.what()));
  } catch (const std::exception& e) {
    throw MapiError(hr::kCallFailed, Explained(path, e.what()));
  }
  auto store = std::make_shared<StoreData>(std::move(writer), path);
  store->SetImporter(session_.options_.importer);
  store->SetImportAhead(session_.ahead_);
  session_.profile().Attach(store);
  session_.added_.push_back(store);
  return std::make_unique<RDOStore>(store);
}

std::unique_ptr<RDOStore> RDOStores::GetStoreFromID(const std::string& entryId) const {
  session_.RequireLogon();
  auto store = session_.profile().FindByEntryId(entryId);
  if (!store) throw MapiError(hr::kNotFound, "No store with the entry identifier " + entryId + ".");
  return std::make_unique<RDOStore>(store);
}

RDOSession::RDOSession(SessionOptions options) : options_(std::move(options)), stores_(*this) {}

RDOSession::~RDOSession() = default;

void RDOSession::Logon() { loggedOn_ = true; }

void RDOSession::RequireLogon() const {
  if (!loggedOn_) throw MapiError(hr::kNotInitialized, "The session is not logged on.");
}

RDOStores& RDOSession::Stores() {
  RequireLogon();
  return stores_;
}

std::unique_ptr<RDOFolder> RDOSession::GetFolderFromPath(const std::string& path) const {
  RequireLogon();
  if (path.rfind("\\\\", 0) != 0)
    throw MapiError(hr::kInvalidParameter, "A folder path begins with \"\\\\\" and the store's name: " + path);
  auto parts = SplitPath(path.substr(2));
  auto store = profile().FindByDisplayName(parts[0]);
  if (!store) throw MapiError(hr::kNotFound, "No store is named \"" + parts[0] + "\".");
  auto folder = RDOStore(store).IPMRootFolder();
  for (size_t i = 1; i < parts.size(); ++i) {
    if (parts[i].empty() && i + 1 == parts.size()) break;  // a trailing backslash
    auto next = folder->Folders().Find(parts[i]);
    if (!next) throw MapiError(hr::kNotFound, "The folder " + path + " does not exist.");
    folder = std::move(next);
  }
  return folder;
}

void RDOSession::Logoff() {
  std::string failures;
  for (auto& store : added_) {
    try {
      store->Close();
    } catch (const MapiError& e) {
      failures += (failures.empty() ? "" : "; ") + std::string(e.what());
    }
    profile().Detach(store.get());
  }
  for (auto& store : added_) store->SetImportAhead(nullptr);
  added_.clear();
  loggedOn_ = false;
  if (!failures.empty()) throw MapiError(hr::kDiskError, failures);
}

void RDOSession::SetImportAhead(ImportAhead* ahead) {
  ahead_ = ahead;
  for (auto& store : added_) store->SetImportAhead(ahead);
}

std::unique_ptr<RDOSession> CreateRDOSession(SessionOptions options) {
  return std::make_unique<RDOSession>(std::move(options));
}

}  // namespace mapi

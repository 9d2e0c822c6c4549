// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapi/profile.h"

#include <algorithm>

#include "mapi/import_ahead.h"
#include "mapi/mapi_error.h"
#include "mime/importer.h"
#include "pst/ndb/node_store.h"

namespace mapi {

namespace {

// A failed write of the file itself is a disk error: the store takes nothing
// more. Anything else the writer refuses concerns this one call.
uint32_t HresultOf(const pst::PstError& e) {
  return dynamic_cast<const pst::PstWriteError*>(&e) ? hr::kDiskError : hr::kCallFailed;
}

}  // namespace

std::string HexFromBytes(const pst::Bytes& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0x0F]);
  }
  return out;
}

StoreData::StoreData(std::unique_ptr<pst::PstWriter> writer, std::string path)
    : writer_(std::move(writer)), path_(std::move(path)) {
  displayName_ = writer_->DisplayName();
  entryId_ = HexFromBytes(writer_->StoreEntryId());
  ipmSubtree_ = writer_->IpmSubtree();
}

StoreData::~StoreData() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; Logoff is where closing failures surface.
  }
}

pst::PstWriter& StoreData::Writer() {
  if (!writer_) throw MapiError(hr::kNotInitialized, "The store \"" + displayName_ + "\" is closed.");
  return *writer_;
}

const std::vector<StoreData::Child>& StoreData::Children(pst::Nid parent) {
  auto it = children_.find(parent);
  if (it != children_.end()) return it->second;
  std::vector<Child> list;
  try {
    for (const auto& f : Writer().SubFolders(parent)) list.push_back({f.nid, f.name});
  } catch (const pst::PstError& e) {
    throw MapiError(HresultOf(e), std::string("Cannot list the folders: ") + e.what());
  }
  return children_.emplace(parent, std::move(list)).first->second;
}

void StoreData::CommitIfDue() {
  if (!writer_) return;
  try {
    writer_->CommitIfDue();
  } catch (const pst::PstError& e) {
    throw MapiError(HresultOf(e), std::string("Cannot write the file: ") + e.what());
  }
}

void StoreData::Commit() {
  try {
    Writer().Commit();
  } catch (const pst::PstError& e) {
    throw MapiError(HresultOf(e), std::string("Cannot write the file: ") + e.what());
  }
}

void StoreData::LimitGrowth(uint64_t fileSize) { Writer().LimitGrowth(fileSize); }

uint64_t StoreData::SizeIfClosed() const { return writer_ ? writer_->SizeIfClosed() : closedSize_; }

pst::Nid StoreData::CreateFolder(pst::Nid parent, const std::string& name,
                                 const std::string& containerClass) {
  const auto& existing = Children(parent);
  if (std::any_of(existing.begin(), existing.end(), [&](const Child& c) { return c.name == name; }))
    throw MapiError(hr::kCollision, "A folder named \"" + name + "\" already exists.");
  pst::Nid nid;
  try {
    nid = Writer().CreateFolder(parent, name, containerClass);
  } catch (const pst::PstError& e) {
    throw MapiError(HresultOf(e), std::string("Cannot create the folder \"") + name + "\": " + e.what());
  }
  children_[parent].push_back({nid, name});
  return nid;
}

pst::Nid StoreData::AddMessage(pst::Nid folder, const pst::Message& message) {
  try {
    return Writer().AddMessage(folder, message);
  } catch (const pst::PstError& e) {
    throw MapiError(HresultOf(e), std::string("Cannot store the message: ") + e.what());
  }
}

int64_t StoreData::MessagesInFile() const { return writer_ ? writer_->MessagesInFile() : messagesInFile_; }

std::string StoreData::EntryIdOf(pst::Nid nid) { return HexFromBytes(Writer().EntryIdOf(nid)); }

void StoreData::Close() {
  if (!writer_) return;
  // Keep the writer until Close succeeded, so that a failure can be retried
  // and the destructor still tries once more.
  try {
    writer_->Close();
  } catch (const pst::PstError& e) {
    throw MapiError(HresultOf(e), "Cannot close \"" + path_ + "\": " + e.what());
  }
  messagesInFile_ = writer_->MessagesInFile();
  closedSize_ = writer_->SizeIfClosed();
  if (std::string now = writer_->CurrentPath(); !now.empty()) path_ = std::move(now);
  writer_.reset();
  children_.clear();
}

Profile& Profile::Default() {
  static Profile profile;
  return profile;
}

void Profile::Attach(std::shared_ptr<StoreData> store) { stores_.push_back(std::move(store)); }

void Profile::Detach(const StoreData* store) {
  std::erase_if(stores_, [&](const auto& s) { return s.get() == store; });
}

std::shared_ptr<StoreData> Profile::FindByDisplayName(const std::string& name) const {
  for (const auto& s : stores_)
    if (s->DisplayName() == name) return s;
  return nullptr;
}

std::shared_ptr<StoreData> Profile::FindByEntryId(const std::string& entryId) const {
  std::string wanted = entryId;
  std::transform(wanted.begin(), wanted.end(), wanted.begin(),
                 [](char c) { return (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c; });
  for (const auto& s : stores_)
    if (s->EntryId() == wanted) return s;
  return nullptr;
}

std::unique_ptr<pst::PstWriter> CreateWriter(const WriterFactory& factory, const std::string& path,
                                             const std::string& displayName) {
  if (factory) return factory(path, displayName);
  return pst::PstWriter::Create(path, displayName);
}

MessageImporter ImporterOrDefault(MessageImporter importer) {
  if (importer) return importer;
  return [](const model::MessageRef& ref, pst::Message& out) { mime::ImportMessage(ref, out); };
}

void StoreData::ImportMessage(const model::MessageRef& path, pst::Message& out) const {
  if (ahead_ && ahead_->Take(path, out)) return;
  if (importer_) {
    importer_(path, out);
    return;
  }
  mime::ImportMessage(path, out);
}

}  // namespace mapi

// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapi/rdo_mail.h"

#include <new>

#include "mapi/import_ahead.h"
#include "mapi/mapi_error.h"
#include "pst/prop_tags.h"

namespace mapi {

class RDOMail::Object final : public MapiObject {
 public:
  explicit Object(RDOMail& mail) : mail_(mail) {}
  void SetProp(uint32_t tag, const pst::PropData& value) override {
    if (mail_.saved_) throw MapiError(hr::kNoSupport, "The message is already stored and cannot be changed.");
    mail_.message_.props.Set(tag, value);
  }
  void SetNamedProp(const pst::NamedProp& name, pst::PropType type, const pst::PropData& value) override {
    if (mail_.saved_) throw MapiError(hr::kNoSupport, "The message is already stored and cannot be changed.");
    mail_.message_.props.SetNamed(name, type, value);
  }
  void SaveChanges() override {
    // The item's own Save stores it; until then its changes stay with it.
  }

 private:
  RDOMail& mail_;
};

RDOMail::RDOMail(std::shared_ptr<StoreData> store, pst::Nid folder)
    : store_(std::move(store)), folder_(folder), object_(std::make_unique<Object>(*this)) {
  message_.props.Set(pst::tags::kMessageClass, std::string("IPM.Note"));
}

RDOMail::~RDOMail() = default;

void RDOMail::Import(const model::MessageRef& path, int type) {
  if (type != kImportRfc822)
    throw MapiError(hr::kNoSupport, "Import type " + std::to_string(type) + " is not supported.");
  if (saved_) throw MapiError(hr::kNoSupport, "The message is already stored and cannot be changed.");
  pst::Message imported;
  try {
    store_->ImportMessage(path, imported);
  } catch (...) {
    ThrowImportFailure(std::current_exception());
  }
  message_ = std::move(imported);
}

MapiObject& RDOMail::MAPIOBJECT() { return *object_; }

void RDOMail::MoveContentTo(RDOMail& other) {
  if (saved_ || other.saved_) throw MapiError(hr::kNoSupport, "The message is already stored and cannot be moved.");
  other.message_ = std::move(message_);
  message_ = pst::Message{};
  message_.props.Set(pst::tags::kMessageClass, std::string("IPM.Note"));
}

void RDOMail::Save() {
  if (saved_) throw MapiError(hr::kNoSupport, "The message is already stored.");
  store_->AddMessage(folder_, message_);
  saved_ = true;
  // The stored copy is the writer's now; keep nothing large in memory.
  if (ImportAhead* ahead = store_->ImportingAhead()) ahead->Dispose(std::move(message_));
  message_ = pst::Message{};
}

void MAPIUtils::HrSetOneProp(MapiObject& object, uint32_t tag, const pst::PropData& value, bool save) {
  object.SetProp(tag, value);
  if (save) object.SaveChanges();
}

std::unique_ptr<MAPIUtils> CreateMAPIUtils() { return std::make_unique<MAPIUtils>(); }

}  // namespace mapi

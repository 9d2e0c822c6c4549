// SPDX-License-Identifier: GPL-3.0-or-later
// A message being made in a folder, and the one-property helper.
//
// A new item lives in memory until Save, which stores it in its folder once;
// the file it was imported from is read by Import. Saving through the item's
// MAPI object (MAPIUtils::HrSetOneProp with save = true) keeps the change
// with the item; it reaches the store with the item's Save, so the item is
// stored exactly once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "mapi/profile.h"

namespace mapi {

// Item types of Import.
inline constexpr int kImportRfc822 = 1024;

// The underlying MAPI message object of an item (its MAPIOBJECT).
class MapiObject {
 public:
  virtual ~MapiObject() = default;
  virtual void SetProp(uint32_t tag, const pst::PropData& value) = 0;
  virtual void SetNamedProp(const pst::NamedProp& name, pst::PropType type, const pst::PropData& value) = 0;
  virtual void SaveChanges() = 0;
};

class RDOMail {
 public:
  RDOMail(std::shared_ptr<StoreData> store, pst::Nid folder);
  ~RDOMail();
  RDOMail(const RDOMail&) = delete;
  RDOMail& operator=(const RDOMail&) = delete;

  // Replaces the item's content with the message file at path. Throws
  // MapiError with the reason when the file cannot be imported; the item is
  // then unchanged.
  void Import(const model::MessageRef& path, int type);
  MapiObject& MAPIOBJECT();
  // Gives what was imported and set to `other`, a new item (of another
  // store, say), and leaves this one as new. Throws MapiError when either
  // was saved.
  void MoveContentTo(RDOMail& other);
  // Stores the item in its folder. Throws MapiError when it was saved before.
  void Save();

  bool Saved() const { return saved_; }
  size_t AttachmentCount() const { return message_.attachments.size(); }
  const pst::Message& message() const { return message_; }

 private:
  class Object;

  std::shared_ptr<StoreData> store_;
  pst::Nid folder_;
  pst::Message message_;
  std::unique_ptr<Object> object_;
  bool saved_ = false;
};

// The utility object of the automation library (Redemption.MAPIUtils).
class MAPIUtils {
 public:
  // Sets one property on a MAPI object, then saves its changes when save is set.
  void HrSetOneProp(MapiObject& object, uint32_t tag, const pst::PropData& value, bool save);
};

std::unique_ptr<MAPIUtils> CreateMAPIUtils();

}  // namespace mapi

// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/messaging/folder.h"

#include "pst/ltp/property_context.h"
#include "pst/messaging/templates.h"
#include "pst/prop_tags.h"

namespace pst::messaging {

Folder::Folder(NodeStore& store, Nid nid, Nid parent, std::string name, std::string containerClass, bool search)
    : store_(store),
      nid_(nid),
      parent_(parent),
      name_(std::move(name)),
      containerClass_(std::move(containerClass)),
      search_(search) {
  if (!search_) {
    hierarchy_ = std::make_unique<ltp::TableContext>(store, HierarchyColumns());
    contents_ = std::make_unique<ltp::TableContext>(store, ContentsColumns());
    assoc_ = std::make_unique<ltp::TableContext>(store, AssocContentsColumns());
  }
}

ltp::RowValues Folder::HierarchyRow() const {
  ltp::RowValues r;
  r[TagId(tags::kDisplayName)] = {PropType::Unicode, name_};
  r[TagId(tags::kContentCount)] = {PropType::Int32, contentCount_};
  r[TagId(tags::kContentUnreadCount)] = {PropType::Int32, unread_};
  r[TagId(tags::kSubfolders)] = {PropType::Boolean, !children_.empty()};
  if (!containerClass_.empty()) r[TagId(tags::kContainerClass)] = {PropType::Unicode, containerClass_};
  return r;
}

void Folder::AddChild(const Folder& child) {
  children_.push_back(child.nid());
  rowStale_ = true;
  hierarchy_->AddRow(child.nid(), child.HierarchyRow());
  hierDirty_ = dirty_ = true;
}

void Folder::UpdateChild(Folder& child) {
  // Only the counts change after a folder is made; its name and class stay.
  ltp::RowValues counts;
  counts[TagId(tags::kContentCount)] = {PropType::Int32, child.contentCount_};
  counts[TagId(tags::kContentUnreadCount)] = {PropType::Int32, child.unread_};
  counts[TagId(tags::kSubfolders)] = {PropType::Boolean, !child.children_.empty()};
  hierarchy_->UpdateRow(child.nid(), counts);
  child.rowStale_ = false;
  hierDirty_ = true;
}

void Folder::AddMessage(Nid message, const ltp::RowValues& row, bool read) {
  contents_->AddRow(message, row);
  ++contentCount_;
  if (!read) ++unread_;
  rowStale_ = true;
  contentsDirty_ = dirty_ = true;
}

void Folder::Write() {
  if (dirty_) {
    ltp::Subnodes subs;
    ltp::PcBuilder pc(store_, subs);
    pc.Set(TagId(tags::kDisplayName), {PropType::Unicode, name_});
    pc.Set(TagId(tags::kContentCount), {PropType::Int32, contentCount_});
    pc.Set(TagId(tags::kContentUnreadCount), {PropType::Int32, unread_});
    pc.Set(TagId(tags::kSubfolders), {PropType::Boolean, !children_.empty()});
    if (!containerClass_.empty()) pc.Set(TagId(tags::kContainerClass), {PropType::Unicode, containerClass_});
    Bid data = pc.Finish();
    store_.SetNode(nid_, data, subs.Write(store_), parent_);
    dirty_ = false;
  }
  if (search_) return;
  auto put = [&](ltp::TableContext& tc, uint8_t type, bool& flag) {
    if (!flag) return;
    auto w = tc.Flush();
    store_.SetNode(WithType(nid_, type), w.data, w.subnodes, 0);
    flag = false;
  };
  put(*hierarchy_, kNidTypeHierarchyTable, hierDirty_);
  put(*contents_, kNidTypeContentsTable, contentsDirty_);
  put(*assoc_, kNidTypeAssocContentsTable, assocDirty_);
}

}  // namespace pst::messaging

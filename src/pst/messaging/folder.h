// SPDX-License-Identifier: GPL-3.0-or-later
// A folder object ([MS-PST] 2.4.4): its PC and its hierarchy, contents and
// associated-contents tables, kept in memory and written when changed. The
// folder's own counts are also copied into its row of the parent's
// hierarchy table; the writer keeps both in step.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pst/ltp/table_context.h"
#include "pst/messaging/nids.h"

namespace pst::messaging {

class Folder {
 public:
  // A normal folder with its three tables, or (search = true) a search
  // folder that has its PC only.
  Folder(NodeStore& store, Nid nid, Nid parent, std::string name, std::string containerClass,
         bool search = false);

  Nid nid() const { return nid_; }
  Nid parent() const { return parent_; }
  const std::string& name() const { return name_; }
  int32_t contentCount() const { return contentCount_; }
  int32_t unreadCount() const { return unread_; }
  bool hasSubfolders() const { return !children_.empty(); }
  const std::vector<Nid>& children() const { return children_; }
  bool dirty() const { return dirty_; }

  // The properties this folder's row in its parent's hierarchy table copies.
  ltp::RowValues HierarchyRow() const;
  // Whether the counts changed since the parent's row was last brought up to date.
  bool rowStale() const { return rowStale_; }

  void AddChild(const Folder& child);
  // Brings child's row up to date with its counts.
  void UpdateChild(Folder& child);
  void AddMessage(Nid message, const ltp::RowValues& row, bool read);

  // Writes the PC and changed tables as the folder's nodes.
  void Write();

 private:
  NodeStore& store_;
  Nid nid_, parent_;
  std::string name_, containerClass_;
  bool search_;
  int32_t contentCount_ = 0, unread_ = 0;
  std::vector<Nid> children_;
  std::unique_ptr<ltp::TableContext> hierarchy_, contents_, assoc_;
  bool rowStale_ = false;
  bool dirty_ = true, hierDirty_ = true, contentsDirty_ = true, assocDirty_ = true;
};

}  // namespace pst::messaging

// SPDX-License-Identifier: GPL-3.0-or-later
// Node ids of the messaging layer ([MS-PST] 2.2.2.1 and 2.4.1): the fixed
// nodes every store has, and the nid types that tell a folder's four nodes
// apart (they share one index).
#pragma once

#include <cstdint>

#include "pst/ndb/node_store.h"

namespace pst::messaging {

inline constexpr uint8_t kNidTypeInternal = 0x01;
inline constexpr uint8_t kNidTypeNormalFolder = 0x02;
inline constexpr uint8_t kNidTypeSearchFolder = 0x03;
inline constexpr uint8_t kNidTypeNormalMessage = 0x04;
inline constexpr uint8_t kNidTypeHierarchyTable = 0x0D;
inline constexpr uint8_t kNidTypeContentsTable = 0x0E;
inline constexpr uint8_t kNidTypeAssocContentsTable = 0x0F;

inline constexpr Nid kNidMessageStore = 0x21;
inline constexpr Nid kNidNameToIdMap = 0x61;
inline constexpr Nid kNidRootFolder = 0x122;
inline constexpr Nid kNidSearchManagementQueue = 0x1E1;
inline constexpr Nid kNidSearchActivityList = 0x201;
inline constexpr Nid kNidHierarchyTableTemplate = 0x60D;
inline constexpr Nid kNidContentsTableTemplate = 0x60E;
inline constexpr Nid kNidAssocContentsTableTemplate = 0x60F;
inline constexpr Nid kNidSearchContentsTableTemplate = 0x610;
inline constexpr Nid kNidAttachmentTable = 0x671;
inline constexpr Nid kNidRecipientTable = 0x692;
inline constexpr Nid kNidSpamSearchFolder = 0x2223;
inline constexpr Nid kNidSpamSearchUpdateQueue = 0x2226;  // NID_TYPE_SEARCH_UPDATE_QUEUE
inline constexpr Nid kNidSpamSearchCriteria = 0x2227;     // NID_TYPE_SEARCH_CRITERIA_OBJECT
inline constexpr Nid kNidSpamSearchContents = 0x2230;     // NID_TYPE_SEARCH_CONTENTS_TABLE
inline constexpr Nid kNidIpmSubtree = 0x8022;
inline constexpr Nid kNidSearchRoot = 0x8042;
inline constexpr Nid kNidDeletedItems = 0x8062;

inline constexpr Nid WithType(Nid nid, uint8_t type) { return (nid & ~0x1Fu) | type; }
inline constexpr uint8_t NidType(Nid nid) { return static_cast<uint8_t>(nid & 0x1F); }

}  // namespace pst::messaging

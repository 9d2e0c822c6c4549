// SPDX-License-Identifier: GPL-3.0-or-later
// Column sets of the template tables ([MS-PST] 2.4.4.4.1, 2.4.4.5.1,
// 2.4.4.6.1, 2.4.5.3.1, 2.4.6.1.1, 2.4.8.6.2.1); every new folder, recipient
// and attachment table starts from these. The folder tables list their
// columns in the order of Outlook's own templates (the order of their cell
// bits in the sample folder of [MS-PST] section 3), and PidTagReplItemid and PidTagContainerClass
// carry the types Outlook's files give them.
#pragma once

#include <cstdint>
#include <vector>

namespace pst::messaging {

const std::vector<uint32_t>& HierarchyColumns();
const std::vector<uint32_t>& ContentsColumns();
const std::vector<uint32_t>& AssocContentsColumns();
const std::vector<uint32_t>& SearchContentsColumns();
const std::vector<uint32_t>& RecipientColumns();
const std::vector<uint32_t>& AttachmentColumns();
// A message's own attachment table: the template's columns and the further
// ones Outlook adds, in the order of its cell bits.
const std::vector<uint32_t>& AttachmentTableColumns();

}  // namespace pst::messaging

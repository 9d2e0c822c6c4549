// SPDX-License-Identifier: GPL-3.0-or-later
// The address-book structures a message carries for its sender and
// recipients when they come from Internet mail and exist in no directory:
// one-off entry identifiers ([MS-OXCDATA] 2.2.5.1), search keys
// ([MS-OXPROPS] PidTagSearchKey) and flat entry lists ([MS-OXCDATA] 2.3.3).
#pragma once

#include <string>
#include <vector>

#include "model/message.h"

namespace mime::detail {

// A one-off entry identifier with Unicode strings: flags 0, the one-off
// provider UID, version 0, the Unicode and no-rich-info flags, then display
// name, address type and address, each UTF-16LE with a terminating NUL.
model::Bytes OneOffEntryId(const std::string& displayName, const std::string& addressType,
                         const std::string& address);

// "ADDRTYPE:ADDRESS" in upper case, with a terminating NUL byte.
model::Bytes SearchKey(const std::string& addressType, const std::string& address);

// A FlatEntryList: count, total size, then each entry as its size and its
// bytes padded to a multiple of 4.
model::Bytes FlatEntryList(const std::vector<model::Bytes>& entryIds);

}  // namespace mime::detail

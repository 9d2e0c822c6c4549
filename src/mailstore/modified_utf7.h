// SPDX-License-Identifier: GPL-3.0-or-later
// IMAP mailbox names (RFC 3501, modified UTF-7), as Maildir++ and Dovecot
// name their folders on disk: "&ANw-bersicht" is "Übersicht", "&-" is "&".
#pragma once

#include <string>
#include <string_view>

namespace mailstore::detail {

// The name as UTF-8. A name that is not valid modified UTF-7 comes back as
// it stands (a folder named with raw bytes keeps them).
std::string DecodeModifiedUtf7(std::string_view name);

}  // namespace mailstore::detail

// SPDX-License-Identifier: GPL-3.0-or-later
// File names for attachments: the long name made safe to save, its 8.3
// form for PidTagAttachFilename, its extension, and a name for parts that
// come without one.
#pragma once

#include <string>

namespace mime::detail {

// The last path component, without control characters and without the
// characters Windows forbids in file names (those become '_'). "" stays "".
std::string SafeFileName(const std::string& name);
// An upper-case 8.3 name: at most 8 characters of the base (6 and "~1" when
// longer) and 3 of the extension.
std::string ShortFileName(const std::string& longName);
// ".ext" of a file name, "" when it has none.
std::string ExtensionOf(const std::string& name);
// "ATT00001.txt" and the like, numbered from 1, with an extension that suits
// the MIME type.
std::string DefaultFileName(const std::string& mimeType, int number);
std::string ExtensionForMimeType(const std::string& mimeType);

}  // namespace mime::detail

// SPDX-License-Identifier: GPL-3.0-or-later
// The file name of a MIME part as its sender meant it, where GMime alone
// loses it: encoded words it misreads (see encoded_words.h), and parameters
// of a Content-Type without a subtype ("application-x-gzip; name=a.gz"),
// which GMime drops with the type.
#pragma once

#include <gmime/gmime.h>

#include <string>

namespace mime::detail {

// The decoded name (UTF-8, not yet made safe for a file system); "" when the
// part names none.
std::string PartFileName(GMimePart* part);

}  // namespace mime::detail

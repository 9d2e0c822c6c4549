// SPDX-License-Identifier: GPL-3.0-or-later
// How large a .pst the run may write, and how much room a message takes in
// one, so that the run can start a new file before a message would make the
// current one too large for the mail client that opens it.
#pragma once

#include <QString>
#include <cstdint>

#include "pst/message.h"

namespace verdaline {

// Outlook refuses to grow a Unicode .pst past its MaxLargeFileSize, 51,200
// MB by default, and warns from 48,640 MB on; 45 GiB leaves it room to work
// in a file it opens.
inline constexpr uint64_t kDefaultMaxFileSize = uint64_t{45} << 30;
// Below this an empty store with its folders leaves no room for mail.
inline constexpr uint64_t kMinMaxFileSize = uint64_t{1} << 20;

// At most how many bytes storing this message adds to the size of a closed
// .pst file (the file grows a section at a time): its
// values as the file holds them (text as UTF-16, and the text a contents
// table row repeats), the blocks' trailers and B-tree entries, and the
// tables and nodes of the message, its recipients and attachments; embedded
// messages likewise.
uint64_t StoredSizeBound(const pst::Message& message);

// A size for people: "50.0 MB", "45.0 GB" (powers of 1024, as the summary counts).
QString SizeText(uint64_t bytes);

// Why a message that on its own would make an empty file too large is not
// stored.
QString TooLargeReason(uint64_t needed, uint64_t limit);

}  // namespace verdaline

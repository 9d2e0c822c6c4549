// SPDX-License-Identifier: GPL-3.0-or-later
// The content pst-sample writes: a store that uses every feature of the
// writer, built so that tests and readers can check it item by item.
#pragma once

#include <string>

#include "pst/pst_writer.h"

namespace pst::sample {

// Folders, messages with every property type, recipients of each type,
// attachments of 8 KB and 1 MB, an embedded message holding an attachment,
// Unicode (also outside the BMP) in names, subjects and bodies.
void WriteSampleStore(PstWriter& writer);

// Bytes of the attachments, generated from a seed (so readers can compare).
Bytes PatternBytes(size_t size, uint32_t seed);

}  // namespace pst::sample

// SPDX-License-Identifier: GPL-3.0-or-later
// Byte sources come from the message model (src/model/); named here as pst::.
#pragma once

#include "model/byte_source.h"

namespace pst {

using model::ByteSource;
using model::FileSource;
using model::MemorySource;
using model::ReadAll;
using model::SpanSource;

}  // namespace pst

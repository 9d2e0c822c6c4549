// SPDX-License-Identifier: GPL-3.0-or-later
// The little-endian and UTF-16LE helpers are shared with the importer and
// live in src/model/; this writer's code names them as pst::.
#pragma once

#include "model/coding.h"

namespace pst {

using model::GetU16;
using model::GetU32;
using model::GetU64;
using model::PutBytes;
using model::PutU16;
using model::PutU32;
using model::PutU64;
using model::PutU8;
using model::StoreU16;
using model::StoreU32;
using model::StoreU64;
using model::Utf16LeFromUtf8;
using model::Utf8FromUtf16Le;

}  // namespace pst

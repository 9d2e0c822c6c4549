// SPDX-License-Identifier: GPL-3.0-or-later
// An estimate of what an imported message holds in memory: its property
// values with the containers' own overhead, its recipient rows, attachment
// contents kept in memory and embedded messages. A file's size says little
// about it: a 1 MB header of addresses becomes tens of megabytes of rows.
#pragma once

#include <cstdint>

#include "pst/message.h"

namespace mapi {

uint64_t MessageMemory(const pst::Message& message);

}  // namespace mapi

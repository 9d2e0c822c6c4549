// SPDX-License-Identifier: GPL-3.0-or-later
// The shared property tags live in the message model (src/model/); the
// writer's code and the layers above it name them as pst::tags.
#pragma once

#include "model/prop_tags.h"
#include "pst/message.h"

namespace pst {
namespace tags = model::tags;
}  // namespace pst

// SPDX-License-Identifier: GPL-3.0-or-later
// A message object written out as JSON: every property by its hex tag,
// recipients, attachments (contents in base64) and embedded messages.
#pragma once

#include <string>

#include "model/message.h"

namespace eml2pst {

std::string MessageToJson(const model::Message& message);

}  // namespace eml2pst

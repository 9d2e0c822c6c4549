// SPDX-License-Identifier: GPL-3.0-or-later
// The message model lives below both the importer and this writer (see
// src/model/); the writer's code and the layers above it name it as pst::.
#pragma once

#include "model/message.h"
#include "pst/byte_source.h"

namespace pst {

using model::Attachment;
using model::Bytes;
using model::FileTimeFromUnix;
using model::Guid;
using model::MakeTag;
using model::Message;
using model::NamedProp;
using model::PropData;
using model::PropertyBag;
using model::PropType;
using model::PropValue;
using model::Recipient;
using model::TagId;
using model::TagType;
using model::UnixFromFileTime;

}  // namespace pst

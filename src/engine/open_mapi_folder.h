// SPDX-License-Identifier: GPL-3.0-or-later
// A mail folder found from a "\"-separated path in the mail client's
// namespace. "\Store\A\B" starts at the namespace's top-level folder "Store"
// (a store, by display name); any other path starts at the folder the mail
// client's explorer shows, which on this platform does not exist, so a
// relative path is an error. A trailing "\" is ignored; "\" alone gives no
// folder. Errors of the mail client (a missing folder, ...) propagate.
#pragma once

#include <QString>
#include <memory>

#include "mailclient/mail_client.h"

namespace verdaline {

// profile: the one whose stores the namespace shows.
std::unique_ptr<mailclient::Folder> OpenMAPIFolder(const QString& szPath,
                                                   mapi::Profile& profile = mapi::Profile::Default());

}  // namespace verdaline

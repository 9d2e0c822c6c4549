// SPDX-License-Identifier: GPL-3.0-or-later
// The window's embedded resources (the icon). The shell is a static library,
// so its resources are registered explicitly before the window uses them.
#pragma once

namespace verdaline {

// Registers the resources (once); the icon is then ":/verdaline/verdaline.ico".
void InitShellResources();

}  // namespace verdaline

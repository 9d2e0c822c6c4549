// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/shell_resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitVerdalineResources() { Q_INIT_RESOURCE(verdaline); }

namespace verdaline {

void InitShellResources() {
  static const bool done = [] {
    InitVerdalineResources();
    return true;
  }();
  (void)done;
}

}  // namespace verdaline

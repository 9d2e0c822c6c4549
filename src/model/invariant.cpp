// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/invariant.h"

#include <cstdio>
#include <cstdlib>

namespace model {

void InvariantFailed(const char* file, int line, std::string_view what) noexcept {
  std::fprintf(stderr, "verdaline: internal error at %s:%d: %.*s\n", file, line,
               static_cast<int>(what.size()), what.data());
  std::fflush(stderr);
  std::abort();
}

}  // namespace model

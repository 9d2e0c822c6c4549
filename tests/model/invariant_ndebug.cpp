// SPDX-License-Identifier: GPL-3.0-or-later
// Compiled as a release build compiles the writer: the check must stay on.
#ifndef NDEBUG
#define NDEBUG
#endif
#include "model/invariant.h"

#include <string>

namespace model::testing {

// Returns only when value is even.
int EvenOnlyWithNdebug(int value) {
  VERDALINE_INVARIANT(value % 2 == 0, "odd value " + std::to_string(value));
  return value;
}

}  // namespace model::testing

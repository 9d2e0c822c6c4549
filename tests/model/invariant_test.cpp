// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/invariant.h"

#include <gtest/gtest.h>

namespace model::testing {
int EvenOnlyWithNdebug(int value);  // invariant_ndebug.cpp
}

namespace model {
namespace {

TEST(Invariant, AbortsWithPlaceAndTextEvenWhenNdebugIsDefined) {
  EXPECT_EQ(testing::EvenOnlyWithNdebug(4), 4);
  EXPECT_DEATH(testing::EvenOnlyWithNdebug(3),
               "^verdaline: internal error at [^:]*invariant_ndebug.cpp:[0-9]+: odd value 3\n");
}

}  // namespace
}  // namespace model

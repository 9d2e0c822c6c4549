// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/vb_progress_bar.h"

#include <gtest/gtest.h>

#include "platform/qt_test_app.h"
#include "platform/vb_error.h"

namespace verdaline {
namespace {

TEST(VbProgressBar, TakesFractionalValuesWithinItsRange) {
  testing::EnsureQtApp();
  VbProgressBar bar;
  EXPECT_FALSE(bar.isTextVisible());
  bar.SetValue(12.0f);
  EXPECT_EQ(bar.Value(), 12.0f);
  EXPECT_EQ(bar.value(), bar.minimum() + (bar.maximum() - bar.minimum()) * 12 / 100);
  bar.SetValue(static_cast<float>(1.0 / 3.0 * 100.0));
  EXPECT_FLOAT_EQ(bar.Value(), 33.333333f);
  bar.SetValue(100.0f);
  EXPECT_EQ(bar.value(), bar.maximum());
  bar.SetMin(0.0f);  // the same range again changes nothing
  bar.SetMax(100.0f);
  EXPECT_EQ(bar.Value(), 100.0f);
}

TEST(VbProgressBar, RefusesValuesOutsideTheRange) {
  testing::EnsureQtApp();
  VbProgressBar bar;
  bar.SetValue(50.0f);
  EXPECT_THROW(bar.SetValue(100.5f), VbError);
  EXPECT_THROW(bar.SetValue(-1.0f), VbError);
  EXPECT_THROW(bar.SetMax(40.0f), VbError);  // the value would fall outside
  EXPECT_THROW(bar.SetMin(100.0f), VbError);
  EXPECT_EQ(bar.Value(), 50.0f);
  EXPECT_EQ(bar.Max(), 100.0f);
  try {
    bar.SetValue(101.0f);
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), err::kInvalidPropertyValue);
  }
}

}  // namespace
}  // namespace verdaline

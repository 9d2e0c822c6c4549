// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/time_stamp.h"

#include <gtest/gtest.h>

namespace verdaline {
namespace {

TEST(TimeStamp, SingleDigitsExceptSecondsAndTwoDigitYear) {
  EXPECT_EQ(FormatTimeStamp(QDateTime(QDate(2026, 12, 6), QTime(7, 5, 3))), "6.12.26 7.5.03");
  EXPECT_EQ(FormatTimeStamp(QDateTime(QDate(2009, 1, 31), QTime(12, 30, 0))), "31.1.09 12.30.00");
  EXPECT_EQ(FormatTimeStamp(QDateTime(QDate(2100, 2, 1), QTime(0, 0, 9))), "1.2.00 0.0.09");
}

}  // namespace
}  // namespace verdaline

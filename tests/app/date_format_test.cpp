// The process-wide short date format the program fixes at start-up.

#include "app/DateFormat.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace std::chrono;

TEST(DateFormat, StartUpFixesMonthDayFourDigitYear) {
  std::setlocale(LC_TIME, "C");
  // Until start-up fixes it, the user's format applies (the C locale's has a two-digit year).
  ASSERT_FALSE(tw::app::hasProgramDateFormat());
  EXPECT_EQ(tw::app::formatShortDate(year{2026} / December / 6), "12/06/26");

  tw::app::installProgramDateFormat();
  EXPECT_EQ(tw::app::formatShortDate(year{2026} / December / 6), "12/06/2026");
  EXPECT_EQ(tw::app::formatShortDate(year{2007} / January / 31), "01/31/2007");
  EXPECT_EQ(tw::app::formatShortDate(year{987} / March / 2), "03/02/0987");
}

#pragma once
// The process-wide date format. At start-up the program fixes the short date format to
// "mm/dd/yyyy" with "/" as separator, whatever the user's regional setting; every date the
// program turns into text afterwards uses it. Until then the format is the user's.

#include <chrono>
#include <string>

namespace tw::app {

/// Makes "mm/dd/yyyy" with "/" the short date format of the process.
void installProgramDateFormat();
/// True once installProgramDateFormat has run.
bool hasProgramDateFormat();

/// `date` in the process's short date format: month and day with two digits, the year with
/// four, joined by the date separator; before start-up fixes it, the user's locale format.
std::string formatShortDate(std::chrono::year_month_day date);

} // namespace tw::app

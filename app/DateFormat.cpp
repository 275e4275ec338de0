#include "app/DateFormat.h"

#include <atomic>
#include <cstdio>
#include <ctime>

namespace tw::app {

static std::atomic<bool> &programFormatInstalled() {
  static std::atomic<bool> installed{false};
  return installed;
}

void installProgramDateFormat() { programFormatInstalled().store(true); }

bool hasProgramDateFormat() { return programFormatInstalled().load(); }

std::string formatShortDate(std::chrono::year_month_day date) {
  const int year = static_cast<int>(date.year());
  const unsigned month = static_cast<unsigned>(date.month());
  const unsigned day = static_cast<unsigned>(date.day());
  if (hasProgramDateFormat()) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u/%02u/%04d", month, day, year);
    return text;
  }
  // The user's format, as the C library's locale gives it.
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = static_cast<int>(month) - 1;
  tm.tm_mday = static_cast<int>(day);
  char text[64];
  const std::size_t n = std::strftime(text, sizeof text, "%x", &tm);
  return std::string(text, n);
}

} // namespace tw::app

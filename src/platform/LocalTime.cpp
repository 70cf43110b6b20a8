#include "platform/LocalTime.h"

#include <time.h>

#include <cstdio>

namespace linkward {

namespace {

// English names whatever the locale, so logs and reports read the same everywhere.
constexpr const char* WEEKDAYS[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
constexpr const char* MONTHS[12] = {"January",   "February", "March",    "April",
                                    "May",       "June",     "July",     "August",
                                    "September", "October",  "November", "December"};

}  // namespace

std::string FormatLongDateTime(std::time_t when) {
  std::tm tm{};
  tzset();  // localtime_r need not look at TZ again by itself
  if (localtime_r(&when, &tm) == nullptr) return "";
  if (tm.tm_wday < 0 || tm.tm_wday > 6 || tm.tm_mon < 0 || tm.tm_mon > 11) return "";
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s, %s %d, %04ld, %02d:%02d:%02d", WEEKDAYS[tm.tm_wday],
                MONTHS[tm.tm_mon], tm.tm_mday, static_cast<long>(tm.tm_year) + 1900, tm.tm_hour,
                tm.tm_min, tm.tm_sec);
  return buf;
}

std::string NowLongDateTime() {
  return FormatLongDateTime(std::time(nullptr));
}

}  // namespace linkward

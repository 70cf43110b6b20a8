// Local date and time as text.
#pragma once

#include <ctime>
#include <string>

namespace linkward {

// The long form used in the log and in reports, for example
// "Sunday, December 6, 2026, 22:26:25": weekday and month written out, the
// day without a leading zero, four-digit year, 24-hour time.
std::string FormatLongDateTime(std::time_t when);
std::string NowLongDateTime();

}  // namespace linkward

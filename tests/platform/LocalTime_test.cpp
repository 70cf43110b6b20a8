#include "platform/LocalTime.h"

#include <gtest/gtest.h>

#include "support/ScratchDir.h"

using namespace linkward;

namespace {

// The current time in the log is matched by the view's tests. The names are
// the program's own English ones; no other locale is installed where the
// tests run, so a locale case could not fail.
TEST(LocalTime, LongFormInTheTimeZone) {
  {
    ScopedEnv tz("TZ", "UTC");
    EXPECT_EQ(FormatLongDateTime(951782400), "Tuesday, February 29, 2000, 00:00:00");
  }
  ScopedEnv tz("TZ", "EST5");  // UTC-5, no daylight saving
  EXPECT_EQ(FormatLongDateTime(1796595985), "Sunday, December 6, 2026, 17:26:25");
}

}  // namespace

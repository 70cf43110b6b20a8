#include "platform/LocalTime.h"

#include <gtest/gtest.h>

#include "support/ScratchDir.h"

using namespace linkward;

namespace {

// The current time in the log is matched by the view's tests. The names are
// the program's own English ones; no other locale is installed where the
// tests run, so a locale case could not fail.
TEST(LocalTime, LongFormInTheTimeZone) {
  const struct {
    const char* tz;
    std::time_t when;
    const char* text;
  } cases[] = {
      {"UTC", 1796595985, "Sunday, December 6, 2026, 22:26:25"},
      {"UTC", 951782400, "Tuesday, February 29, 2000, 00:00:00"},
      {"EST5", 1796595985, "Sunday, December 6, 2026, 17:26:25"},  // UTC-5, no daylight saving
  };
  for (const auto& c : cases) {
    ScopedEnv tz("TZ", c.tz);
    EXPECT_EQ(FormatLongDateTime(c.when), c.text);
  }
}

}  // namespace

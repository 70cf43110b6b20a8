#include "platform/LocalTime.h"

#include <gtest/gtest.h>

#include <clocale>
#include <regex>

#include "support/ScratchDir.h"

namespace {

TEST(LocalTime, LongFormForFixedTimes) {
  ScopedEnv tz("TZ", "UTC");
  struct Case {
    std::time_t when;
    const char* text;
  } cases[] = {
      {1796595985, "Sunday, December 6, 2026, 22:26:25"},
      {0, "Thursday, January 1, 1970, 00:00:00"},
      {951782400, "Tuesday, February 29, 2000, 00:00:00"},
      {1720224005, "Saturday, July 6, 2024, 00:00:05"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatLongDateTime(c.when), c.text);
}

TEST(LocalTime, FollowsTheTimeZone) {
  ScopedEnv tz("TZ", "EST5");  // UTC-5, no daylight saving
  EXPECT_EQ(FormatLongDateTime(1796595985), "Sunday, December 6, 2026, 17:26:25");
}

TEST(LocalTime, EnglishNamesWhateverTheLocale) {
  ScopedEnv tz("TZ", "UTC");
  ScopedEnv lang("LC_ALL", "de_DE.UTF-8");
  std::setlocale(LC_ALL, "");
  std::string text = FormatLongDateTime(1796595985);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(text, "Sunday, December 6, 2026, 22:26:25");
}

TEST(LocalTime, NowHasTheLongForm) {
  std::regex form(
      "[A-Z][a-z]+day, [A-Z][a-z]+ [1-9][0-9]?, [0-9]{4}, [0-2][0-9]:[0-5][0-9]:[0-6][0-9]");
  EXPECT_TRUE(std::regex_match(NowLongDateTime(), form)) << NowLongDateTime();
}

}  // namespace

#include "platform/LocalTime.h"

#include <gtest/gtest.h>

#include <clocale>
#include <regex>

#include "support/ScratchDir.h"

using namespace linkward;

namespace {

TEST(LocalTime, LongFormInTheTimeZoneWithEnglishNamesWhateverTheLocale) {
  const struct {
    const char* tz;
    std::time_t when;
    const char* text;
  } cases[] = {
      {"UTC", 1796595985, "Sunday, December 6, 2026, 22:26:25"},
      {"UTC", 0, "Thursday, January 1, 1970, 00:00:00"},
      {"UTC", 951782400, "Tuesday, February 29, 2000, 00:00:00"},
      {"EST5", 1796595985, "Sunday, December 6, 2026, 17:26:25"},  // UTC-5, no daylight saving
  };
  ScopedEnv lang("LC_ALL", "de_DE.UTF-8");
  std::setlocale(LC_ALL, "");
  for (const auto& c : cases) {
    ScopedEnv tz("TZ", c.tz);
    EXPECT_EQ(FormatLongDateTime(c.when), c.text);
  }
  std::setlocale(LC_ALL, "C");
  std::regex form(
      "[A-Z][a-z]+day, [A-Z][a-z]+ [1-9][0-9]?, [0-9]{4}, [0-2][0-9]:[0-5][0-9]:[0-6][0-9]");
  EXPECT_TRUE(std::regex_match(NowLongDateTime(), form)) << NowLongDateTime();
}

}  // namespace

#include "check/SkipList.h"

#include <gtest/gtest.h>

#include <string>

using namespace linkward;

namespace {

// A long link with ".*" once overflowed the stack of a backtracking matcher
// (about 26,000 characters were enough). Patterns and links are bytes, not
// necessarily UTF-8; what the matcher cannot do is refused when compiled.
TEST(SkipListTest, LongLinksBytesAndPatternsThatCannotCompile) {
  CSkipList skip;
  ASSERT_TRUE(skip.Compile({"^https?://.*/private/.*\\.pdf$", "caf.x"}));
  const std::string longLink = "https://example.com/" + std::string(40000, 'a');
  EXPECT_FALSE(skip.Matches(longLink, longLink));
  EXPECT_TRUE(skip.Matches(longLink + "/private/x.pdf", ""));
  EXPECT_TRUE(skip.Matches("x/caf\xe9x", ""));  // "." takes one byte, even one not UTF-8

  std::string bad;
  for (const char* pattern : {"(a)\\1", "a(?=b)", "(unclosed", "[z-a]"}) {
    EXPECT_FALSE(skip.Compile({"fine", pattern}, &bad)) << pattern;
    EXPECT_EQ(bad, pattern);
  }
  EXPECT_TRUE(skip.Matches("x/cafex", ""));  // a failed Compile left the list as it was
}

}  // namespace

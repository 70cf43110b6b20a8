#include "results/OutcomeTable.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using namespace linkward;

namespace {

TEST(OutcomeTableTest, MasksSelectTheirKindsAndAlwaysTheUnclassifiedCodes) {
  const std::string mask = DEFAULT_FILTER_MASK, zeros(OUTCOME_KINDS, '0');
  ASSERT_EQ(mask.size(), static_cast<size_t>(OUTCOME_KINDS));
  for (int kind = 0; kind < OUTCOME_KINDS; ++kind) {
    EXPECT_EQ(OutcomeKind(OutcomeCode(kind)), kind);
    EXPECT_EQ(MaskSelects(mask, OutcomeCode(kind)), kind != 0) << kind;  // all but 200
    EXPECT_FALSE(MaskSelects(zeros, OutcomeCode(kind))) << kind;
  }
  for (unsigned code : {0u, 203u, 9999u, 10006u, 4294967295u}) {
    EXPECT_EQ(OutcomeKind(code), -1) << code;
    EXPECT_TRUE(MaskSelects(zeros, code)) << code;
  }
  // Any character but '0' selects (204: a space); a short mask selects the kinds it lacks.
  const std::string odd = "0x?1 abcdefghijklmno0";
  const std::tuple<std::string, unsigned, bool> cases[] = {
      {odd, 200, false}, {odd, 10005, false}, {odd, 201, true},  {odd, 204, true},
      {"", 200, true},   {"0", 200, false},   {"0", 10005, true}};
  for (const auto& [m, code, selected] : cases)
    EXPECT_EQ(MaskSelects(m, code), selected) << "'" << m << "' " << code;
}

}  // namespace

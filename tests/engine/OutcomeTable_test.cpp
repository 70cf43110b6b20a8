#include "results/OutcomeTable.h"

#include <gtest/gtest.h>

#include <string>

using namespace linkward;

namespace {

TEST(OutcomeTableTest, MasksSelectTheirKindsAndAlwaysTheUnclassifiedCodes) {
  // Any character but '0' selects (a space too).
  const std::string mask = DEFAULT_FILTER_MASK, zeros(OUTCOME_KINDS, '0'),
                    odd = "0x?1 abcdefghijklmno0";
  for (int kind = 0; kind < OUTCOME_KINDS; ++kind) {
    EXPECT_EQ(OutcomeKind(OutcomeCode(kind)), kind);
    EXPECT_EQ(MaskSelects(mask, OutcomeCode(kind)), kind != 0) << kind;  // all but 200
    EXPECT_EQ(MaskSelects(odd, OutcomeCode(kind)), kind != 0 && kind != 20) << kind;
    EXPECT_FALSE(MaskSelects(zeros, OutcomeCode(kind))) << kind;
  }
  for (unsigned code : {0u, 203u, 9999u, 10006u, 4294967295u}) {
    EXPECT_EQ(OutcomeKind(code), -1) << code;
    EXPECT_TRUE(MaskSelects(zeros, code)) << code;
  }
}

}  // namespace

#include "engine/OutcomeTable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(OutcomeTableTest, EveryKindHasItsCodeAndText) {
  // clang-format off
  const std::pair<unsigned, const char*> table[OUTCOME_KINDS] = {
      {200, "HTTP Code 200 OK"}, {201, "HTTP Code 201 Created"}, {202, "HTTP Code 202 Accepted"},
      {204, "HTTP Code 204 No Content"}, {301, "HTTP Code 301 Moved Permanently"},
      {302, "HTTP Code 302 Moved Temporarily"}, {304, "HTTP Code 304 Not Modified"},
      {400, "HTTP Code 400 Bad Request"}, {401, "HTTP Code 401 Unauthorized"},
      {403, "HTTP Code 403 Forbidden"}, {404, "HTTP Code 404 Not Found"},
      {500, "HTTP Code 500 Internal Server Error"}, {501, "HTTP Code 501 Not Implemented"},
      {502, "HTTP Code 502 Bad Gateway"}, {503, "HTTP Code 503 Service Unavailable"},
      {10000, "Unspecified Socket Error"}, {10001, "Request for Invalid Port or Name"},
      {10002, "Can't Find Named Host"}, {10003, "Can't Establish Socket"},
      {10004, "Can't Connect to Host"}, {10005, "Host Took Too Long to Respond"}};
  // clang-format on
  for (int kind = 0; kind < OUTCOME_KINDS; ++kind) {
    SCOPED_TRACE(kind);
    EXPECT_EQ(OutcomeCode(kind), table[kind].first);
    EXPECT_STREQ(OutcomeText(kind), table[kind].second);
    EXPECT_EQ(OutcomeKind(table[kind].first), kind);
  }
}

TEST(OutcomeTableTest, MasksSelectTheirKindsAndAlwaysTheUnclassifiedCodes) {
  const std::string mask = DEFAULT_FILTER_MASK, zeros(OUTCOME_KINDS, '0');
  ASSERT_EQ(mask.size(), static_cast<size_t>(OUTCOME_KINDS));
  for (int kind = 0; kind < OUTCOME_KINDS; ++kind) {
    EXPECT_EQ(MaskSelects(mask, OutcomeCode(kind)), kind != 0) << kind;  // all but 200
    EXPECT_FALSE(MaskSelects(zeros, OutcomeCode(kind))) << kind;
  }
  for (unsigned code : {0u, 203u, 9999u, 10006u, 4294967295u}) {
    EXPECT_EQ(OutcomeKind(code), -1) << code;
    EXPECT_TRUE(MaskSelects(zeros, code)) << code;
  }
  const std::string odd = "0x?1 abcdefghijklmno0";  // any character but '0' selects
  EXPECT_FALSE(MaskSelects(odd, 200) || MaskSelects(odd, SOCKET_ERROR_TIMEOUT));
  EXPECT_TRUE(MaskSelects(odd, 201) && MaskSelects(odd, 204));  // 204: a space
  // A short mask selects the kinds it lacks.
  EXPECT_TRUE(MaskSelects("", 200));
  EXPECT_FALSE(MaskSelects("0", 200));
  EXPECT_TRUE(MaskSelects("0", 10005));
}

}  // namespace

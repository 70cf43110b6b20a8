#include "engine/OutcomeTable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct OutcomeCase {
  unsigned code;
  const char* text;
};

const OutcomeCase kTable[OUTCOME_KINDS] = {
    {200, "HTTP Code 200 OK"},
    {201, "HTTP Code 201 Created"},
    {202, "HTTP Code 202 Accepted"},
    {204, "HTTP Code 204 No Content"},
    {301, "HTTP Code 301 Moved Permanently"},
    {302, "HTTP Code 302 Moved Temporarily"},
    {304, "HTTP Code 304 Not Modified"},
    {400, "HTTP Code 400 Bad Request"},
    {401, "HTTP Code 401 Unauthorized"},
    {403, "HTTP Code 403 Forbidden"},
    {404, "HTTP Code 404 Not Found"},
    {500, "HTTP Code 500 Internal Server Error"},
    {501, "HTTP Code 501 Not Implemented"},
    {502, "HTTP Code 502 Bad Gateway"},
    {503, "HTTP Code 503 Service Unavailable"},
    {10000, "Unspecified Socket Error"},
    {10001, "Request for Invalid Port or Name"},
    {10002, "Can't Find Named Host"},
    {10003, "Can't Establish Socket"},
    {10004, "Can't Connect to Host"},
    {10005, "Host Took Too Long to Respond"},
};

TEST(OutcomeTableTest, EveryKindHasItsCodeAndText) {
  for (int kind = 0; kind < OUTCOME_KINDS; ++kind) {
    SCOPED_TRACE(kind);
    EXPECT_EQ(OutcomeCode(kind), kTable[kind].code);
    EXPECT_STREQ(OutcomeText(kind), kTable[kind].text);
    EXPECT_EQ(OutcomeKind(kTable[kind].code), kind);
  }
}

TEST(OutcomeTableTest, MasksSelectTheirKindsAndAlwaysTheUnclassifiedCodes) {
  const std::string mask = DEFAULT_FILTER_MASK;
  ASSERT_EQ(mask.size(), static_cast<size_t>(OUTCOME_KINDS));
  const std::string zeros(OUTCOME_KINDS, '0');
  for (int kind = 0; kind < OUTCOME_KINDS; ++kind) {
    EXPECT_EQ(MaskSelects(mask, OutcomeCode(kind)), kind != 0) << kind;  // all but 200
    EXPECT_FALSE(MaskSelects(zeros, OutcomeCode(kind))) << kind;
  }
  for (unsigned code : {0u, 100u, 203u, 307u, 405u, 410u, 504u, 9999u, 10006u, 4294967295u}) {
    EXPECT_EQ(OutcomeKind(code), -1) << code;
    EXPECT_TRUE(MaskSelects(zeros, code)) << code;
  }
  std::string one(OUTCOME_KINDS, '1');
  one[20] = '0';  // the wait limit
  EXPECT_FALSE(MaskSelects(one, SOCKET_ERROR_TIMEOUT));
  EXPECT_TRUE(MaskSelects(one, SOCKET_ERROR_CONNECT));
  const std::string odd = "0x?1 abcdefghijklmnop";  // any character but '0' selects
  EXPECT_FALSE(MaskSelects(odd, 200));
  EXPECT_TRUE(MaskSelects(odd, 201));
  EXPECT_TRUE(MaskSelects(odd, 204));  // a space
  // A short mask selects the kinds it lacks.
  EXPECT_TRUE(MaskSelects("", 200));
  EXPECT_FALSE(MaskSelects("0", 200));
  EXPECT_TRUE(MaskSelects("0", 10005));
}

}  // namespace

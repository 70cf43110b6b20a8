// Outcomes of the full check: the standard codes (HTTP status codes and the
// failure codes 10000..10005) plus the failures only the full check can meet,
// the user's text for each, and the report filter rule for them.
//
// Texts: a code of the outcome table keeps its text; the new
// failure codes have fixed texts; any other HTTP status reads
// "HTTP Code <n> <standard reason phrase>".
#pragma once

#include <string>

#include "results/OutcomeTable.h"

namespace linkward {

// Failure codes past the standard ones, carried on the same channel.
constexpr unsigned CHECK_SECURE_CONNECTION_FAILED = 10006;
constexpr unsigned CHECK_LOCAL_FILE_NOT_FOUND = 10007;
constexpr unsigned CHECK_FRAGMENT_NOT_FOUND = 10008;
constexpr unsigned CHECK_TOO_MANY_REDIRECTS = 10009;
constexpr unsigned CHECK_REDIRECT_REFUSED = 10010;
constexpr unsigned CHECK_REMOTE_FILE_NOT_FOUND = 10011;  // ftp: no such file
// A link judged sound that has no status of its own (an ftp file, a local
// file or fragment found). Never reported.
constexpr unsigned CHECK_FOUND = 0;
// Remote #fragments that the page as read cannot confirm (Not Verified): one
// made by the page's scripts, one not in the part read, a page not read.
constexpr unsigned CHECK_FRAGMENT_MADE_BY_SCRIPT = 10020;
constexpr unsigned CHECK_FRAGMENT_PAST_LIMIT = 10021;
constexpr unsigned CHECK_FRAGMENT_PAGE_NOT_READ = 10022;
inline bool IsFragmentNotVerified(unsigned code) {
  return code >= CHECK_FRAGMENT_MADE_BY_SCRIPT && code <= CHECK_FRAGMENT_PAGE_NOT_READ;
}

// The user's text for code.
std::string CheckReasonText(unsigned code);

// The standard reason phrase of an HTTP status ("Gone" for 410), or "" when
// the status has none.
const char* HttpReasonPhrase(unsigned status);

// Whether the full check lists code under mask: the 21 kinds of the outcome table follow
// their mask position (307 and 303 follow 302's, 308 follows 301's); every
// other failure and every other status from 300 up is always listed; other
// 1xx and 2xx statuses and CHECK_FOUND never.
bool CheckReported(const std::string& mask, unsigned code);

}  // namespace linkward

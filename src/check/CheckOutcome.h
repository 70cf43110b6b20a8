// Outcomes of the full check: the standard codes (HTTP status codes and the
// failure codes 10000..10005) plus the failures only the full check can meet,
// the user's text for each, and the report filter rule for them.
//
// Texts: a code of the outcome table keeps its text; the new
// failure codes have fixed texts; any other HTTP status reads
// "HTTP Code <n> <standard reason phrase>".
#pragma once

#include <string>

#include "results/CheckClass.h"
#include "results/OutcomeTable.h"

namespace linkward {

// Failure codes past the standard ones, carried on the same channel.
constexpr unsigned CHECK_SECURE_CONNECTION_FAILED = 10006;
constexpr unsigned CHECK_LOCAL_FILE_NOT_FOUND = 10007;
constexpr unsigned CHECK_FRAGMENT_NOT_FOUND = 10008;
constexpr unsigned CHECK_TOO_MANY_REDIRECTS = 10009;
constexpr unsigned CHECK_REDIRECT_REFUSED = 10010;
constexpr unsigned CHECK_REMOTE_FILE_NOT_FOUND = 10011;  // ftp: no such file
constexpr unsigned CHECK_LOOKUP_FAILED_FOR_NOW = 10012;  // a temporary name lookup failure
constexpr unsigned CHECK_CERTIFICATE_EXPIRED = 10013;
constexpr unsigned CHECK_CERTIFICATE_NOT_TRUSTED = 10014;
constexpr unsigned CHECK_CERTIFICATE_NAME_MISMATCH = 10015;
// Failures that carry a number: the base plus an HTTP status (bot protection,
// rate limited, login required) or the wait limit in seconds (no answer).
constexpr unsigned CHECK_BOT_PROTECTION = 11000;   // + status: 11403
constexpr unsigned CHECK_RATE_LIMITED = 12000;     // + status: 12429
constexpr unsigned CHECK_LOGIN_REQUIRED = 13000;   // + status: 13401
constexpr unsigned CHECK_NO_ANSWER = 14000;        // + seconds: 14015
constexpr unsigned CHECK_FAMILY_SPAN = 1000;
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

// The user's text for code: "Blocked by Bot Protection (HTTP 403)", "Rate
// Limited (HTTP 429)", "Login Required (HTTP 401)", "No Answer in 15 s", ...
std::string CheckReasonText(unsigned code);

// The class of a full-check outcome: CHECK_FOUND, 1xx, 2xx and 3xx without a
// move are OK; 301, 302, 303, 307 and 308 (a chain that ended at a working
// page) Moved; bot protection, rate limited, login required, no answer, a
// temporary lookup failure and a remote fragment the page as read cannot
// confirm Not Verified; everything else Broken.
CheckClass CheckClassOf(unsigned code);

// The standard reason phrase of an HTTP status ("Gone" for 410), or "" when
// the status has none.
const char* HttpReasonPhrase(unsigned status);

// Whether the full check lists code under mask: the 21 kinds of the outcome table follow
// their mask position (307 and 303 follow 302's, 308 follows 301's; a code
// carrying a status follows that status's, no answer follows the timeout's
// and a temporary lookup failure the failed lookup's); every
// other failure and every other status from 300 up is always listed; other
// 1xx and 2xx statuses and CHECK_FOUND never.
bool CheckReported(const std::string& mask, unsigned code);

}  // namespace linkward

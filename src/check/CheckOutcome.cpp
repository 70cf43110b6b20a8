#include "check/CheckOutcome.h"

namespace linkward {

namespace {

struct Phrase {
  unsigned status;
  const char* text;
};

// RFC 9110 and the registered extensions a checker meets in practice.
constexpr Phrase kPhrases[] = {
    {100, "Continue"}, {101, "Switching Protocols"}, {102, "Processing"}, {103, "Early Hints"},
    {200, "OK"}, {201, "Created"}, {202, "Accepted"}, {203, "Non-Authoritative Information"},
    {204, "No Content"}, {205, "Reset Content"}, {206, "Partial Content"}, {207, "Multi-Status"},
    {208, "Already Reported"}, {226, "IM Used"}, {300, "Multiple Choices"},
    {301, "Moved Permanently"}, {302, "Found"}, {303, "See Other"}, {304, "Not Modified"},
    {305, "Use Proxy"}, {307, "Temporary Redirect"}, {308, "Permanent Redirect"},
    {400, "Bad Request"}, {401, "Unauthorized"}, {402, "Payment Required"}, {403, "Forbidden"},
    {404, "Not Found"}, {405, "Method Not Allowed"}, {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"}, {408, "Request Timeout"}, {409, "Conflict"},
    {410, "Gone"}, {411, "Length Required"}, {412, "Precondition Failed"},
    {413, "Content Too Large"}, {414, "URI Too Long"}, {415, "Unsupported Media Type"},
    {416, "Range Not Satisfiable"}, {417, "Expectation Failed"}, {418, "I'm a teapot"},
    {421, "Misdirected Request"}, {422, "Unprocessable Content"}, {423, "Locked"},
    {424, "Failed Dependency"}, {425, "Too Early"}, {426, "Upgrade Required"},
    {428, "Precondition Required"}, {429, "Too Many Requests"},
    {431, "Request Header Fields Too Large"}, {451, "Unavailable For Legal Reasons"},
    {500, "Internal Server Error"}, {501, "Not Implemented"}, {502, "Bad Gateway"},
    {503, "Service Unavailable"}, {504, "Gateway Timeout"}, {505, "HTTP Version Not Supported"},
    {506, "Variant Also Negotiates"}, {507, "Insufficient Storage"}, {508, "Loop Detected"},
    {510, "Not Extended"}, {511, "Network Authentication Required"},
};

// The family base of code, or 0 when code carries no number.
unsigned FamilyOf(unsigned code) {
  for (unsigned base : {CHECK_BOT_PROTECTION, CHECK_RATE_LIMITED, CHECK_LOGIN_REQUIRED,
                        CHECK_NO_ANSWER}) {
    if (code > base && code < base + CHECK_FAMILY_SPAN) return base;
  }
  return 0;
}

// The code whose mask position decides for code.
unsigned MaskedAs(unsigned code) {
  if (code == 303 || code == 307) return 302;
  if (code == 308) return 301;
  if (code == CHECK_LOOKUP_FAILED_FOR_NOW) return SOCKET_ERROR_HOST_NOT_FOUND;
  const unsigned family = FamilyOf(code);
  if (family == CHECK_NO_ANSWER) return SOCKET_ERROR_TIMEOUT;
  return family ? code - family : code;
}

}  // namespace

const char* HttpReasonPhrase(unsigned status) {
  for (const Phrase& phrase : kPhrases) {
    if (phrase.status == status) return phrase.text;
  }
  return "";
}

std::string CheckReasonText(unsigned code) {
  int kind = OutcomeKind(code);
  if (kind >= 0) return OutcomeText(kind);
  switch (code) {
    case CHECK_FRAGMENT_MADE_BY_SCRIPT: return "Fragment Made by Script";
    case CHECK_FRAGMENT_PAST_LIMIT: return "Fragment Not in the First 2 MB";
    case CHECK_FRAGMENT_PAGE_NOT_READ: return "Page Not Read for Fragment";
    case CHECK_SECURE_CONNECTION_FAILED: return "Secure Connection Failed";
    case CHECK_LOCAL_FILE_NOT_FOUND: return "Local File Not Found";
    case CHECK_FRAGMENT_NOT_FOUND: return "Fragment Not Found";
    case CHECK_TOO_MANY_REDIRECTS: return "Too Many Redirects";
    case CHECK_REDIRECT_REFUSED: return "Redirect Refused";
    case CHECK_REMOTE_FILE_NOT_FOUND: return "Remote File Not Found";
    case CHECK_LOOKUP_FAILED_FOR_NOW: return "Temporary Name Lookup Failure";
    case CHECK_CERTIFICATE_EXPIRED: return "Certificate Expired";
    case CHECK_CERTIFICATE_NOT_TRUSTED: return "Certificate Not Trusted";
    case CHECK_CERTIFICATE_NAME_MISMATCH: return "Certificate Name Mismatch";
    default: break;
  }
  const unsigned family = FamilyOf(code);
  const std::string number = std::to_string(code - family);
  switch (family) {
    case CHECK_BOT_PROTECTION: return "Blocked by Bot Protection (HTTP " + number + ")";
    case CHECK_RATE_LIMITED: return "Rate Limited (HTTP " + number + ")";
    case CHECK_LOGIN_REQUIRED: return "Login Required (HTTP " + number + ")";
    case CHECK_NO_ANSWER: return "No Answer in " + number + " s";
    default: break;
  }
  std::string text = "HTTP Code " + std::to_string(code);
  const char* phrase = HttpReasonPhrase(code);
  if (*phrase) text += std::string(" ") + phrase;
  return text;
}

CheckClass CheckClassOf(unsigned code) {
  if (code == 301 || code == 302 || code == 303 || code == 307 || code == 308)
    return CheckClass::Moved;
  if (code < 400) return CheckClass::Ok;
  if (code == CHECK_LOOKUP_FAILED_FOR_NOW || FamilyOf(code) != 0 || IsFragmentNotVerified(code))
    return CheckClass::NotVerified;
  return CheckClass::Broken;
}

bool CheckReported(const std::string& mask, unsigned code) {
  if (code == CHECK_FOUND) return false;
  const unsigned tabled = MaskedAs(code);
  if (OutcomeKind(tabled) >= 0) return MaskSelects(mask, tabled);
  return code >= 300;
}

}  // namespace linkward

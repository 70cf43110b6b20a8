#include "results/OutcomeTable.h"

namespace linkward {

namespace {

struct Outcome {
  unsigned code;
  const char* text;
};

constexpr Outcome kOutcomes[OUTCOME_KINDS] = {
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
    {SOCKET_ERROR_UNSPECIFIED, "Unspecified Socket Error"},
    {SOCKET_ERROR_INVALID_NAME, "Request for Invalid Port or Name"},
    {SOCKET_ERROR_HOST_NOT_FOUND, "Can't Find Named Host"},
    {SOCKET_ERROR_NO_SOCKET, "Can't Establish Socket"},
    {SOCKET_ERROR_CONNECT, "Can't Connect to Host"},
    {SOCKET_ERROR_TIMEOUT, "Host Took Too Long to Respond"},
};

}  // namespace

int OutcomeKind(unsigned code) {
  for (int kind = 0; kind < OUTCOME_KINDS; ++kind) {
    if (kOutcomes[kind].code == code) return kind;
  }
  return -1;
}

unsigned OutcomeCode(int kind) {
  return kOutcomes[kind].code;
}

const char* OutcomeText(int kind) {
  return kOutcomes[kind].text;
}

bool MaskSelects(const std::string& mask, unsigned code) {
  int kind = OutcomeKind(code);
  if (kind < 0 || static_cast<size_t>(kind) >= mask.size()) return true;
  return mask[kind] != '0';
}

}  // namespace linkward

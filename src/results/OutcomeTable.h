// The 21 outcome kinds: 15 HTTP status codes and 6 connection failures, with
// the texts the program shows for them, and the report filter mask rule.
#pragma once

#include <string>

namespace linkward {

constexpr int OUTCOME_KINDS = 21;
constexpr const char* DEFAULT_FILTER_MASK = "011111111111111111111";
constexpr const char* UNKNOWN_REASON_TEXT = "--------------> UNKNOWN REASON !!!!!";

// Failure codes, carried beside status codes; anything from 10000 up is one.
constexpr unsigned SOCKET_ERROR_UNSPECIFIED = 10000;
constexpr unsigned SOCKET_ERROR_INVALID_NAME = 10001;
constexpr unsigned SOCKET_ERROR_HOST_NOT_FOUND = 10002;
constexpr unsigned SOCKET_ERROR_NO_SOCKET = 10003;
constexpr unsigned SOCKET_ERROR_CONNECT = 10004;
constexpr unsigned SOCKET_ERROR_TIMEOUT = 10005;

// The kind (0..20) of a code, or -1 for an unclassified code.
int OutcomeKind(unsigned code);
// REQUIRES: 0 <= kind < OUTCOME_KINDS
unsigned OutcomeCode(int kind);
const char* OutcomeText(int kind);

// Whether mask selects code: a code of the table is selected unless its
// character is '0' (a missing character counts as selected); an unclassified
// code is always selected.
bool MaskSelects(const std::string& mask, unsigned code);

}  // namespace linkward

#include "settings/PreferencesDlg.h"

#include <cctype>
#include <climits>

#include "check/SiteMap.h"
#include "check/SkipList.h"

namespace linkward {

namespace {

// An integer as a dialog's integer field takes it: optional blanks around an
// optionally signed run of digits, nothing else.
bool ParseInteger(const std::string& text, int* value) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  size_t digits = i;
  long long number = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    number = number * 10 + (text[i++] - '0');
    if (number > INT_MAX) return false;
  }
  if (i == digits) return false;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i != text.size()) return false;
  *value = static_cast<int>(negative ? -number : number);
  return true;
}

}  // namespace

void CPreferencesDlg::ShowMaskChecks() {
  const std::string& mask = m_strMask;
  for (size_t i = 0; i < m_nChecks.size(); ++i) {
    m_nChecks[i] = i < mask.size() ? mask[i] - '0' : 0;
  }
}

void CPreferencesDlg::OnWatchLikeHawk() {
  m_strMask = HAWK_MASK;
  ShowMaskChecks();
}

void CPreferencesDlg::OnWatchOneEyeShut() {
  m_strMask = ONE_EYE_MASK;
  ShowMaskChecks();
}

bool CPreferencesDlg::OnOK(const std::string& timeoutText) {
  std::string& mask = m_strMask;
  mask.clear();
  for (int check : m_nChecks) mask += check != 0 ? '1' : '0';
  int timeout = 0;
  if (!ParseInteger(timeoutText, &timeout) || timeout < MIN_TIMEOUT || timeout > MAX_TIMEOUT) {
    return false;
  }
  m_nTimeout = timeout;
  return true;
}

bool CPreferencesDlg::UserAgentAllowed(const std::string& text) {
  if (text.size() > 255) return false;
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7f) return false;
  return true;
}

bool CPreferencesDlg::SiteUrlAllowed(const std::string& text) {
  if (text.size() > 2048) return false;
  for (unsigned char c : text)
    if (c <= 0x20 || c == 0x7f) return false;
  return text.empty() || CSiteMap(text, "/").Valid();
}

const std::string& CPreferencesDlg::RowText(int i) const {
  return m_rowTexts[i];
}

CPreferencesDlg::FullField CPreferencesDlg::ValidateFullCheck(const std::string& transfersText,
                                                              const std::string& perHostText,
                                                              const std::string& skipText,
                                                              std::string* message) {
  int transfers = 0;
  if (!ParseInteger(transfersText, &transfers) || transfers < MIN_TRANSFERS ||
      transfers > MAX_TRANSFERS) {
    *message = TRANSFERS_MESSAGE;
    return FullField::Transfers;
  }
  int perHost = 0;
  if (!ParseInteger(perHostText, &perHost) || perHost < MIN_PER_HOST || perHost > MAX_PER_HOST) {
    *message = PER_HOST_MESSAGE;
    return FullField::PerHost;
  }
  std::vector<std::string> patterns = SplitPatternLines(skipText);
  if (JoinPatternLines(patterns).size() > MAX_SKIP_TEXT) {
    *message = "The list of links to skip is too long: it may hold at most " +
               std::to_string(MAX_SKIP_TEXT) + " characters.";
    return FullField::SkipList;
  }
  std::string bad;
  if (!CSkipList().Compile(patterns, &bad)) {
    *message = "Skip links matching: \"" + bad + "\" is not a valid regular expression.";
    return FullField::SkipList;
  }
  m_nTransfers = transfers;
  m_nPerHost = perHost;
  m_skipPatterns = std::move(patterns);
  return FullField::None;
}

}  // namespace linkward

// "Preferences": the checks of the 21 outcome kinds, the wait limit and the
// full check's choices (transfers at once, per host, the skip list), and the
// rules of the dialog's buttons. The fixed-mask buttons change the view's
// mask at once; OK builds the mask from the checks before validating.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace linkward {

class CPreferencesDlg {
 public:
  static constexpr const char* HAWK_MASK = "011111111111111111111";
  static constexpr const char* ONE_EYE_MASK = "000000011110000001000";
  static constexpr int MIN_TIMEOUT = 5;
  static constexpr int MAX_TIMEOUT = 50;
  static constexpr unsigned HELP_CONTEXT_ID = 131208;
  static constexpr const char* RANGE_MESSAGE = "Please enter an integer between 5 and 50.";

  static constexpr int MIN_TRANSFERS = 1;
  static constexpr int MAX_TRANSFERS = 256;
  static constexpr int DEFAULT_TRANSFERS = 128;
  static constexpr int MIN_PER_HOST = 1;
  static constexpr int MAX_PER_HOST = 16;
  static constexpr int DEFAULT_PER_HOST = 2;
  static constexpr const char* TRANSFERS_MESSAGE = "Please enter an integer between 1 and 256.";
  static constexpr const char* PER_HOST_MESSAGE = "Please enter an integer between 1 and 16.";
  // The most text the skip list may hold (what the settings store reads back).
  static constexpr size_t MAX_SKIP_TEXT = 65535;

  static constexpr int ROWS = 21;
  using RowTexts = std::array<std::string, ROWS>;

  // mask: the report filter mask the dialog shows and edits (the fixed-mask
  // buttons change it at once); rowTexts: the outcome texts, one per row.
  CPreferencesDlg(std::string& mask, const RowTexts& rowTexts)
      : m_strMask(mask), m_rowTexts(rowTexts) {}

  int m_nTimeout = 10;
  // The full check: remote checks at once, at once to one host, and the
  // "Skip links matching" patterns, one per line.
  int m_nTransfers = DEFAULT_TRANSFERS;
  int m_nPerHost = DEFAULT_PER_HOST;
  std::vector<std::string> m_skipPatterns;
  // The User-Agent the full check sends; empty: Linkward's own.
  std::string m_strUserAgent;
  // A User-Agent that can be sent and stored: at most 255 bytes, no control
  // characters (a line break would start another header).
  static bool UserAgentAllowed(const std::string& text);
  // The site's own address (links into it are judged as the local files;
  // empty: none), and whether #fragments of remote pages are looked for.
  std::string m_strSiteUrl;
  bool m_bCheckFragments = false;
  // A site address that can be stored: empty, or an http or https address
  // of at most 2,048 bytes without spaces or control characters.
  static bool SiteUrlAllowed(const std::string& text);
  // Check state of each row: character i of the mask minus '0'.
  std::array<int, ROWS> m_nChecks{};

  void OnInitDialog() { ShowMaskChecks(); }
  void ShowMaskChecks();
  void OnWatchLikeHawk();
  void OnWatchOneEyeShut();
  // Builds the mask from the checks, then validates timeoutText as an
  // integer from 5 to 50. True: m_nTimeout holds it and the dialog closes with
  // OK. False: the face shows RANGE_MESSAGE, keeps the dialog open and puts the
  // focus on the wait-limit box.
  bool OnOK(const std::string& timeoutText);
  // The full check's boxes, validated after OnOK in the order of the boxes.
  enum class FullField { None, Transfers, PerHost, SkipList };
  // None: the three members hold the new values. Otherwise the first box
  // refused, with the message to show in *message; the face keeps the dialog
  // open and puts the focus on that box. skipText holds one
  // regular expression (see CSkipList) per line; empty lines are dropped.
  FullField ValidateFullCheck(const std::string& transfersText, const std::string& perHostText,
                              const std::string& skipText, std::string* message);
  // The text of row i: the outcome text of kind i.
  const std::string& RowText(int i) const;

 private:
  std::string& m_strMask;
  const RowTexts& m_rowTexts;
};

}  // namespace linkward

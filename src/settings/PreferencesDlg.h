// "Preferences": the checks of the 21 outcome kinds and the wait limit, and
// the rules of the dialog's buttons. The fixed-mask buttons change the view's
// mask at once; OK builds the mask from the checks before validating.
#pragma once

#include <array>
#include <string>


class CPreferencesDlg {
 public:
  static constexpr const char* HAWK_MASK = "011111111111111111111";
  static constexpr const char* ONE_EYE_MASK = "000000011110000001000";
  static constexpr int MIN_TIMEOUT = 5;
  static constexpr int MAX_TIMEOUT = 50;
  static constexpr unsigned HELP_CONTEXT_ID = 131208;
  static constexpr const char* RANGE_MESSAGE = "Please enter an integer between 5 and 50.";

  static constexpr int ROWS = 21;
  using RowTexts = std::array<std::string, ROWS>;

  // mask: the report filter mask the dialog shows and edits (the fixed-mask
  // buttons change it at once); rowTexts: the outcome texts, one per row.
  CPreferencesDlg(std::string& mask, const RowTexts& rowTexts)
      : m_strMask(mask), m_rowTexts(rowTexts) {}

  int m_nTimeout = 10;
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
  // The text of row i: the outcome text of kind i.
  const std::string& RowText(int i) const;

 private:
  std::string& m_strMask;
  const RowTexts& m_rowTexts;
};

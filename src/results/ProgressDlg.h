// The progress window's model: nine text fields and two bars, driven by the
// test run and shown by the face through IFrame::ProgressUpdate.
#pragma once

#include <string>

namespace linkward {

// A progress bar: range, step, step-it (stops at the maximum) and position.
// Ranges are kept in full (not cut to 16 bits).
class CProgressBar {
 public:
  void SetRange(int lower, int upper);
  void SetStep(int step) { m_nStep = step; }
  void StepIt();
  void SetPos(int pos);
  int Lower() const { return m_nLower; }
  int Upper() const { return m_nUpper; }
  int Step() const { return m_nStep; }
  int Pos() const { return m_nPos; }

 private:
  int m_nLower = 0;
  int m_nUpper = 100;
  int m_nStep = 10;
  int m_nPos = 0;
};

class CProgressDlg {
 public:
  CProgressBar m_wndLinkBar;
  CProgressBar m_wndFileBar;
  std::string m_strCurrentFile;
  std::string m_strCurrentUrl;
  std::string m_strAnchorText;
  std::string m_strFileTotal;
  std::string m_strLinkTotal;
  std::string m_strFileIndex;
  std::string m_strLinkIndex;
};

}  // namespace linkward

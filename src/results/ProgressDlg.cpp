#include "results/ProgressDlg.h"

#include <algorithm>

namespace linkward {

void CProgressBar::SetRange(int lower, int upper) {
  m_nLower = lower;
  m_nUpper = upper;
  m_nPos = std::clamp(m_nPos, m_nLower, std::max(m_nLower, m_nUpper));
}

void CProgressBar::StepIt() {
  SetPos(m_nPos + m_nStep);
}

void CProgressBar::SetPos(int pos) {
  m_nPos = std::clamp(pos, m_nLower, std::max(m_nLower, m_nUpper));
}

}  // namespace linkward

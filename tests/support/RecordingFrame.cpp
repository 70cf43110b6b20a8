#include "support/RecordingFrame.h"

using namespace linkward;

std::string RecordingFrame::Pane(int pane) const {
  auto it = paneHistory.find(pane);
  return it == paneHistory.end() || it->second.empty() ? std::string() : it->second.back();
}

int RecordingFrame::MessageBox(const std::string& text, unsigned style) {
  boxes.push_back({text, style});
  if (!answers.empty()) {
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  return (style & MB_YESNO) ? IDNO : IDOK;
}

void RecordingFrame::ActivityBarCreate(const CProgressBar& bar) {
  ++activityCreates;
  activityPositions.push_back(bar.Pos());
}

void RecordingFrame::ProgressCreate(const CProgressDlg& dlg) {
  ++progressCreates;
  progressShown = true;
  lastProgress = dlg;
}

void RecordingFrame::ProgressUpdate(const CProgressDlg& dlg) {
  lastProgress = dlg;
  progressUpdates.push_back(dlg);
}

void RecordingFrame::ProgressDestroy() {
  ++progressDestroys;
  progressShown = false;
}

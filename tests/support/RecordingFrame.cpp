#include "support/RecordingFrame.h"

using namespace linkward;

std::string RecordingFrame::Pane(int pane) const {
  auto it = paneHistory.find(pane);
  return it == paneHistory.end() || it->second.empty() ? std::string() : it->second.back();
}

Answer RecordingFrame::MessageBox(const std::string& text, BoxStyle style) {
  boxes.push_back({text, style});
  if (!answers.empty()) {
    Answer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  return ButtonsOf(style) == BoxStyle::YesNo ? Answer::No : Answer::Ok;
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

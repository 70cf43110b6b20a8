// A frame for tests: it records what the core shows and answers message
// boxes and dialogs from a script.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engine/Frame.h"
#include "results/ProgressDlg.h"

using namespace linkward;

class RecordingFrame : public IFrame {
 public:
  struct Box {
    std::string text;
  };

  // Answers given to the next message boxes, in order; when none is left a
  // box is answered Answer::Ok (or Answer::No for a Yes/No question).
  std::deque<Answer> answers;
  std::vector<Box> boxes;
  std::vector<unsigned> beeps;  // the beep types as numbers (0, 48)
  std::string log;
  int waitCursorDepth = 0;
  int progressCreates = 0;
  CProgressDlg lastProgress;

  // Dialog scripts; unset ones answer as IFrame does (Answer::Cancel; the
  // repair failure dialog Answer::Ok).
  std::function<Answer(CSelectFilesDlg&)> onSelectFiles;
  std::function<Answer(CPreferencesDlg&)> onPreferences;
  std::function<Answer(CExportDlg&)> onExport;
  std::function<Answer(CRepairDlg&)> onRepair;
  std::function<Answer(CRepairFailDlg&)> onRepairFail;
  std::function<bool(const std::string&, std::string*)> onOpenFile;
  std::function<bool(const std::string&, const std::string&, const std::string&, std::string*)>
      onSaveFile;

  Answer MessageBox(const std::string& text, BoxStyle style) override {
    boxes.push_back({text});
    if (answers.empty()) return IFrame::MessageBox(text, style);
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void MessageBeep(BoxStyle type) override { beeps.push_back(static_cast<unsigned>(type)); }
  void BeginWaitCursor() override { ++waitCursorDepth; }
  void EndWaitCursor() override { --waitCursorDepth; }
  void LogAppend(const std::string& text) override { log += text; }
  void LogClear() override { log.clear(); }
  void ProgressCreate(const CProgressDlg& dlg) override {
    ++progressCreates;
    lastProgress = dlg;
  }
  void ProgressUpdate(const CProgressDlg& dlg) override { lastProgress = dlg; }
  Answer DoModal(CSelectFilesDlg& dlg) override {
    return onSelectFiles ? onSelectFiles(dlg) : Answer::Cancel;
  }
  Answer DoModal(CPreferencesDlg& dlg) override {
    return onPreferences ? onPreferences(dlg) : Answer::Cancel;
  }
  Answer DoModal(CExportDlg& dlg) override { return onExport ? onExport(dlg) : Answer::Cancel; }
  Answer DoModal(CRepairDlg& dlg) override { return onRepair ? onRepair(dlg) : Answer::Cancel; }
  Answer DoModal(CRepairFailDlg& dlg) override {
    return onRepairFail ? onRepairFail(dlg) : IFrame::DoModal(dlg);
  }
  bool GetOpenFileName(const std::string& initialName, std::string* chosen) override {
    return onOpenFile && onOpenFile(initialName, chosen);
  }
  bool GetSaveFileName(const std::string& initialName, const std::string& defaultExt,
                       const std::string& filter, std::string* chosen) override {
    return onSaveFile && onSaveFile(initialName, defaultExt, filter, chosen);
  }
};

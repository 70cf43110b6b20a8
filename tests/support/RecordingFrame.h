// A frame for tests: it records everything the core shows and answers message
// boxes and dialogs from a script.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/Frame.h"
#include "results/ProgressDlg.h"

using namespace linkward;

class RecordingFrame : public IFrame {
 public:
  struct Box {
    std::string text;
    BoxStyle style;
  };

  // Answers given to the next message boxes, in order; when none is left a
  // box is answered Answer::Ok (or Answer::No for a Yes/No question).
  std::deque<Answer> answers;
  std::vector<Box> boxes;
  std::vector<unsigned> beeps;                          // the beep types as numbers (0, 48)
  std::map<int, std::vector<std::string>> paneHistory;  // every text written, per pane
  std::string log;
  int logClears = 0;
  int waitCursorDepth = 0;
  int activityCreates = 0;
  std::vector<int> activityPositions;
  int progressCreates = 0;
  int progressDestroys = 0;
  bool progressShown = false;
  CProgressDlg lastProgress;
  std::vector<CProgressDlg> progressUpdates;
  int rowNotices = 0;
  int commandStateChanges = 0;

  // Dialog scripts; unset ones answer Answer::Cancel.
  std::function<Answer(CSelectFilesDlg&)> onSelectFiles;
  std::function<Answer(CPreferencesDlg&)> onPreferences;
  std::function<Answer(CExportDlg&)> onExport;
  std::function<Answer(CRepairDlg&)> onRepair;
  std::function<Answer(CRepairFailDlg&)> onRepairFail;
  std::function<bool(const std::string&, std::string*)> onOpenFile;
  std::function<bool(const std::string&, const std::string&, const std::string&, std::string*)>
      onSaveFile;

  std::string Pane(int pane) const;  // the last text written to pane, "" if none

  Answer MessageBox(const std::string& text, BoxStyle style) override;
  void MessageBeep(BoxStyle type) override { beeps.push_back(static_cast<unsigned>(type)); }
  void BeginWaitCursor() override { ++waitCursorDepth; }
  void EndWaitCursor() override { --waitCursorDepth; }
  void SetPaneText(int pane, const std::string& text) override {
    paneHistory[pane].push_back(text);
  }
  void ActivityBarCreate(const CProgressBar& bar) override;
  void ActivityBarChanged(const CProgressBar& bar) override { activityPositions.push_back(bar.Pos()); }
  void LogAppend(const std::string& text) override { log += text; }
  void LogClear() override {
    log.clear();
    ++logClears;
  }
  void ProgressCreate(const CProgressDlg& dlg) override;
  void ProgressUpdate(const CProgressDlg& dlg) override;
  void ProgressDestroy() override;
  void RowsInserted(int, int) override { ++rowNotices; }
  void RowChanged(int) override { ++rowNotices; }
  void RowRemoved(int) override { ++rowNotices; }
  void RowsCleared() override { ++rowNotices; }
  void CommandStateChanged() override { ++commandStateChanges; }
  Answer DoModal(CSelectFilesDlg& dlg) override {
    return onSelectFiles ? onSelectFiles(dlg) : Answer::Cancel;
  }
  Answer DoModal(CPreferencesDlg& dlg) override {
    return onPreferences ? onPreferences(dlg) : Answer::Cancel;
  }
  Answer DoModal(CExportDlg& dlg) override { return onExport ? onExport(dlg) : Answer::Cancel; }
  Answer DoModal(CRepairDlg& dlg) override { return onRepair ? onRepair(dlg) : Answer::Cancel; }
  Answer DoModal(CRepairFailDlg& dlg) override {
    return onRepairFail ? onRepairFail(dlg) : Answer::Ok;
  }
  bool GetOpenFileName(const std::string& initialName, std::string* chosen) override {
    return onOpenFile && onOpenFile(initialName, chosen);
  }
  bool GetSaveFileName(const std::string& initialName, const std::string& defaultExt,
                       const std::string& filter, std::string* chosen) override {
    return onSaveFile && onSaveFile(initialName, defaultExt, filter, chosen);
  }
};

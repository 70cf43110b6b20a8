// The frame port for the desktop: what the core shows or asks goes to the
// main window's panes, bars, log and list, to message boxes and to the
// dialogs. Message boxes and the select-files dialog can be scripted by tests.
#pragma once

#include <QPointer>
#include <functional>
#include <optional>
#include <string>

#include "gui/ProgressWindow.h"
#include "engine/Frame.h"
#include "settings/TestChoices.h"

class QProgressBar;

namespace linkward {

class CMainFrame;
class ProgressWindow;

class QtFrame : public IFrame {
 public:
  explicit QtFrame(CMainFrame& main);
  ~QtFrame() override;

  // Answers message boxes instead of showing them, when set (tests).
  std::function<Answer(const std::string& text, BoxStyle style)> messageBoxHook;
  // Called for every beep, when set (tests); the beep still sounds.
  std::function<void(BoxStyle type)> beepHook;
  // A file given on the command line: the next Select File(s) dialog shows
  // it instead of the stored starter file (once).
  std::string offeredPath;
  // With offeredPath: the choices the dialog shows instead of the stored ones (once).
  std::optional<TestChoices> offeredChoices;

  Answer MessageBox(const std::string& text, BoxStyle style) override;
  void MessageBeep(BoxStyle type) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;

  void SetPaneText(int pane, const std::string& text) override;
  void ActivityBarCreate(const CProgressBar& bar) override;
  void ActivityBarChanged(const CProgressBar& bar) override;

  void LogAppend(const std::string& text) override;
  void LogClear() override;

  void ProgressCreate(const CProgressDlg& dlg) override;
  void ProgressUpdate(const CProgressDlg& dlg) override;
  void ProgressDestroy() override;

  void RowsInserted(int first, int count) override;
  void RowChanged(int row) override;
  void RowRemoved(int row) override;
  void RowsCleared() override;

  void CommandStateChanged() override;

  Answer DoModal(CSelectFilesDlg& dlg) override;
  Answer DoModal(CPreferencesDlg& dlg) override;
  Answer DoModal(CExportDlg& dlg) override;
  Answer DoModal(CRepairDlg& dlg) override;
  Answer DoModal(CRepairFailDlg& dlg) override;

  bool GetOpenFileName(const std::string& initialName, std::string* chosen) override;
  bool GetSaveFileName(const std::string& initialName, const std::string& defaultExt,
                       const std::string& filter, std::string* chosen) override;

  ProgressWindow* Progress() const { return m_pProgress; }
  // Where the running test's progress shows: docked under the list for a
  // full check (the choice stored last tells at creation), else the window.
  void PlaceProgress(bool docked);

 private:
  void ShowProgress(const CProgressDlg& dlg, bool docked);

  CMainFrame& m_main;
  QPointer<ProgressWindow> m_pProgress;
  int m_nWaitCursors = 0;
  bool m_bDocked = false;
};

// The directory that an open-file dialog starts in for initialName ("dir/*.*"
// gives "dir"; "*.*" alone gives the current directory, returned as "").
std::string OpenDialogDirectory(const std::string& initialName);

}  // namespace linkward

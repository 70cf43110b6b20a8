// The frame of the terminal face: the log goes to standard output with "\n"
// line ends, message boxes to standard error, and, when standard error is a
// terminal, a one-line live progress display. Dialogs are answered from the
// command line.
#pragma once

#include <cstdio>
#include <string>

#include "CliOptions.h"
#include "engine/Frame.h"
#include "results/ProgressDlg.h"

class TerminalFrame : public IFrame {
 public:
  TerminalFrame(const CliOptions& options, std::FILE* out, std::FILE* err, bool liveDisplay);

  // The next Yes/No question is answered Yes whatever --yes says.
  void AnswerNextQuestionYes() { m_bYesOnce = true; }
  bool RepairStopped() const { return m_bRepairStopped; }
  // Removes the live display line before the program ends.
  void ClearLiveLine();

  int MessageBox(const std::string& text, unsigned style) override;
  void SetPaneText(int pane, const std::string& text) override;
  void LogAppend(const std::string& text) override;
  void ProgressCreate(const CProgressDlg& dlg) override { ProgressUpdate(dlg); }
  void ProgressUpdate(const CProgressDlg& dlg) override;
  void ProgressDestroy() override;
  int DoModal(CSelectFilesDlg& dlg) override;
  int DoModal(CExportDlg& dlg) override;
  int DoModal(CRepairDlg& dlg) override;
  int DoModal(CRepairFailDlg& dlg) override;

 private:
  void DrawLiveLine();

  const CliOptions& m_options;
  std::FILE* m_out;
  std::FILE* m_err;
  bool m_bLive;
  bool m_bLineShown = false;
  bool m_bYesOnce = false;
  bool m_bRepairStopped = false;
  bool m_bProgress = false;
  CProgressDlg m_progress;
  std::string m_strPane1;
};

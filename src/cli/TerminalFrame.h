// The frame of the terminal face: the log goes to standard output with "\n"
// line ends, each result row is listed there as it is added, message boxes go
// to standard error and, when standard error is a terminal, a one-line live
// progress display. Dialogs are answered from the command line. Control
// characters taken from pages or paths are shown escaped (\x1b), never sent
// to the terminal raw.
#pragma once

#include <cstdio>
#include <string>

#include "CliOptions.h"
#include "engine/Frame.h"
#include "results/ProgressDlg.h"
#include "results/ResultRows.h"

namespace linkward {

// text with every byte below 32 and 127 written as \xHH, except the
// characters of keep; when keep holds "\n", "\r\n" becomes "\n".
std::string EscapeControls(const std::string& text, const char* keep = "");

class TerminalFrame : public IFrame {
 public:
  TerminalFrame(const CliOptions& options, std::FILE* out, std::FILE* err, bool liveDisplay);

  // The next Yes/No question is answered Yes whatever --yes says.
  void AnswerNextQuestionYes() { m_bYesOnce = true; }
  bool RepairStopped() const { return m_bRepairStopped; }
  // Removes the live display line before the program ends.
  void ClearLiveLine();
  // The rows to list as they are completed (their file set).
  void ListRows(const CResultRows* rows) { m_pRows = rows; }

  Answer MessageBox(const std::string& text, BoxStyle style) override;
  void SetPaneText(int pane, const std::string& text) override;
  void LogAppend(const std::string& text) override;
  void ProgressCreate(const CProgressDlg& dlg) override { ProgressUpdate(dlg); }
  void ProgressUpdate(const CProgressDlg& dlg) override;
  void ProgressDestroy() override;
  void RowChanged(int row) override;
  void RowRemoved(int row) override;
  void RowsCleared() override { m_nListed = 0; }
  Answer DoModal(CSelectFilesDlg& dlg) override;
  Answer DoModal(CExportDlg& dlg) override;
  Answer DoModal(CRepairDlg& dlg) override;
  Answer DoModal(CRepairFailDlg& dlg) override;

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
  const CResultRows* m_pRows = nullptr;
  int m_nListed = 0;  // rows listed so far
};

}  // namespace linkward

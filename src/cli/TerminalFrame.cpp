#include "TerminalFrame.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "repair/RepairDlg.h"
#include "settings/ExportDlg.h"
#include "settings/SelectFilesDlg.h"

namespace linkward {

std::string EscapeControls(const std::string& text, const char* keep) {
  const bool keepLineFeeds = std::strchr(keep, '\n') != nullptr;
  std::string shown;
  shown.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (keepLineFeeds && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if ((c < 32 && (c == 0 || std::strchr(keep, c) == nullptr)) || c == 127) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      shown += hex;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

TerminalFrame::TerminalFrame(const CliOptions& options, std::FILE* out, std::FILE* err,
                             bool liveDisplay)
    : m_options(options), m_out(out), m_err(err), m_bLive(liveDisplay) {}

void TerminalFrame::ClearLiveLine() {
  if (m_bLineShown) {
    std::fputs("\r\033[K", m_err);
    std::fflush(m_err);
    m_bLineShown = false;
  }
}

void TerminalFrame::DrawLiveLine() {
  if (!m_bLive || !m_bProgress) return;
  std::string line = "File " + m_progress.m_strFileIndex + " of " + m_progress.m_strFileTotal;
  if (!m_progress.m_strLinkIndex.empty()) {
    line += ", link " + m_progress.m_strLinkIndex + " of " + m_progress.m_strLinkTotal + ": " +
            m_progress.m_strCurrentUrl;
  }
  if (!m_strPane1.empty()) line += "  [" + m_strPane1 + "]";
  line = EscapeControls(line);
  struct winsize size {};
  size_t width = 80;
  if (::ioctl(::fileno(m_err), TIOCGWINSZ, &size) == 0 && size.ws_col > 1) width = size.ws_col;
  if (line.size() > width - 1) line.resize(width - 1);
  std::fprintf(m_err, "\r\033[K%s", line.c_str());
  std::fflush(m_err);
  m_bLineShown = true;
}

Answer TerminalFrame::MessageBox(const std::string& text, BoxStyle style) {
  ClearLiveLine();
  std::fprintf(m_err, "%s\n", EscapeControls(text, "\n").c_str());
  Answer answer = Answer::Ok;
  if (ButtonsOf(style) == BoxStyle::YesNo) {
    answer = (m_options.yes || m_bYesOnce) ? Answer::Yes : Answer::No;
    m_bYesOnce = false;
    std::fprintf(m_err, "(answered %s)\n", answer == Answer::Yes ? "Yes" : "No");
  }
  std::fflush(m_err);
  DrawLiveLine();
  return answer;
}

void TerminalFrame::SetPaneText(int pane, const std::string& text) {
  if (pane != 1) return;
  m_strPane1 = text;
  DrawLiveLine();
}

void TerminalFrame::LogAppend(const std::string& text) {
  ClearLiveLine();
  std::string lines = EscapeControls(text, "\n");
  std::fwrite(lines.data(), 1, lines.size(), m_out);
  std::fflush(m_out);
  DrawLiveLine();
}

void TerminalFrame::RowChanged(int row) {
  (void)row;
  if (!m_pRows) return;
  bool listed = false;
  while (m_nListed < m_pRows->GetItemCount() &&
         !m_pRows->GetItemText(m_nListed, COL_FILE).empty()) {
    if (!listed) ClearLiveLine();
    std::string line = "  " + m_pRows->GetItemText(m_nListed, COL_URL) + " - " +
                       m_pRows->GetItemText(m_nListed, COL_REASON) + " - " +
                       m_pRows->GetItemText(m_nListed, COL_SITE);
    const std::string& history = m_pRows->GetItemDetails(m_nListed).history;
    if (!history.empty()) line += " [" + history + "]";
    std::fprintf(m_out, "%s\n", EscapeControls(line).c_str());
    ++m_nListed;
    listed = true;
  }
  if (listed) {
    std::fflush(m_out);
    DrawLiveLine();
  }
}

void TerminalFrame::RowRemoved(int row) {
  if (row < m_nListed) --m_nListed;
}

void TerminalFrame::ProgressUpdate(const CProgressDlg& dlg) {
  m_progress = dlg;
  m_bProgress = true;
  DrawLiveLine();
}

void TerminalFrame::ProgressDestroy() {
  m_bProgress = false;
  ClearLiveLine();
}

Answer TerminalFrame::DoModal(CSelectFilesDlg& dlg) {
  dlg.m_strPath = m_options.file;
  dlg.m_choices = m_options.choices;
  dlg.m_bFullCheck = m_options.full;
  return Answer::Ok;
}

Answer TerminalFrame::DoModal(CExportDlg& dlg) {
  // "-" (standard output) is written by the runner itself.
  if (m_options.reportPath.empty() || m_options.reportPath == "-") return Answer::Cancel;
  dlg.m_strExportPath = m_options.reportPath;
  dlg.m_nExportFormat = m_options.reportFormat;
  return Answer::Ok;
}

Answer TerminalFrame::DoModal(CRepairDlg& dlg) {
  if (m_options.repairType == RepairType::None) return Answer::Cancel;
  dlg.m_nRepairType = m_options.repairType;
  return Answer::Ok;
}

Answer TerminalFrame::DoModal(CRepairFailDlg& dlg) {
  ClearLiveLine();
  std::fprintf(m_err, "Repair Failure\nThe URL Repair failed in file: %s\nPossibly near URL: %s\n",
               dlg.m_strFailFile.c_str(), dlg.m_strFailUrl.c_str());
  std::fflush(m_err);
  m_bRepairStopped = true;
  dlg.m_bIgnore = false;
  return Answer::Ok;
}

}  // namespace linkward

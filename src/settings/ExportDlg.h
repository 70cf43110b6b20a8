// "Export Bad URLs": the report path and format, and the rules of the
// dialog's controls. The face reads its controls into the members before a
// rule runs and shows the members again after it.
#pragma once

#include <string>

class IFrame;

class CExportDlg {
 public:
  static constexpr size_t MAX_PATH_CHARS = 200;

  explicit CExportDlg(IFrame& frame) : m_frame(frame) {}

  std::string m_strExportPath;
  int m_nExportFormat = -1;  // 0 text, 1 HTML

  // Swaps a ".txt" ending for ".html" (format 1) or back (format 0), case-sensitively.
  void OnFormatClicked();
  // The save dialog with the format's default extension and filter.
  void OnBrowse();
  bool ValidateOnOK() const { return m_strExportPath.size() <= MAX_PATH_CHARS; }

 private:
  IFrame& m_frame;
};

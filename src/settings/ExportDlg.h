// "Export Bad URLs": the report path and format, and the rules of the
// dialog's controls. The face reads its controls into the members before a
// rule runs and shows the members again after it.
#pragma once

#include <string>

#include "results/ReportWriter.h"

namespace linkward {

class IHostUi;

class CExportDlg {
 public:
  static constexpr size_t MAX_PATH_CHARS = 200;

  explicit CExportDlg(IHostUi& frame) : m_frame(frame) {}

  std::string m_strExportPath;
  // The chosen format; -1 when none is chosen.
  ExportFormat m_nExportFormat = static_cast<ExportFormat>(-1);

  // Makes the path's ending follow the chosen format: a path that ends, after
  // at least one other character, in the ending of another format (".txt",
  // ".html", ".json", ".csv", ".xml"; case-sensitive) gets the chosen format's
  // ending. So ".txt" becomes ".html" for HTML and back for text.
  void OnFormatClicked();
  // The save dialog with the format's default extension and filter (HTML's for
  // a value that names no format).
  void OnBrowse();
  bool ValidateOnOK() const { return m_strExportPath.size() <= MAX_PATH_CHARS; }

 private:
  IHostUi& m_frame;
};

}  // namespace linkward

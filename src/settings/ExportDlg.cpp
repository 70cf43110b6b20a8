#include "settings/ExportDlg.h"

#include "platform/Frame.h"

namespace {

// True when text ends with ending after at least one other character.
bool EndsAfterName(const std::string& text, const std::string& ending) {
  return text.size() > ending.size() &&
         text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

}  // namespace

void CExportDlg::OnFormatClicked() {
  if (m_nExportFormat == 1 && EndsAfterName(m_strExportPath, ".txt")) {
    m_strExportPath.replace(m_strExportPath.size() - 4, 4, ".html");
  } else if (m_nExportFormat == 0 && EndsAfterName(m_strExportPath, ".html")) {
    m_strExportPath.replace(m_strExportPath.size() - 5, 5, ".txt");
  }
}

void CExportDlg::OnBrowse() {
  const bool text = m_nExportFormat == 0;
  const std::string ext = text ? "txt" : "html";
  const std::string filter = text ? "Text Files (*.txt)|*.txt| All Files (*.*)|*.*||"
                                  : "HTML Files (*.html)|*.html| All Files (*.*)|*.*||";
  std::string chosen;
  if (m_frame.GetSaveFileName(m_strExportPath, ext, filter, &chosen)) m_strExportPath = chosen;
}

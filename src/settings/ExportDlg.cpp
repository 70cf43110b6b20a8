#include "settings/ExportDlg.h"

#include "platform/HostUi.h"
#include "results/ReportWriter.h"

namespace linkward {

namespace {

// True when text ends with ending after at least one other character.
bool EndsAfterName(const std::string& text, const std::string& ending) {
  return text.size() > ending.size() &&
         text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

}  // namespace

void CExportDlg::OnFormatClicked() {
  const int format = static_cast<int>(m_nExportFormat);
  if (format < 0 || format >= kExportFormatCount) return;
  const std::string chosen = std::string(".") + ReportFormat(m_nExportFormat).Extension();
  for (int other = 0; other < kExportFormatCount; ++other) {
    const std::string ending =
        std::string(".") + ReportFormat(static_cast<ExportFormat>(other)).Extension();
    if (other != format && EndsAfterName(m_strExportPath, ending)) {
      m_strExportPath.replace(m_strExportPath.size() - ending.size(), ending.size(), chosen);
      return;
    }
  }
}

void CExportDlg::OnBrowse() {
  const IReportFormat& format = ReportFormat(m_nExportFormat);
  std::string chosen;
  if (m_frame.GetSaveFileName(m_strExportPath, format.Extension(), format.SaveFilter(), &chosen))
    m_strExportPath = chosen;
}

}  // namespace linkward

// The view's commands after a test: Preferences, Export and Repair.
#include <cstdio>

#include "engine/LinkwardView.h"
#include "platform/LocalTime.h"
#include "repair/RepairDlg.h"
#include "repair/RepairPass.h"
#include "results/ReportWriter.h"
#include "settings/ExportDlg.h"
#include "settings/PreferencesDlg.h"
#include "settings/SettingsStore.h"

namespace linkward {

void CLinkwardView::OnPreferences() {
  CPreferencesDlg dlg(m_strFilterMask, m_strOutcomes);
  dlg.m_nTimeout = m_nWaitSeconds;
  dlg.m_nTransfers = m_fullOptions.maxTransfers;
  dlg.m_nPerHost = m_fullOptions.maxPerHost;
  dlg.m_skipPatterns = m_fullOptions.skipPatterns;
  dlg.m_strUserAgent = m_fullOptions.userAgent;
  dlg.m_strSiteUrl = m_fullOptions.siteUrl;
  dlg.m_bCheckFragments = m_fullOptions.checkFragments;
  if (m_frame.DoModal(dlg) != Answer::Ok) return;
  m_settings.SetInt("Settings", "Timeout", dlg.m_nTimeout);
  m_settings.SetString("Settings", "Filter", m_strFilterMask);
  m_settings.SetInt("Settings", "FullTransfers", dlg.m_nTransfers);
  m_settings.SetInt("Settings", "FullPerHost", dlg.m_nPerHost);
  m_settings.SetString("Settings", "SkipLinks", JoinPatternLines(dlg.m_skipPatterns));
  if (CPreferencesDlg::UserAgentAllowed(dlg.m_strUserAgent))
    m_settings.SetString("Settings", "UserAgent", dlg.m_strUserAgent);
  SetWaitLimit(dlg.m_nTimeout);
  // A running full check keeps the choices it started with.
  m_fullOptions.maxTransfers = dlg.m_nTransfers;
  m_fullOptions.maxPerHost = dlg.m_nPerHost;
  m_fullOptions.skipPatterns = dlg.m_skipPatterns;
  if (CPreferencesDlg::UserAgentAllowed(dlg.m_strUserAgent))
    m_fullOptions.userAgent = dlg.m_strUserAgent;
  if (CPreferencesDlg::SiteUrlAllowed(dlg.m_strSiteUrl)) {
    m_settings.SetString("Settings", "SiteUrl", dlg.m_strSiteUrl);
    m_fullOptions.siteUrl = dlg.m_strSiteUrl;
  }
  m_settings.SetInt("Settings", "CheckFragments", dlg.m_bCheckFragments ? 1 : 0);
  m_fullOptions.checkFragments = dlg.m_bCheckFragments;
}

void CLinkwardView::OnExport() {
  m_bReportWritten = false;
  CExportDlg dlg(m_frame);
  dlg.m_strExportPath = m_settings.GetString("XportSel", "Starter", "results.txt");
  dlg.m_nExportFormat = static_cast<ExportFormat>(m_settings.GetInt("XportSel", "Text", 0));
  if (m_frame.DoModal(dlg) != Answer::Ok) return;

  const std::string& path = dlg.m_strExportPath;
  if (std::FILE* existing = std::fopen(path.c_str(), "r")) {
    std::fclose(existing);
    if (m_frame.MessageBox(path + "\nThis file already exists\n\nReplace existing file?",
                           BoxStyle::YesNo) != Answer::Yes) {
      return;
    }
  }
  m_settings.SetString("XportSel", "Starter", path);
  m_settings.SetInt("XportSel", "Text", static_cast<int>(dlg.m_nExportFormat));

  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file) {
    m_frame.MessageBox("file write error", BoxStyle::Ok);
    return;
  }
  m_frame.BeginWaitCursor();
  WriteReport(file, dlg.m_nExportFormat);
  // A report that could not be written in full (a full disk, say) is not
  // passed off as written.
  bool failed = std::ferror(file) != 0;
  failed = std::fclose(file) != 0 || failed;
  m_frame.EndWaitCursor();
  if (failed) {
    m_frame.MessageBox("file write error", BoxStyle::Ok);
  } else {
    m_bReportWritten = true;
  }
}

void CLinkwardView::WriteReport(std::FILE* file, ExportFormat format) {
  switch (format) {
    case ExportFormat::Text:
      WriteTextReport(file);
      break;
    case ExportFormat::Json:
    case ExportFormat::Csv:
    case ExportFormat::Junit:
      ReportFormat(format).Write(file, m_rows, RunReportContext());
      break;
    default:  // HTML, and any value that names no format
      WriteHtmlReport(file);
  }
}

void CLinkwardView::WriteTextReport(std::FILE* file) {
  if (!file) {
    m_frame.MessageBox("File Error", BoxStyle::Ok);
    return;
  }
  linkward::WriteTextReport(file, m_rows, RunReportContext());
}

void CLinkwardView::WriteHtmlReport(std::FILE* file) {
  if (!file) {
    m_frame.MessageBox("File Error", BoxStyle::Ok);
    return;
  }
  linkward::WriteHtmlReport(file, m_rows, RunReportContext());
}

ReportContext CLinkwardView::RunReportContext() const {
  ReportContext context;
  context.owner = ReportOwnerName();
  context.dateText = NowLongDateTime();
  if (m_pFullCheck) {
    context.fullCheck = true;
    context.totals = ReportTotals{m_pFullCheck->LinksJudged(), m_nFileCount};
    context.group = m_reportGroup;
  }
  if (m_pSiteCrawl) {
    context.fullCheck = true;
    context.totals = ReportTotals{m_pSiteCrawl->LinksJudged(), m_pSiteCrawl->PagesListed()};
    context.group = m_reportGroup;
  }
  return context;
}

void CLinkwardView::OnRepair() {
  if (m_pSiteCrawl) {
    m_frame.MessageBox(CRAWL_REPAIR_TEXT, BoxStyle::Ok | BoxStyle::IconExclamation);
    return;
  }
  if (m_bUnclassified &&
      m_frame.MessageBox("The testing found at least one URL\nwith an UNKNOWN ERROR!\n(See the "
                         "window text.)\n\nAre you sure you want to repair now?",
                         BoxStyle::YesNo) != Answer::Yes) {
    return;
  }
  RepairLinks();
}

void CLinkwardView::RepairLinks() {
  m_repair.CloseAll();
  CRepairDlg dlg;
  dlg.m_nRepairType = static_cast<RepairType>(m_settings.GetInt("Repair", "Type", 0));
  for (int row = 0; row < m_rows.GetItemCount() && !dlg.m_bArchivedCopies; ++row)
    dlg.m_bArchivedCopies = !m_rows.GetItemDetails(row).archiveUrl.empty();
  if (m_frame.DoModal(dlg) != Answer::Ok) return;
  m_settings.SetInt("Repair", "Type", static_cast<int>(dlg.m_nRepairType));
  const RepairType type = dlg.m_nRepairType;

  m_nLastRepairEnd = RunRepairPass(m_rows, m_frame, m_frame, m_repair, type, m_fnCancelCheck);

  // The bad URLs are saved even after a stop: the lines already removed
  // leave no other trace of them.
  if (type == RepairType::RemoveLine) {
    m_frame.MessageBox("You chose to save the bad URLs\n\nClick OK to proceed",
                       BoxStyle::Ok | BoxStyle::IconInformation);
    OnExport();
  }
}

}  // namespace linkward

// The view's commands after a test: Preferences, Export and Repair.
#include <cstdio>

#include "engine/LinkwardView.h"
#include "platform/LocalTime.h"
#include "repair/RepairDlg.h"
#include "results/ReportWriter.h"
#include "settings/ExportDlg.h"
#include "settings/PreferencesDlg.h"
#include "settings/SettingsStore.h"

void CLinkwardView::OnPreferences() {
  CPreferencesDlg dlg(*this);
  dlg.m_nTimeout = m_nWaitSeconds;
  if (m_frame.DoModal(dlg) != IDOK) return;
  m_settings.SetInt("Settings", "Timeout", dlg.m_nTimeout);
  m_settings.SetString("Settings", "Filter", m_strFilterMask);
  SetWaitLimit(dlg.m_nTimeout);
}

void CLinkwardView::OnExport() {
  m_bReportWritten = false;
  CExportDlg dlg(m_frame);
  dlg.m_strExportPath = m_settings.GetString("XportSel", "Starter", "results.txt");
  dlg.m_nExportFormat = m_settings.GetInt("XportSel", "Text", 0);
  if (m_frame.DoModal(dlg) != IDOK) return;

  const std::string& path = dlg.m_strExportPath;
  if (std::FILE* existing = std::fopen(path.c_str(), "r")) {
    std::fclose(existing);
    if (m_frame.MessageBox(path + "\nThis file already exists\n\nReplace existing file?",
                           MB_YESNO) != IDYES) {
      return;
    }
  }
  m_settings.SetString("XportSel", "Starter", path);
  m_settings.SetInt("XportSel", "Text", dlg.m_nExportFormat);

  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file) {
    m_frame.MessageBox("file write error", MB_OK);
    return;
  }
  m_frame.BeginWaitCursor();
  if (dlg.m_nExportFormat == 0) {
    WriteTextReport(file);
  } else {
    WriteHtmlReport(file);
  }
  // A report that could not be written in full (a full disk, say) is not
  // passed off as written.
  bool failed = std::ferror(file) != 0;
  failed = std::fclose(file) != 0 || failed;
  m_frame.EndWaitCursor();
  if (failed) {
    m_frame.MessageBox("file write error", MB_OK);
  } else {
    m_bReportWritten = true;
  }
}

void CLinkwardView::WriteTextReport(std::FILE* file) {
  if (!file) {
    m_frame.MessageBox("File Error", MB_OK);
    return;
  }
  ::WriteTextReport(file, m_rows);
}

void CLinkwardView::WriteHtmlReport(std::FILE* file) {
  if (!file) {
    m_frame.MessageBox("File Error", MB_OK);
    return;
  }
  ::WriteHtmlReport(file, m_rows, ReportOwnerName(), NowLongDateTime());
}

void CLinkwardView::OnRepair() {
  if (m_bUnclassified &&
      m_frame.MessageBox("The testing found at least one URL\nwith an UNKNOWN ERROR!\n(See the "
                         "window text.)\n\nAre you sure you want to repair now?",
                         MB_YESNO) != IDYES) {
    return;
  }
  RepairLinks();
}

void CLinkwardView::RepairLinks() {
  m_repair.CloseAll();
  CRepairDlg dlg;
  dlg.m_nRepairType = m_settings.GetInt("Repair", "Type", 0);
  if (m_frame.DoModal(dlg) != IDOK) return;
  m_settings.SetInt("Repair", "Type", dlg.m_nRepairType);
  const int type = dlg.m_nRepairType;

  std::string currentPath;
  std::string currentUrl;
  int result = 1;
  int groupStart = 0;
  int i = 0;
  for (; i < m_rows.GetItemCount(); ++i) {
    const std::string& file = m_rows.GetItemText(i, COL_FILE);
    if (file != currentPath) {
      if (i > 0 && FileDoneMark(m_rows.GetItemData(groupStart)) != 1) {
        result = EndFileRepair(currentPath);
        if (!result) break;
        m_rows.SetItemData(groupStart, WithFileDoneMark(m_rows.GetItemData(groupStart)));
      }
      groupStart = i;
      currentPath = file;
      if (FileDoneMark(m_rows.GetItemData(i)) != 1) {
        result = BeginFileRepair(currentPath);
        if (!result) break;
      }
    }
    if (RepairedMark(m_rows.GetItemData(i)) != 1) {
      currentUrl = m_rows.GetItemText(i, COL_URL);
      result = RepairLinkLine(currentUrl, currentPath, type);
      if (!result) {
        // The copy holds every rewrite made so far and the rest unchanged.
        EndFileRepair(currentPath);
        break;
      }
      m_rows.SetItemData(i, WithRepairedMark(m_rows.GetItemData(i)));
    }
  }
  if (result && m_repair.SourceOpen() && FileDoneMark(m_rows.GetItemData(groupStart)) != 1) {
    // The last file is replaced like every other; when that fails the pass
    // has not completed and says so.
    result = EndFileRepair(currentPath);
    if (result) m_rows.SetItemData(groupStart, WithFileDoneMark(m_rows.GetItemData(groupStart)));
  }

  if (result) {
    m_frame.MessageBox("All URL repairs completed", MB_OK | MB_ICONINFORMATION);
  } else {
    CRepairFailDlg fail;
    fail.m_strFailFile = currentPath;
    fail.m_strFailUrl = currentUrl;
    fail.m_bIgnore = 0;
    if (m_frame.DoModal(fail) == IDOK && fail.m_bIgnore && i < m_rows.GetItemCount()) {
      m_rows.DeleteItem(i);
      m_frame.CommandStateChanged();
    }
  }
  m_repair.CloseAll();

  if (type == 2) {
    m_frame.MessageBox("You chose to save the bad URLs\n\nClick OK to proceed",
                       MB_OK | MB_ICONINFORMATION);
    OnExport();
  }
}

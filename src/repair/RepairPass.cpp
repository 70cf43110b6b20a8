#include "repair/RepairPass.h"

#include <vector>

#include "platform/HostUi.h"
#include "repair/RepairDlg.h"
#include "repair/RepairFiles.h"
#include "results/ResultRows.h"

RepairEnd RunRepairPass(CResultRows& rows, IHostUi& host, IRepairUi& ui, CRepairFiles& files, int type,
                        const std::function<bool()>& cancelled) {
  files.CloseAll();
  std::string currentPath;
  std::string currentUrl;
  bool ok = true;
  bool stop = false;  // asked to stop
  int groupStart = 0;
  std::vector<int> rewritten;  // rows of the open file whose lines are rewritten

  // Replaces the open file by its copy; only then are its rows marked.
  auto finishFile = [&](bool complete) {
    const bool replaced = files.EndFileRepair(currentPath) != 0;
    if (replaced) {
      for (int row : rewritten) rows.SetItemData(row, WithRepairedMark(rows.GetItemData(row)));
      if (complete) rows.SetItemData(groupStart, WithFileDoneMark(rows.GetItemData(groupStart)));
    }
    rewritten.clear();
    return replaced;
  };

  int i = 0;
  for (; i < rows.GetItemCount(); ++i) {
    const std::string& file = rows.GetItemText(i, COL_FILE);
    if (file != currentPath) {
      stop = cancelled && cancelled();
      if (files.SourceOpen()) {
        ok = finishFile(true);
        if (!ok) break;
      }
      if (stop) break;
      groupStart = i;
      currentPath = file;
      if (FileDoneMark(rows.GetItemData(i)) != 1) {
        ok = files.BeginFileRepair(currentPath) != 0;
        if (!ok) break;
      }
    }
    if (RepairedMark(rows.GetItemData(i)) != 1) {
      currentUrl = rows.GetItemText(i, COL_URL);
      if (!files.RepairLinkLine(currentUrl, currentPath, type)) {
        // The file is replaced by its copy, which holds every rewrite made so far.
        if (files.SourceOpen()) finishFile(false);
        ok = false;
        break;
      }
      rewritten.push_back(i);
    }
  }
  if (ok && !stop && files.SourceOpen()) ok = finishFile(true);
  files.CloseAll();

  if (!ok) {
    CRepairFailDlg fail;
    fail.m_strFailFile = currentPath;
    fail.m_strFailUrl = currentUrl;
    fail.m_bIgnore = 0;
    if (ui.DoModal(fail) == IDOK && fail.m_bIgnore && i < rows.GetItemCount()) {
      rows.DeleteItem(i);
      host.CommandStateChanged();
    }
    return RepairEnd::Stopped;
  }
  if (stop) return RepairEnd::Cancelled;
  host.MessageBox("All URL repairs completed", MB_OK | MB_ICONINFORMATION);
  return RepairEnd::Completed;
}

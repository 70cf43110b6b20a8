// The frame port: everything the core shows to the user or asks of them, the
// one interface a face (desktop, terminal, tests) implements.
//
// It gathers the host services every part may use (IHostUi), the change
// notices of the result rows (IRowsObserver) and the repair pass's failure
// dialog (IRepairUi), and adds what only the test run shows. Modal dialogs
// exchange the data members of the dialog objects of settings/ and repair/,
// whose rules live in the core; the face only draws them. A face must keep
// the event loop running while a modal dialog or message box is open, so a
// running test goes on under it.
#pragma once

#include <string>

#include "platform/HostUi.h"
#include "repair/RepairPass.h"
#include "results/ResultRows.h"

namespace linkward {

class CProgressBar;
class CProgressDlg;
class CSelectFilesDlg;
class CPreferencesDlg;
class CExportDlg;
class CRepairDlg;

class IFrame : public IHostUi, public IRowsObserver, public IRepairUi {
 public:
  // Status bar: pane 1 (connection) and pane 2 (method); redrawn at once.
  virtual void SetPaneText(int pane, const std::string& text) { (void)pane, (void)text; }
  // The activity bar over pane 3: created once, then shown after each change.
  virtual void ActivityBarCreate(const CProgressBar& bar) { (void)bar; }
  virtual void ActivityBarChanged(const CProgressBar& bar) { (void)bar; }

  // Log pane: append the text exactly as given (it may hold "\r\n"); empty it.
  virtual void LogAppend(const std::string& text) { (void)text; }
  virtual void LogClear() {}

  // Progress window: created modeless and centred at test start, shown again
  // after every change of its fields or bars, destroyed at the end or Stop.
  virtual void ProgressCreate(const CProgressDlg& dlg) { (void)dlg; }
  virtual void ProgressUpdate(const CProgressDlg& dlg) { (void)dlg; }
  virtual void ProgressDestroy() {}

  // Modal dialogs: return Answer::Ok or Answer::Cancel; on Ok the members hold the
  // user's choices.
  using IRepairUi::DoModal;
  virtual Answer DoModal(CSelectFilesDlg& dlg) {
    (void)dlg;
    return Answer::Cancel;
  }
  virtual Answer DoModal(CPreferencesDlg& dlg) {
    (void)dlg;
    return Answer::Cancel;
  }
  virtual Answer DoModal(CExportDlg& dlg) {
    (void)dlg;
    return Answer::Cancel;
  }
  virtual Answer DoModal(CRepairDlg& dlg) {
    (void)dlg;
    return Answer::Cancel;
  }
};

}  // namespace linkward

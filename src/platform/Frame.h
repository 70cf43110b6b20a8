// The frame port: everything the core shows to the user or asks of them.
//
// Each face (desktop, terminal, tests) implements it. Every operation has a
// harmless default so that a face overrides only what it shows. Message boxes
// carry the caption "Linkward". Modal dialogs exchange the data members of the
// dialog objects of settings/ and repair/, whose rules live in the core; the
// face only draws them. A face must keep the event loop running while a modal
// dialog or message box is open, so a running test goes on under it.
#pragma once

#include <string>

class CProgressBar;
class CProgressDlg;
class CSelectFilesDlg;
class CPreferencesDlg;
class CExportDlg;
class CRepairDlg;
class CRepairFailDlg;

// Message box styles, answers and beep types, with their customary values.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

class IFrame {
 public:
  virtual ~IFrame() = default;

  // Shows text with the buttons of style (MB_OK or MB_YESNO, optionally an
  // icon) and returns the answer: IDOK, IDYES or IDNO.
  virtual int MessageBox(const std::string& text, unsigned style) {
    (void)text;
    return (style & MB_YESNO) ? IDNO : IDOK;
  }
  // type 0: the simple beep; 48 (MB_ICONEXCLAMATION): the warning beep.
  virtual void MessageBeep(unsigned type) { (void)type; }
  virtual void BeginWaitCursor() {}
  virtual void EndWaitCursor() {}

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

  // Change notices for the result rows held by the view.
  virtual void RowsInserted(int first, int count) { (void)first, (void)count; }
  virtual void RowChanged(int row) { (void)row; }
  virtual void RowRemoved(int row) { (void)row; }
  virtual void RowsCleared() {}

  // The availability of a command may have changed: a test started or ended,
  // or rows were added or removed. Faces with menus refresh them.
  virtual void CommandStateChanged() {}

  // Modal dialogs: return IDOK or IDCANCEL; on IDOK the members hold the
  // user's choices.
  virtual int DoModal(CSelectFilesDlg& dlg) { (void)dlg; return IDCANCEL; }
  virtual int DoModal(CPreferencesDlg& dlg) { (void)dlg; return IDCANCEL; }
  virtual int DoModal(CExportDlg& dlg) { (void)dlg; return IDCANCEL; }
  virtual int DoModal(CRepairDlg& dlg) { (void)dlg; return IDCANCEL; }
  virtual int DoModal(CRepairFailDlg& dlg) { (void)dlg; return IDOK; }

  // File dialogs. On confirmation store the full path in *chosen and return true.
  // filter uses the "Name (*.ext)|*.ext|...||" form.
  virtual bool GetOpenFileName(const std::string& initialName, std::string* chosen) {
    (void)initialName, (void)chosen;
    return false;
  }
  virtual bool GetSaveFileName(const std::string& initialName, const std::string& defaultExt,
                               const std::string& filter, std::string* chosen) {
    (void)initialName, (void)defaultExt, (void)filter, (void)chosen;
    return false;
  }
};

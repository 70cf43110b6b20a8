// IFullCheckHost: what the full check lists its results through, the same
// rows, log, panes and progress window as the standard test. The results view
// is the one host; tests may bring their own.
#pragma once

#include <string>

namespace linkward {

class CProgressDlg;
class CResultRows;

class IFullCheckHost {
 public:
  virtual ~IFullCheckHost() = default;

  // The result rows the failed links are added to, and the report filter
  // mask that selects them.
  virtual CResultRows& Rows() = 0;
  virtual const std::string& FilterMask() const = 0;
  // Appends text to the log exactly as given.
  virtual void AppendLog(const std::string& text) = 0;
  // The status bar: pane 1 (connection) and pane 2 (method).
  virtual void SetPaneText(int pane, const std::string& text) = 0;
  // The availability of a command may have changed (the first row came).
  virtual void CommandStateChanged() = 0;
  // The test's progress window (null when none), and its redraw after its
  // fields or bars changed.
  virtual CProgressDlg* Progress() = 0;
  virtual void ProgressUpdate(const CProgressDlg& dlg) = 0;
  // The last file has been listed.
  virtual void OnFullCheckEnded() = 0;
  // True: each row is added as soon as its link is judged, at its place in
  // file order (a slow link holds back no other row); the log still lists the
  // files in order. False: a file's rows come once it and all earlier files
  // are judged.
  virtual bool RowsAsJudged() const { return false; }
};

}  // namespace linkward

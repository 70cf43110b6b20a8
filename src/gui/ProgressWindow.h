// "Testing Progress": the modeless window that exists while a test runs. It
// shows the current file and link with their index-of-total counters and a
// bar for each; it has no buttons and no close box.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

namespace linkward {

class CProgressBar;
class CProgressDlg;

class ProgressWindow : public QDialog {
  Q_OBJECT

 public:
  explicit ProgressWindow(QWidget* parent);

  // Shows every field and both bars of dlg.
  void Show(const CProgressDlg& dlg);
  // Centres the window on its parent.
  void CentreOnParent();

  QLabel* CurrentFile() const { return m_pCurrentFile; }
  QLabel* FileIndex() const { return m_pFileIndex; }
  QLabel* FileTotal() const { return m_pFileTotal; }
  QLabel* CurrentUrl() const { return m_pCurrentUrl; }
  QLabel* AnchorText() const { return m_pAnchorText; }
  QLabel* LinkIndex() const { return m_pLinkIndex; }
  QLabel* LinkTotal() const { return m_pLinkTotal; }
  QProgressBar* FileBar() const { return m_pFileBar; }
  QProgressBar* LinkBar() const { return m_pLinkBar; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  QLabel* m_pCurrentFile = nullptr;
  QLabel* m_pFileIndex = nullptr;
  QLabel* m_pFileTotal = nullptr;
  QLabel* m_pCurrentUrl = nullptr;
  QLabel* m_pAnchorText = nullptr;
  QLabel* m_pLinkIndex = nullptr;
  QLabel* m_pLinkTotal = nullptr;
  QProgressBar* m_pFileBar = nullptr;
  QProgressBar* m_pLinkBar = nullptr;
};

// Shows a core bar on a Qt bar.
void ShowBar(QProgressBar* bar, const CProgressBar& model);

}  // namespace linkward

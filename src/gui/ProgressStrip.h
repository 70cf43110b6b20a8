// The full check's progress in one line under the list (the list stays in
// view): files and links judged of those found, with a bar each, and the
// link judged last. At the end it shows the run's totals instead.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace linkward {

class CProgressDlg;

class ProgressStrip : public QWidget {
  Q_OBJECT

 public:
  explicit ProgressStrip(QWidget* parent = nullptr);

  // Shows every field and both bars of dlg.
  void Show(const CProgressDlg& dlg);
  // Shows text in place of the progress.
  void ShowTotals(const QString& text);

  QLabel* Files() const { return m_pFiles; }
  QLabel* Links() const { return m_pLinks; }
  QLabel* Totals() const { return m_pTotals; }
  QSize minimumSizeHint() const override { return {0, QWidget::minimumSizeHint().height()}; }

 private:
  QLabel* m_pFiles = nullptr;
  QProgressBar* m_pFileBar = nullptr;
  QLabel* m_pLinks = nullptr;
  QProgressBar* m_pLinkBar = nullptr;
  QLabel* m_pCurrent = nullptr;
  QLabel* m_pTotals = nullptr;
};

}  // namespace linkward

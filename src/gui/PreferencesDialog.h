// "Preferences": the check list of the 21 outcome kinds, the wait limit and
// the two fixed-mask buttons. The rules live in CPreferencesDlg; this dialog
// only draws them and carries the user's input to them.
#pragma once

#include <QDialog>
#include <QListWidget>
#include <QString>
#include <functional>

class CPreferencesDlg;
class QLineEdit;
class QPushButton;

// The check list: one checkable row per outcome kind, 20 pixels high, never
// sorted, with no selection. Row texts come from the model.
class COutcomeCheckListBox : public QListWidget {
  Q_OBJECT
 public:
  static constexpr int ROW_HEIGHT = 20;

  explicit COutcomeCheckListBox(QWidget* parent = nullptr);

  // Adds count rows with the texts text(i).
  void Fill(int count, const std::function<QString(int)>& text);
  // state 0: unchecked, 1: checked, any other value: shown part-checked.
  void SetCheck(int row, int state);
  // 0 unchecked, 1 checked, 2 part-checked.
  int GetCheck(int row) const;
};

class PreferencesDialog : public QDialog {
  Q_OBJECT
 public:
  PreferencesDialog(CPreferencesDlg& model, QWidget* parent = nullptr);

  // Shows the range message over parent. Replaceable, so tests need not answer
  // a real message box; the default is a modal QMessageBox with an OK button.
  static std::function<void(QWidget* parent, const QString& text)> s_showRangeMessage;

  COutcomeCheckListBox* CheckList() const { return m_pList; }
  QLineEdit* TimeoutEdit() const { return m_pTimeout; }
  QPushButton* HawkButton() const { return m_pHawk; }
  QPushButton* OneEyeButton() const { return m_pOneEye; }

 public slots:
  void accept() override;

 private slots:
  void OnWatchLikeHawk();
  void OnWatchOneEyeShut();

 private:
  void ShowMaskChecks();

  CPreferencesDlg& m_model;
  COutcomeCheckListBox* m_pList = nullptr;
  QLineEdit* m_pTimeout = nullptr;
  QPushButton* m_pHawk = nullptr;
  QPushButton* m_pOneEye = nullptr;
};

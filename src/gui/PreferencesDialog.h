// "Preferences": the check list of the 21 outcome kinds, the wait limit, the
// two fixed-mask buttons and the full check's group. The rules live in CPreferencesDlg; this dialog
// only draws them and carries the user's input to them.
#pragma once

#include <QDialog>
#include <QListWidget>
#include <QString>
#include <functional>
#include <string>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace linkward {

class CPreferencesDlg;

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

  // Shows a refusal (a range message, a bad skip pattern) over parent. Replaceable, so tests need
  // not answer a real message box; the default is a modal QMessageBox with an OK button.
  static std::function<void(QWidget* parent, const QString& text)> s_showRangeMessage;

  COutcomeCheckListBox* CheckList() const { return m_pList; }
  QLineEdit* TimeoutEdit() const { return m_pTimeout; }
  QLineEdit* TransfersEdit() const { return m_pTransfers; }
  QLineEdit* PerHostEdit() const { return m_pPerHost; }
  QPlainTextEdit* SkipEdit() const { return m_pSkip; }
  QLineEdit* UserAgentEdit() const { return m_pUserAgent; }
  QLineEdit* SiteUrlEdit() const { return m_pSiteUrl; }
  QCheckBox* FragmentsBox() const { return m_pFragments; }

 public slots:
  void accept() override;

 private slots:
  void OnWatchLikeHawk();
  void OnWatchOneEyeShut();

 private:
  void ShowMaskChecks();
  // Shows message, puts the focus on box and selects its text.
  void Refuse(QLineEdit* box, const std::string& message);

  CPreferencesDlg& m_model;
  COutcomeCheckListBox* m_pList = nullptr;
  QLineEdit* m_pTimeout = nullptr;
  QPushButton* m_pHawk = nullptr;
  QPushButton* m_pOneEye = nullptr;
  QLineEdit* m_pTransfers = nullptr;
  QLineEdit* m_pPerHost = nullptr;
  QPlainTextEdit* m_pSkip = nullptr;
  QLineEdit* m_pUserAgent = nullptr;
  QLineEdit* m_pSiteUrl = nullptr;
  QCheckBox* m_pFragments = nullptr;
};

}  // namespace linkward

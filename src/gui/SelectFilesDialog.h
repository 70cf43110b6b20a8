// "Select File(s) to Test": draws the target selection and carries the
// user's input to CSelectFilesDlg, whose rules decide what the buttons do.
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace linkward {

class CSelectFilesDlg;

class SelectFilesDialog : public QDialog {
  Q_OBJECT

 public:
  SelectFilesDialog(CSelectFilesDlg& model, QWidget* parent = nullptr);

  QLineEdit* PathEdit() const { return m_pPath; }
  QPushButton* BrowseButton() const { return m_pBrowse; }
  QCheckBox* AllFilesBox() const { return m_pAllFiles; }
  QCheckBox* RecurseBox() const { return m_pRecurse; }
  QCheckBox* FilterBox() const { return m_pFilter; }
  QCheckBox* FullCheckBox() const { return m_pFullCheck; }
  QPushButton* OkButton() const { return m_pOk; }

 public slots:
  void accept() override;

 private slots:
  void OnBrowse();
  void OnRecurseClicked();
  void OnAllFilesClicked();

 private:
  // Controls to the model's members, and back.
  void ReadControls();
  void ShowMembers();

  CSelectFilesDlg& m_model;
  // The path as the model gave it, and as shown: an unchanged box hands the
  // original bytes back, whatever their encoding.
  std::string m_strShownPath;
  QString m_strShownText;
  QLineEdit* m_pPath = nullptr;
  QPushButton* m_pBrowse = nullptr;
  QCheckBox* m_pAllFiles = nullptr;
  QCheckBox* m_pRecurse = nullptr;
  QCheckBox* m_pFilter = nullptr;
  QCheckBox* m_pFullCheck = nullptr;
  QPushButton* m_pOk = nullptr;
  QPushButton* m_pCancel = nullptr;
};

}  // namespace linkward

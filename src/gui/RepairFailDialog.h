// "Repair Failure": names the file and URL at which the repair pass stopped,
// and offers to ignore that URL for the rest of the session.
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace linkward {

class CRepairFailDlg;

class RepairFailDialog : public QDialog {
  Q_OBJECT
 public:
  RepairFailDialog(CRepairFailDlg& model, QWidget* parent = nullptr);

  QLineEdit* FileEdit() const { return m_pFile; }
  QLineEdit* UrlEdit() const { return m_pUrl; }
  QCheckBox* IgnoreBox() const { return m_pIgnore; }

 public slots:
  void accept() override;

 private:
  CRepairFailDlg& m_model;
  QLineEdit* m_pFile = nullptr;
  QLineEdit* m_pUrl = nullptr;
  QCheckBox* m_pIgnore = nullptr;
};

}  // namespace linkward

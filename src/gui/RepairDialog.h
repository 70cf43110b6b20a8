// "URL Link Disable and File Repair": the choice of repair type.
#pragma once

#include <QDialog>

class QButtonGroup;

namespace linkward {

class CRepairDlg;

class RepairDialog : public QDialog {
  Q_OBJECT
 public:
  RepairDialog(CRepairDlg& model, QWidget* parent = nullptr);

  // The radio buttons' group; button ids are the repair types 0 to 3.
  QButtonGroup* TypeGroup() const { return m_pGroup; }

 public slots:
  void accept() override;

 private:
  CRepairDlg& m_model;
  QButtonGroup* m_pGroup = nullptr;
};

}  // namespace linkward

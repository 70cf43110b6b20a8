// "URL Link Disable and File Repair": the choice of repair type.
#pragma once

#include <QDialog>

class QButtonGroup;
class QPlainTextEdit;
class QPushButton;

namespace linkward {

class CRepairDlg;
class CResultRows;

class RepairDialog : public QDialog {
  Q_OBJECT
 public:
  RepairDialog(CRepairDlg& model, QWidget* parent = nullptr);
  // With previewRows (a full check's rows, kept alive while the dialog is
  // open) the dialog also offers "Preview": the unified diff the chosen type
  // would make, touching no file.
  RepairDialog(CRepairDlg& model, const CResultRows* previewRows, QWidget* parent = nullptr);

  // The radio buttons' group; button ids are the repair types 0 to 3, and 4
  // when the model offers archived copies.
  QButtonGroup* TypeGroup() const { return m_pGroup; }
  QPushButton* PreviewButton() const { return m_pPreview; }
  QPlainTextEdit* PreviewPane() const { return m_pPreviewPane; }

 public slots:
  void accept() override;

 private:
  void ShowPreview();

  CRepairDlg& m_model;
  const CResultRows* m_pRows = nullptr;
  QButtonGroup* m_pGroup = nullptr;
  QPushButton* m_pPreview = nullptr;
  QPlainTextEdit* m_pPreviewPane = nullptr;
};

}  // namespace linkward

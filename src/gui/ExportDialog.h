// "Export Bad URLs": the report path and its format. The rules live in
// CExportDlg; the dialog reads its controls into the model before a rule runs
// and shows the model again after it.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QButtonGroup;
class QLineEdit;
class QPushButton;

namespace linkward {

class CExportDlg;

class ExportDialog : public QDialog {
  Q_OBJECT
 public:
  ExportDialog(CExportDlg& model, QWidget* parent = nullptr);

  // Shows the message for a path that is too long. Replaceable for tests; the
  // default is a modal QMessageBox with an OK button.
  static std::function<void(QWidget* parent, const QString& text)> s_showLengthMessage;
  static QString LengthMessage();

  QLineEdit* PathEdit() const { return m_pPath; }
  // The radio buttons; their ids are the format values (0 text ... 4 JUnit XML).
  QButtonGroup* FormatGroup() const { return m_pFormats; }
  QPushButton* BrowseButton() const { return m_pBrowse; }

 public slots:
  void accept() override;

 private slots:
  void OnBrowse();
  void OnFormatClicked();

 private:
  void ReadFields();
  void ShowFields();

  CExportDlg& m_model;
  QLineEdit* m_pPath = nullptr;
  QPushButton* m_pBrowse = nullptr;
  QButtonGroup* m_pFormats = nullptr;
};

}  // namespace linkward

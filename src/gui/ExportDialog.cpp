#include "ExportDialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include "settings/ExportDlg.h"

namespace linkward {

std::function<void(QWidget*, const QString&)> ExportDialog::s_showLengthMessage =
    [](QWidget* parent, const QString& text) {
      QMessageBox::warning(parent, QStringLiteral("Linkward"), text, QMessageBox::Ok);
    };

QString ExportDialog::LengthMessage() {
  return QStringLiteral("Enter no more than %1 characters.").arg(CExportDlg::MAX_PATH_CHARS);
}

ExportDialog::ExportDialog(CExportDlg& model, QWidget* parent) : QDialog(parent), m_model(model) {
  setWindowTitle(QStringLiteral("Export Bad URLs"));

  m_pPath = new QLineEdit;
  m_pPath->setMinimumWidth(320);
  m_pBrowse = new QPushButton(QStringLiteral("Browse..."));
  m_pBrowse->setAutoDefault(false);
  // One group, so that the model's -1 (nothing chosen) can be shown too. The
  // button ids are the format values.
  m_pFormats = new QButtonGroup(this);
  for (const char* text : {"Export as Text file", "Export as HTML file", "Export as JSON file",
                           "Export as CSV file", "Export as JUnit XML file"}) {
    m_pFormats->addButton(new QRadioButton(QString::fromLatin1(text)),
                          static_cast<int>(m_pFormats->buttons().size()));
  }

  auto* ok = new QPushButton(QStringLiteral("OK"));
  auto* cancel = new QPushButton(QStringLiteral("Cancel"));
  ok->setDefault(true);
  cancel->setAutoDefault(false);

  auto* grid = new QGridLayout(this);
  grid->addWidget(m_pPath, 0, 0);
  grid->addWidget(m_pBrowse, 0, 1);
  for (QAbstractButton* button : m_pFormats->buttons())
    grid->addWidget(button, 1 + m_pFormats->id(button), 0);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  grid->addLayout(buttons, 1 + static_cast<int>(m_pFormats->buttons().size()), 0, 1, 2);

  connect(ok, &QPushButton::clicked, this, &ExportDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &ExportDialog::reject);
  connect(m_pBrowse, &QPushButton::clicked, this, &ExportDialog::OnBrowse);
  connect(m_pFormats, &QButtonGroup::buttonClicked, this, &ExportDialog::OnFormatClicked);

  ShowFields();
}

void ExportDialog::ReadFields() {
  m_model.m_strExportPath = m_pPath->text().toStdString();
  m_model.m_nExportFormat =
      static_cast<ExportFormat>(m_pFormats->checkedId());  // -1 when none is checked
}

void ExportDialog::ShowFields() {
  m_pPath->setText(QString::fromStdString(m_model.m_strExportPath));
  // Unchecking needs the group's exclusivity off for a moment.
  m_pFormats->setExclusive(false);
  for (QAbstractButton* button : m_pFormats->buttons())
    button->setChecked(m_pFormats->id(button) == static_cast<int>(m_model.m_nExportFormat));
  m_pFormats->setExclusive(true);
}

void ExportDialog::OnBrowse() {
  ReadFields();
  m_model.OnBrowse();
  ShowFields();
}

void ExportDialog::OnFormatClicked() {
  ReadFields();
  m_model.OnFormatClicked();
  ShowFields();
}

void ExportDialog::accept() {
  ReadFields();
  if (!m_model.ValidateOnOK()) {
    if (s_showLengthMessage) s_showLengthMessage(this, LengthMessage());
    m_pPath->setFocus();
    m_pPath->selectAll();
    return;
  }
  QDialog::accept();
}

}  // namespace linkward

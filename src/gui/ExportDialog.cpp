#include "ExportDialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include "settings/ExportDlg.h"

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
  m_pText = new QRadioButton(QStringLiteral("Export as Text file"));
  m_pHtml = new QRadioButton(QStringLiteral("Export as HTML file"));
  // One group, so that the model's -1 (nothing chosen) can be shown too.
  auto* group = new QButtonGroup(this);
  group->addButton(m_pText, 0);
  group->addButton(m_pHtml, 1);

  auto* ok = new QPushButton(QStringLiteral("OK"));
  auto* cancel = new QPushButton(QStringLiteral("Cancel"));
  ok->setDefault(true);
  cancel->setAutoDefault(false);

  auto* grid = new QGridLayout(this);
  grid->addWidget(m_pPath, 0, 0);
  grid->addWidget(m_pBrowse, 0, 1);
  grid->addWidget(m_pText, 1, 0);
  grid->addWidget(m_pHtml, 2, 0);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  grid->addLayout(buttons, 3, 0, 1, 2);

  connect(ok, &QPushButton::clicked, this, &ExportDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &ExportDialog::reject);
  connect(m_pBrowse, &QPushButton::clicked, this, &ExportDialog::OnBrowse);
  connect(m_pText, &QRadioButton::clicked, this, &ExportDialog::OnFormatClicked);
  connect(m_pHtml, &QRadioButton::clicked, this, &ExportDialog::OnFormatClicked);

  ShowFields();
}

void ExportDialog::ReadFields() {
  m_model.m_strExportPath = m_pPath->text().toStdString();
  m_model.m_nExportFormat = m_pText->isChecked() ? 0 : m_pHtml->isChecked() ? 1 : -1;
}

void ExportDialog::ShowFields() {
  m_pPath->setText(QString::fromStdString(m_model.m_strExportPath));
  // Unchecking needs the group's exclusivity off for a moment.
  auto* group = m_pText->group();
  group->setExclusive(false);
  m_pText->setChecked(m_model.m_nExportFormat == 0);
  m_pHtml->setChecked(m_model.m_nExportFormat == 1);
  group->setExclusive(true);
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

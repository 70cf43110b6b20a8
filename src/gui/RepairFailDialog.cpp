#include "RepairFailDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "repair/RepairDlg.h"

namespace linkward {

RepairFailDialog::RepairFailDialog(CRepairFailDlg& model, QWidget* parent)
    : QDialog(parent), m_model(model) {
  setWindowTitle(QStringLiteral("Repair Failure"));

  m_pFile = new QLineEdit(QString::fromStdString(m_model.m_strFailFile));
  m_pUrl = new QLineEdit(QString::fromStdString(m_model.m_strFailUrl));
  for (QLineEdit* e : {m_pFile, m_pUrl}) {
    e->setReadOnly(true);
    e->setMinimumWidth(360);
    e->setCursorPosition(0);
  }
  auto* text = new QLabel(QStringLiteral(
      "Please examine/correct the file and try to re-run the Repair.\n(Your original "
      "file was saved with extension .REP)"));
  // The check box's text holds a line break and is drawn on two lines.
  m_pIgnore = new QCheckBox(QStringLiteral(
      "Please ignore this instance of this URL \nfor the remainder of this session."));
  m_pIgnore->setChecked(m_model.m_bIgnore);

  auto* ok = new QPushButton(QStringLiteral("OK"));
  ok->setDefault(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("The URL Repair failed in file:")));
  layout->addWidget(m_pFile);
  layout->addWidget(new QLabel(QStringLiteral("Possibly near URL:")));
  layout->addWidget(m_pUrl);
  layout->addWidget(text);
  layout->addWidget(m_pIgnore);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addStretch();
  layout->addLayout(buttons);

  connect(ok, &QPushButton::clicked, this, &RepairFailDialog::accept);
}

void RepairFailDialog::accept() {
  m_model.m_bIgnore = m_pIgnore->isChecked();
  QDialog::accept();
}

}  // namespace linkward

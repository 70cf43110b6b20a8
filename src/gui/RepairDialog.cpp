#include "RepairDialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "DialogButtons.h"
#include "Help.h"
#include "repair/RepairDlg.h"

namespace linkward {

namespace {

QLabel* Note(const QString& text) {
  auto* label = new QLabel(text);
  label->setContentsMargins(22, 0, 0, 4);  // under its radio button's text
  return label;
}

}  // namespace

RepairDialog::RepairDialog(CRepairDlg& model, QWidget* parent) : QDialog(parent), m_model(model) {
  setWindowTitle(QStringLiteral("URL Link Disable and File Repair"));

  auto* box = new QGroupBox(
      QStringLiteral("When Linkward finds the offending URL in the file do the following:"));
  auto* disable =
      new QRadioButton(QStringLiteral("Disable the entire line of text containing the URL."));
  auto* replace =
      new QRadioButton(QStringLiteral("Replace the URL text with the name of the file it is in."));
  auto* remove =
      new QRadioButton(QStringLiteral("Remove the entire line of text containing the URL."));
  auto* update =
      new QRadioButton(QStringLiteral("Update links that moved permanently to their new address."));
  m_pGroup = new QButtonGroup(this);
  m_pGroup->addButton(disable, 0);
  m_pGroup->addButton(replace, 1);
  m_pGroup->addButton(remove, 2);
  m_pGroup->addButton(update, 3);

  auto* inner = new QVBoxLayout(box);
  inner->addWidget(disable);
  inner->addWidget(
      Note(QStringLiteral("No text is deleted. The bad URL is preserved as an HTML comment.")));
  inner->addWidget(replace);
  inner->addWidget(remove);
  inner->addWidget(Note(QStringLiteral("Save the bad URLs in a separate file.")));
  inner->addWidget(update);

  auto* backups = new QLabel(
      QStringLiteral("For any option, your original files are backed-up with the extension .REP"));

  DialogButtons buttons = MakeDialogButtons();
  QPushButton* ok = buttons.ok;
  QPushButton* cancel = buttons.cancel;
  QPushButton* help = buttons.help;

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(box);
  layout->addWidget(backups);
  layout->addLayout(buttons.row);

  connect(ok, &QPushButton::clicked, this, &RepairDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &RepairDialog::reject);
  connect(help, &QPushButton::clicked, this, [] { OpenHelp(CRepairDlg::HELP_CONTEXT_ID); });

  if (QAbstractButton* chosen = m_pGroup->button(static_cast<int>(m_model.m_nRepairType)))
    chosen->setChecked(true);
}

void RepairDialog::accept() {
  m_model.m_nRepairType =
      static_cast<RepairType>(m_pGroup->checkedId());  // None (-1) when none is checked
  QDialog::accept();
}

}  // namespace linkward

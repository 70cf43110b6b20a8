#include "RepairDialog.h"

#include <QButtonGroup>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "DialogButtons.h"
#include "GuiText.h"
#include "Help.h"
#include "repair/RepairDlg.h"
#include "repair/RepairPass.h"

namespace linkward {

namespace {

QLabel* Note(const QString& text) {
  auto* label = new QLabel(text);
  label->setContentsMargins(22, 0, 0, 4);  // under its radio button's text
  return label;
}

}  // namespace

RepairDialog::RepairDialog(CRepairDlg& model, QWidget* parent)
    : RepairDialog(model, nullptr, parent) {}

RepairDialog::RepairDialog(CRepairDlg& model, const CResultRows* previewRows, QWidget* parent)
    : QDialog(parent), m_model(model), m_pRows(previewRows) {
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
  if (m_model.m_bArchivedCopies) {
    auto* archived =
        new QRadioButton(QStringLiteral("Point broken links at their archived copy."));
    m_pGroup->addButton(archived, static_cast<int>(RepairType::ArchivedCopy));
    inner->addWidget(archived);
  }

  auto* backups = new QLabel(
      QStringLiteral("For any option, your original files are backed-up with the extension .REP"));

  DialogButtons buttons = MakeDialogButtons();
  QPushButton* ok = buttons.ok;
  QPushButton* cancel = buttons.cancel;
  QPushButton* help = buttons.help;

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(box);
  layout->addWidget(backups);
  if (m_pRows != nullptr) {
    m_pPreview = new QPushButton(QStringLiteral("Preview"));
    m_pPreview->setAutoDefault(false);
    m_pPreviewPane = new QPlainTextEdit;
    m_pPreviewPane->setReadOnly(true);
    m_pPreviewPane->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pPreviewPane->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_pPreviewPane->setMinimumSize(560, 240);
    m_pPreviewPane->hide();
    auto* row = new QHBoxLayout;
    row->addWidget(m_pPreview);
    row->addStretch();
    layout->addLayout(row);
    layout->addWidget(m_pPreviewPane, 1);
    connect(m_pPreview, &QPushButton::clicked, this, &RepairDialog::ShowPreview);
    // A shown preview follows the chosen type.
    connect(m_pGroup, &QButtonGroup::idClicked, this, [this] {
      m_pPreview->setEnabled(true);
      if (m_pPreviewPane->isVisible()) ShowPreview();
    });
  }
  layout->addLayout(buttons.row);

  connect(ok, &QPushButton::clicked, this, &RepairDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &RepairDialog::reject);
  connect(help, &QPushButton::clicked, this, [] { OpenHelp(CRepairDlg::HELP_CONTEXT_ID); });

  if (QAbstractButton* chosen = m_pGroup->button(static_cast<int>(m_model.m_nRepairType)))
    chosen->setChecked(true);
  if (m_pPreview != nullptr) m_pPreview->setEnabled(m_pGroup->checkedId() >= 0);
}

void RepairDialog::ShowPreview() {
  const int id = m_pGroup->checkedId();
  if (m_pRows == nullptr || id < 0) return;
  const RepairPreview preview = PreviewRepair(*m_pRows, static_cast<RepairType>(id));
  QString text = FromCore(preview.diff);
  if (preview.diff.empty()) text = QStringLiteral("No file would change.\n");
  for (const std::string& note : preview.notes) text += QStringLiteral("\n") + FromCore(note);
  m_pPreviewPane->setPlainText(text);
  m_pPreviewPane->show();
}

void RepairDialog::accept() {
  m_model.m_nRepairType =
      static_cast<RepairType>(m_pGroup->checkedId());  // None (-1) when none is checked
  QDialog::accept();
}

}  // namespace linkward

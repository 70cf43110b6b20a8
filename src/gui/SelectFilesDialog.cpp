#include "gui/SelectFilesDialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "gui/GuiText.h"
#include "settings/SelectFilesDlg.h"

namespace linkward {

SelectFilesDialog::SelectFilesDialog(CSelectFilesDlg& model, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_model(model) {
  setWindowTitle(QStringLiteral("Select File(s) to Test"));
  const DialogUnits du(font());
  // The dialog's 73 units, and a row for the full check below the buttons.
  setFixedSize(du.X(347), du.Y(88));

  m_pPath = new QLineEdit(this);
  m_pPath->setGeometry(du.Rect(5, 10, 280, 15));
  m_pBrowse = new QPushButton(QStringLiteral("Browse..."), this);
  m_pBrowse->setGeometry(du.Rect(290, 10, 50, 15));
  m_pBrowse->setAutoDefault(false);
  m_pAllFiles = new QCheckBox(QStringLiteral("Test other files in this directory"), this);
  m_pAllFiles->setGeometry(du.Rect(5, 30, 215, 10));
  m_pRecurse =
      new QCheckBox(QStringLiteral("Test in this directory and all sub-directories"), this);
  m_pRecurse->setGeometry(du.Rect(5, 45, 220, 10));
  m_pFilter = new QCheckBox(
      QStringLiteral("Only test files with extensions like \"htm\" or similar"), this);
  m_pFilter->setGeometry(du.Rect(5, 60, 220, 10));
  m_pFullCheck = new QCheckBox(
      QStringLiteral("Full check: also https://, local and #fragment links, many at a time"), this);
  m_pFullCheck->setGeometry(du.Rect(5, 75, 335, 10));
  m_pOk = new QPushButton(QStringLiteral("OK"), this);
  m_pOk->setGeometry(du.Rect(230, 55, 50, 14));
  m_pOk->setDefault(true);
  m_pCancel = new QPushButton(QStringLiteral("Cancel"), this);
  m_pCancel->setGeometry(du.Rect(290, 55, 50, 14));
  m_pCancel->setAutoDefault(false);

  // The tab order of the template: path, Browse, the three boxes, OK, Cancel;
  // then the full check.
  setTabOrder(m_pPath, m_pBrowse);
  setTabOrder(m_pBrowse, m_pAllFiles);
  setTabOrder(m_pAllFiles, m_pRecurse);
  setTabOrder(m_pRecurse, m_pFilter);
  setTabOrder(m_pFilter, m_pOk);
  setTabOrder(m_pOk, m_pCancel);
  setTabOrder(m_pCancel, m_pFullCheck);

  connect(m_pBrowse, &QPushButton::clicked, this, &SelectFilesDialog::OnBrowse);
  connect(m_pRecurse, &QCheckBox::clicked, this, &SelectFilesDialog::OnRecurseClicked);
  connect(m_pAllFiles, &QCheckBox::clicked, this, &SelectFilesDialog::OnAllFilesClicked);
  connect(m_pOk, &QPushButton::clicked, this, &SelectFilesDialog::accept);
  // The full check also crawls a site from its address.
  connect(m_pFullCheck, &QCheckBox::toggled, this, [this](bool full) {
    m_pPath->setPlaceholderText(full ? QStringLiteral("A page, or a site's http(s):// address")
                                     : QString());
  });
  connect(m_pCancel, &QPushButton::clicked, this, &SelectFilesDialog::reject);

  ShowMembers();
  m_pPath->setFocus();
}

void SelectFilesDialog::ReadControls() {
  const QString text = m_pPath->text();
  m_model.m_strPath = text == m_strShownText ? m_strShownPath : ToCore(text);
  m_model.m_choices.recurse = m_pRecurse->isChecked();
  m_model.m_choices.allFiles = m_pAllFiles->isChecked();
  m_model.m_choices.filter = m_pFilter->isChecked();
  m_model.m_bFullCheck = m_pFullCheck->isChecked();
}

void SelectFilesDialog::ShowMembers() {
  m_strShownPath = m_model.m_strPath;
  m_strShownText = FromCore(m_model.m_strPath);
  if (m_pPath->text() != m_strShownText) m_pPath->setText(m_strShownText);
  m_pRecurse->setChecked(m_model.m_choices.recurse);
  m_pAllFiles->setChecked(m_model.m_choices.allFiles);
  m_pFilter->setChecked(m_model.m_choices.filter);
  m_pFullCheck->setChecked(m_model.m_bFullCheck);
}

void SelectFilesDialog::OnRecurseClicked() {
  ReadControls();
  m_model.OnRecurseClicked();
  ShowMembers();
}

void SelectFilesDialog::OnAllFilesClicked() {
  ReadControls();
  m_model.OnAllFilesClicked();
  ShowMembers();
}

void SelectFilesDialog::OnBrowse() {
  ReadControls();
  m_model.OnBrowse();
  ShowMembers();
}

void SelectFilesDialog::accept() {
  ReadControls();
  if (!m_model.ValidateOnOK()) {
    QMessageBox::warning(
        this, QStringLiteral("Linkward"),
        QStringLiteral("Enter no more than %1 characters.").arg(CSelectFilesDlg::MAX_PATH_CHARS));
    m_pPath->setFocus();
    m_pPath->selectAll();
    return;
  }
  QDialog::accept();
}

}  // namespace linkward

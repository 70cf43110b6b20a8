#include "PreferencesDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "DialogButtons.h"
#include "GuiText.h"
#include "Help.h"
#include "check/SkipList.h"
#include "results/OutcomeTable.h"
#include "settings/PreferencesDlg.h"

namespace linkward {

namespace {

void ShowRangeMessageBox(QWidget* parent, const QString& text) {
  QMessageBox::warning(parent, QStringLiteral("Linkward"), text, QMessageBox::Ok);
}

QGroupBox* DefaultsGroup(const QString& title, const QString& text, QPushButton* button) {
  auto* box = new QGroupBox(title);
  auto* layout = new QVBoxLayout(box);
  auto* label = new QLabel(text);
  label->setWordWrap(true);
  layout->addWidget(label);
  layout->addWidget(button);
  return box;
}

constexpr const char* USER_AGENT_MESSAGE =
    "The User-Agent may hold at most 255 characters and no control characters.";
constexpr const char* SITE_URL_MESSAGE =
    "Please enter the site's http or https address (at most 2048 characters, no spaces), "
    "or leave the box empty.";

}  // namespace

std::function<void(QWidget*, const QString&)> PreferencesDialog::s_showRangeMessage =
    ShowRangeMessageBox;

COutcomeCheckListBox::COutcomeCheckListBox(QWidget* parent) : QListWidget(parent) {
  setSortingEnabled(false);
  setSelectionMode(QAbstractItemView::NoSelection);
  setFocusPolicy(Qt::StrongFocus);
  setUniformItemSizes(true);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void COutcomeCheckListBox::Fill(int count, const std::function<QString(int)>& text) {
  clear();
  for (int i = 0; i < count; ++i) {
    auto* item = new QListWidgetItem(text(i), this);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    item->setSizeHint(QSize(0, ROW_HEIGHT));
  }
}

void COutcomeCheckListBox::SetCheck(int row, int state) {
  QListWidgetItem* it = item(row);
  if (it == nullptr) return;
  it->setCheckState(state == 0 ? Qt::Unchecked : state == 1 ? Qt::Checked : Qt::PartiallyChecked);
}

int COutcomeCheckListBox::GetCheck(int row) const {
  const QListWidgetItem* it = item(row);
  if (it == nullptr) return 0;
  switch (it->checkState()) {
    case Qt::Unchecked:
      return 0;
    case Qt::Checked:
      return 1;
    default:
      return 2;
  }
}

PreferencesDialog::PreferencesDialog(CPreferencesDlg& model, QWidget* parent)
    : QDialog(parent), m_model(model) {
  setWindowTitle(QStringLiteral("Preferences"));

  auto* heading =
      new QLabel(QStringLiteral("Report Results for Checked Items - or use the Defaults"));
  m_pList = new COutcomeCheckListBox;
  m_pList->Fill(OUTCOME_KINDS,
                [this](int i) { return QString::fromStdString(m_model.RowText(i)); });
  m_pList->setMinimumSize(300, 11 * COutcomeCheckListBox::ROW_HEIGHT + 4);

  m_pTimeout = new QLineEdit;
  m_pTimeout->setMaximumWidth(40);
  m_pTimeout->setText(QString::number(m_model.m_nTimeout));
  auto* timeoutLabel = new QLabel(QStringLiteral("How Long to Wait for Slow Hosts? (seconds)"));
  timeoutLabel->setBuddy(m_pTimeout);

  m_pHawk = new QPushButton(QStringLiteral("Watch Like a Hawk"));
  m_pOneEye = new QPushButton(QStringLiteral("Watch With One Eye Shut"));
  for (QPushButton* b : {m_pHawk, m_pOneEye}) b->setAutoDefault(false);
  QGroupBox* groupA = DefaultsGroup(
      QStringLiteral("Defaults for Type A Users"),
      QStringLiteral("Report every defect to me (code 200 is not a defect)"), m_pHawk);
  QGroupBox* groupB =
      DefaultsGroup(QStringLiteral("Defaults for Type B Users"),
                    QStringLiteral("Report only the very worst offenders to me"), m_pOneEye);
  for (QGroupBox* g : {groupA, groupB}) g->setFixedWidth(210);

  // The full check: transfers at once, per host, and the links to skip.
  auto* fullGroup = new QGroupBox(QStringLiteral("Full Check"));
  auto* fullGrid = new QGridLayout(fullGroup);
  m_pTransfers = new QLineEdit(QString::number(m_model.m_nTransfers));
  m_pPerHost = new QLineEdit(QString::number(m_model.m_nPerHost));
  for (QLineEdit* e : {m_pTransfers, m_pPerHost}) e->setMaximumWidth(40);
  auto* transfersLabel = new QLabel(QStringLiteral("Transfers at once (1 to 256)"));
  transfersLabel->setBuddy(m_pTransfers);
  auto* perHostLabel = new QLabel(QStringLiteral("Transfers per host (1 to 16)"));
  perHostLabel->setBuddy(m_pPerHost);
  auto* skipLabel =
      new QLabel(QStringLiteral("Skip links matching (one regular expression per line):"));
  skipLabel->setWordWrap(true);
  m_pSkip = new QPlainTextEdit(FromCore(JoinPatternLines(m_model.m_skipPatterns)));
  m_pSkip->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_pSkip->setTabChangesFocus(true);
  skipLabel->setBuddy(m_pSkip);
  m_pUserAgent = new QLineEdit(FromCore(m_model.m_strUserAgent));
  m_pUserAgent->setPlaceholderText(QStringLiteral("Linkward's own"));
  auto* userAgentLabel = new QLabel(QStringLiteral("User-Agent sent to hosts:"));
  userAgentLabel->setBuddy(m_pUserAgent);
  m_pSiteUrl = new QLineEdit(FromCore(m_model.m_strSiteUrl));
  m_pSiteUrl->setPlaceholderText(QStringLiteral("https://www.example.com/"));
  auto* siteUrlLabel = new QLabel(QStringLiteral("Site URL (links into it are the local files):"));
  siteUrlLabel->setBuddy(m_pSiteUrl);
  m_pFragments = new QCheckBox(QStringLiteral("Check remote #fragments"));
  m_pFragments->setChecked(m_model.m_bCheckFragments);
  fullGrid->addWidget(m_pTransfers, 0, 0);
  fullGrid->addWidget(transfersLabel, 0, 1);
  fullGrid->addWidget(m_pPerHost, 1, 0);
  fullGrid->addWidget(perHostLabel, 1, 1);
  fullGrid->addWidget(skipLabel, 2, 0, 1, 2);
  fullGrid->addWidget(m_pSkip, 3, 0, 1, 2);
  fullGrid->addWidget(userAgentLabel, 4, 0, 1, 2);
  fullGrid->addWidget(m_pUserAgent, 5, 0, 1, 2);
  fullGrid->addWidget(siteUrlLabel, 6, 0, 1, 2);
  fullGrid->addWidget(m_pSiteUrl, 7, 0, 1, 2);
  fullGrid->addWidget(m_pFragments, 8, 0, 1, 2);
  fullGrid->setColumnStretch(1, 1);
  m_pSkip->setFixedHeight(5 * fontMetrics().lineSpacing() + 8);

  DialogButtons buttons = MakeDialogButtons();
  QPushButton* ok = buttons.ok;
  QPushButton* cancel = buttons.cancel;
  QPushButton* help = buttons.help;

  // Left column: heading, list, wait limit. Right column: the two defaults.
  auto* grid = new QGridLayout(this);
  grid->addWidget(heading, 0, 0);
  grid->addWidget(m_pList, 1, 0, 2, 1);
  auto* defaults = new QVBoxLayout;
  defaults->addWidget(groupA);
  defaults->addWidget(groupB);
  defaults->addStretch();
  grid->addLayout(defaults, 1, 1);

  auto* timeoutRow = new QHBoxLayout;
  timeoutRow->addWidget(m_pTimeout);
  timeoutRow->addWidget(timeoutLabel);
  timeoutRow->addStretch();
  grid->addLayout(timeoutRow, 3, 0);
  grid->addWidget(fullGroup, 4, 0, 1, 2);
  grid->addLayout(buttons.row, 5, 0, 1, 2);

  // Tab order as designed: OK, Cancel, the wait limit, the list, the buttons,
  // then the full check's boxes, Help.
  setTabOrder(ok, cancel);
  setTabOrder(cancel, m_pTimeout);
  setTabOrder(m_pTimeout, m_pList);
  setTabOrder(m_pList, m_pHawk);
  setTabOrder(m_pHawk, m_pOneEye);
  setTabOrder(m_pOneEye, m_pTransfers);
  setTabOrder(m_pTransfers, m_pPerHost);
  setTabOrder(m_pPerHost, m_pSkip);
  setTabOrder(m_pSkip, m_pUserAgent);
  setTabOrder(m_pUserAgent, m_pSiteUrl);
  setTabOrder(m_pSiteUrl, m_pFragments);
  setTabOrder(m_pFragments, help);

  connect(ok, &QPushButton::clicked, this, &PreferencesDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &PreferencesDialog::reject);
  connect(help, &QPushButton::clicked, this, [] { OpenHelp(CPreferencesDlg::HELP_CONTEXT_ID); });
  connect(m_pHawk, &QPushButton::clicked, this, &PreferencesDialog::OnWatchLikeHawk);
  connect(m_pOneEye, &QPushButton::clicked, this, &PreferencesDialog::OnWatchOneEyeShut);

  m_model.OnInitDialog();
  ShowMaskChecks();
}

void PreferencesDialog::Refuse(QLineEdit* box, const std::string& message) {
  if (s_showRangeMessage) s_showRangeMessage(this, FromCore(message));
  box->setFocus();
  box->selectAll();
}

void PreferencesDialog::ShowMaskChecks() {
  for (int i = 0; i < OUTCOME_KINDS; ++i) m_pList->SetCheck(i, m_model.m_nChecks[i]);
}

void PreferencesDialog::OnWatchLikeHawk() {
  m_model.OnWatchLikeHawk();
  ShowMaskChecks();
}

void PreferencesDialog::OnWatchOneEyeShut() {
  m_model.OnWatchOneEyeShut();
  ShowMaskChecks();
}

void PreferencesDialog::accept() {
  for (int i = 0; i < OUTCOME_KINDS; ++i) {
    int check = m_pList->GetCheck(i);
    // A part-checked row keeps the value it was shown with.
    if (check == 2 && m_model.m_nChecks[i] != 0 && m_model.m_nChecks[i] != 1) continue;
    m_model.m_nChecks[i] = check;
  }
  if (!m_model.OnOK(m_pTimeout->text().toStdString())) {
    if (s_showRangeMessage)
      s_showRangeMessage(this, QString::fromUtf8(CPreferencesDlg::RANGE_MESSAGE));
    m_pTimeout->setFocus();
    m_pTimeout->selectAll();
    return;
  }
  std::string message;
  switch (m_model.ValidateFullCheck(ToCore(m_pTransfers->text()), ToCore(m_pPerHost->text()),
                                    ToCore(m_pSkip->toPlainText()), &message)) {
    case CPreferencesDlg::FullField::None:
      break;
    case CPreferencesDlg::FullField::Transfers:
      Refuse(m_pTransfers, message);
      return;
    case CPreferencesDlg::FullField::PerHost:
      Refuse(m_pPerHost, message);
      return;
    case CPreferencesDlg::FullField::SkipList:
      if (s_showRangeMessage) s_showRangeMessage(this, FromCore(message));
      m_pSkip->setFocus();
      return;
  }
  const std::string userAgent = ToCore(m_pUserAgent->text());
  if (!CPreferencesDlg::UserAgentAllowed(userAgent)) {
    Refuse(m_pUserAgent, USER_AGENT_MESSAGE);
    return;
  }
  const std::string siteUrl = ToCore(m_pSiteUrl->text().trimmed());
  if (!CPreferencesDlg::SiteUrlAllowed(siteUrl)) {
    Refuse(m_pSiteUrl, SITE_URL_MESSAGE);
    return;
  }
  m_model.m_strUserAgent = userAgent;
  m_model.m_strSiteUrl = siteUrl;
  m_model.m_bCheckFragments = m_pFragments->isChecked();
  QDialog::accept();
}

}  // namespace linkward

#include "gui/ProgressStrip.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

#include "gui/GuiText.h"
#include "gui/ProgressWindow.h"
#include "results/ProgressDlg.h"

namespace linkward {

namespace {

QProgressBar* SmallBar(QWidget* parent) {
  auto* bar = new QProgressBar(parent);
  bar->setTextVisible(false);
  bar->setFixedWidth(140);
  bar->setMaximumHeight(parent->fontMetrics().height());
  return bar;
}

}  // namespace

ProgressStrip::ProgressStrip(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(6, 2, 6, 2);
  // The strip never makes the window wider: what does not fit is cut off.
  layout->setSizeConstraint(QLayout::SetNoConstraint);
  setMinimumWidth(0);
  m_pFiles = new QLabel(this);
  m_pFileBar = SmallBar(this);
  m_pLinks = new QLabel(this);
  m_pLinkBar = SmallBar(this);
  m_pCurrent = new QLabel(this);
  m_pCurrent->setTextFormat(Qt::PlainText);
  m_pCurrent->setMinimumWidth(40);
  m_pCurrent->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  m_pTotals = new QLabel(this);
  m_pTotals->setTextFormat(Qt::PlainText);
  m_pTotals->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_pTotals->hide();
  layout->addWidget(m_pTotals, 1);
  layout->addWidget(m_pFiles);
  layout->addWidget(m_pFileBar);
  layout->addSpacing(12);
  layout->addWidget(m_pLinks);
  layout->addWidget(m_pLinkBar);
  layout->addSpacing(12);
  layout->addWidget(m_pCurrent, 1);
}

void ProgressStrip::Show(const CProgressDlg& dlg) {
  m_pTotals->hide();
  for (QWidget* w : std::initializer_list<QWidget*>{m_pFiles, m_pFileBar, m_pLinks, m_pLinkBar, m_pCurrent})
    w->show();
  m_pFiles->setText(QStringLiteral("File %1 of %2")
                        .arg(FromCore(dlg.m_strFileIndex), FromCore(dlg.m_strFileTotal)));
  m_pLinks->setText(QStringLiteral("Links judged: %1 of %2")
                        .arg(FromCore(dlg.m_strLinkIndex), FromCore(dlg.m_strLinkTotal)));
  ShowBar(m_pFileBar, dlg.m_wndFileBar);
  ShowBar(m_pLinkBar, dlg.m_wndLinkBar);
  const QString url = FromCore(dlg.m_strCurrentUrl);
  const QString current = url.isEmpty() ? FromCore(dlg.m_strCurrentFile) : url;
  m_pCurrent->setText(m_pCurrent->fontMetrics().elidedText(current, Qt::ElideMiddle,
                                                           std::max(40, m_pCurrent->width())));
  m_pCurrent->setToolTip(current);
}

void ProgressStrip::ShowTotals(const QString& text) {
  for (QWidget* w : std::initializer_list<QWidget*>{m_pFiles, m_pFileBar, m_pLinks, m_pLinkBar, m_pCurrent})
    w->hide();
  m_pTotals->setText(text);
  m_pTotals->show();
}

}  // namespace linkward

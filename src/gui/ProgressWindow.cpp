#include "gui/ProgressWindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>

#include "gui/GuiText.h"
#include "results/ProgressDlg.h"

namespace linkward {

namespace {

QLabel* AddLabel(QWidget* parent, const char* text, QRect rect,
                 Qt::Alignment align = Qt::AlignLeft) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setGeometry(rect);
  label->setAlignment(align | Qt::AlignVCenter);
  return label;
}

QLabel* AddField(QWidget* parent, QRect rect, Qt::Alignment align = Qt::AlignLeft) {
  auto* field = new QLabel(parent);
  field->setGeometry(rect);
  field->setAlignment(align | Qt::AlignVCenter);
  field->setTextFormat(Qt::PlainText);
  return field;
}

QProgressBar* AddBar(QWidget* parent, QRect rect) {
  auto* bar = new QProgressBar(parent);
  bar->setGeometry(rect);
  bar->setTextVisible(false);
  bar->setRange(0, 100);
  bar->setValue(0);
  return bar;
}

}  // namespace

void ShowBar(QProgressBar* bar, const CProgressBar& model) {
  const int upper = model.Upper() > model.Lower() ? model.Upper() : model.Lower() + 1;
  if (bar->minimum() != model.Lower() || bar->maximum() != upper) {
    bar->setRange(model.Lower(), upper);
  }
  if (bar->value() != model.Pos()) bar->setValue(model.Pos());
}

ProgressWindow::ProgressWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QStringLiteral("Testing Progress"));
  setModal(false);
  const DialogUnits du(font());
  setFixedSize(du.X(257), du.Y(126));

  AddLabel(this, "Current File:", du.Rect(10, 10, 45, 10));
  m_pCurrentFile = AddField(this, du.Rect(60, 10, 185, 10));
  AddLabel(this, "File:", du.Rect(10, 25, 18, 8));
  m_pFileIndex = AddField(this, du.Rect(30, 25, 18, 8));
  AddLabel(this, "of", du.Rect(51, 25, 12, 8));
  m_pFileTotal = AddField(this, du.Rect(65, 25, 30, 8));
  m_pFileBar = AddBar(this, du.Rect(10, 35, 235, 15));

  AddLabel(this, "Current URL:", du.Rect(10, 65, 48, 8));
  m_pCurrentUrl = AddField(this, du.Rect(60, 65, 185, 8));
  m_pAnchorText = AddField(this, du.Rect(60, 76, 185, 8));
  AddLabel(this, "URL:", du.Rect(10, 90, 20, 8));
  m_pLinkIndex = AddField(this, du.Rect(30, 90, 22, 8));
  AddLabel(this, "of", du.Rect(55, 90, 13, 8), Qt::AlignHCenter);
  m_pLinkTotal = AddField(this, du.Rect(75, 90, 30, 8));
  m_pLinkBar = AddBar(this, du.Rect(10, 100, 235, 15));
}

void ProgressWindow::Show(const CProgressDlg& dlg) {
  m_pCurrentFile->setText(FromCore(dlg.m_strCurrentFile));
  m_pCurrentFile->setToolTip(m_pCurrentFile->text());
  m_pFileIndex->setText(FromCore(dlg.m_strFileIndex));
  m_pFileTotal->setText(FromCore(dlg.m_strFileTotal));
  m_pCurrentUrl->setText(FromCore(dlg.m_strCurrentUrl));
  m_pCurrentUrl->setToolTip(m_pCurrentUrl->text());
  m_pAnchorText->setText(FromCore(dlg.m_strAnchorText));
  m_pLinkIndex->setText(FromCore(dlg.m_strLinkIndex));
  m_pLinkTotal->setText(FromCore(dlg.m_strLinkTotal));
  ShowBar(m_pFileBar, dlg.m_wndFileBar);
  ShowBar(m_pLinkBar, dlg.m_wndLinkBar);
}

void ProgressWindow::CentreOnParent() {
  QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
  if (!owner) return;
  const QRect area = owner->frameGeometry();
  move(area.center() - QPoint(width() / 2, height() / 2));
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
  // Only the test run closes this window (at the end or at Stop).
  event->ignore();
}

void ProgressWindow::reject() {
  // Escape does not close it either.
}

}  // namespace linkward

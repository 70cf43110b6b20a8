#include "gui/LogPane.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

#include "gui/GuiText.h"

namespace linkward {

LogPane::LogPane(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setUndoRedoEnabled(false);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setMaximumBlockCount(0);
  setFocusPolicy(Qt::StrongFocus);
  m_pFlushTimer = new QTimer(this);
  m_pFlushTimer->setSingleShot(true);
  m_pFlushTimer->setInterval(0);
  connect(m_pFlushTimer, &QTimer::timeout, this, &LogPane::Flush);
}

void LogPane::Append(const std::string& text) {
  m_strPending += LogText(text);
  if (!m_pFlushTimer->isActive()) m_pFlushTimer->start();
}

void LogPane::Clear() {
  m_strPending.clear();
  m_pFlushTimer->stop();
  clear();
}

void LogPane::Flush() {
  m_pFlushTimer->stop();
  if (m_strPending.isEmpty()) return;
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(m_strPending);
  m_strPending.clear();
  // The caret follows the end, as each append scrolls it into view; a
  // selection the user is making (to copy it) is left alone.
  if (!textCursor().hasSelection()) {
    setTextCursor(cursor);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  }
}

QString LogPane::Text() {
  Flush();
  return toPlainText();
}

}  // namespace linkward

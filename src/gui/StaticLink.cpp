#include "StaticLink.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>

namespace linkward {

std::function<bool(const QUrl&)> CStaticLink::s_opener = [](const QUrl& url) {
  return QDesktopServices::openUrl(url);
};

CStaticLink::CStaticLink(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setAlignment(Qt::AlignCenter);
  setMouseTracking(true);
  setTextInteractionFlags(Qt::NoTextInteraction);
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
}

QColor CStaticLink::CurrentColor() const {
  return (m_pVisited != nullptr && *m_pVisited) ? m_colorVisited : m_colorUnvisited;
}

void CStaticLink::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QFont underlined = font();
  underlined.setUnderline(true);
  painter.setFont(underlined);
  painter.setPen(CurrentColor());
  painter.drawText(contentsRect(), static_cast<int>(alignment()), text());
}

void CStaticLink::Click() {
  if (m_link.isEmpty()) {
    m_link = text();
    if (m_link.contains(QLatin1String(MAIL_USER_PART) + QLatin1Char('@')))
      m_link.prepend(QStringLiteral("mailto:"));
  }
  m_bHover = false;
  // For one second after a click the pointer does not follow the mouse.
  m_bClicked = true;
  if (m_nClickTimer != 0) killTimer(m_nClickTimer);
  m_nClickTimer = startTimer(CLICK_TIMER_MS);

  if (s_opener && s_opener(QUrl(m_link))) {
    if (m_pVisited != nullptr) *m_pVisited = true;
    setCursor(Qt::ArrowCursor);
    update();
  } else {
    QApplication::beep();
  }
}

void CStaticLink::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Click();
}

void CStaticLink::SetHover(bool inside) {
  if (m_bClicked) return;
  if (!m_bHover && inside) {
    m_bHover = true;
    setCursor(Qt::PointingHandCursor);
  } else if (m_bHover && !inside) {
    m_bHover = false;
    setCursor(Qt::ArrowCursor);
  }
}

void CStaticLink::mouseMoveEvent(QMouseEvent* event) {
  QLabel::mouseMoveEvent(event);
  SetHover(rect().contains(event->position().toPoint()));
}

void CStaticLink::enterEvent(QEnterEvent* event) {
  QLabel::enterEvent(event);
  SetHover(true);
}

void CStaticLink::leaveEvent(QEvent* event) {
  QLabel::leaveEvent(event);
  SetHover(false);
}

void CStaticLink::timerEvent(QTimerEvent* event) {
  QLabel::timerEvent(event);
  if (event->timerId() == m_nClickTimer) {
    killTimer(m_nClickTimer);
    m_nClickTimer = 0;
    m_bClicked = false;
  }
}

}  // namespace linkward

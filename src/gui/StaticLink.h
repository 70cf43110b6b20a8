// CStaticLink: a label that is a hyperlink. Underlined, blue until the link
// has been opened and purple afterwards; a hand pointer while hovering; a
// click opens the link (a web page, or a mail address as "mailto:").
#pragma once

#include <QColor>
#include <QLabel>
#include <QUrl>
#include <functional>

namespace linkward {

class CStaticLink : public QLabel {
  Q_OBJECT
 public:
  // The user part of the program's own mail address: a link text holding it
  // followed by "@" is opened as "mailto:" + text.
  static constexpr const char* MAIL_USER_PART = "linkward-support";
  static constexpr int CLICK_TIMER_MS = 1000;

  explicit CStaticLink(const QString& text, QWidget* parent = nullptr);

  // Opens a link; returns false on failure. Default: QDesktopServices::openUrl.
  // Tests replace it so no browser starts.
  static std::function<bool(const QUrl&)> s_opener;

  QColor m_colorUnvisited{0, 0, 255};
  QColor m_colorVisited{128, 0, 128};
  bool* m_pVisited = nullptr;  // the owner's flag: true once the link was opened
  bool m_bHover = false;
  bool m_bClicked = false;
  QString m_link;

  // The colour the text is drawn in now.
  QColor CurrentColor() const;
  // What a click does (a left-button release over the label).
  void Click();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void SetHover(bool inside);
  int m_nClickTimer = 0;
};

}  // namespace linkward

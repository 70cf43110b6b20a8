// Text and size helpers shared by the windows of the desktop face.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <string>

namespace linkward {

// The core's 8-bit texts: UTF-8 when they are valid UTF-8, else Latin-1 (HTML
// files and paths of older sites often are), so no byte is lost on screen.
QString FromCore(const std::string& text);
// Screen text back to the core: UTF-8.
std::string ToCore(const QString& text);
// A log text for the pane: "\r\n" and a lone "\r" become line breaks.
QString LogText(const std::string& text);

// Dialog units of a dialog font: x in quarters of the average character
// width, y in eighths of the character height.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  int X(int dlu) const { return (dlu * m_nBaseX + 2) / 4; }
  int Y(int dlu) const { return (dlu * m_nBaseY + 4) / 8; }
  QRect Rect(int x, int y, int cx, int cy) const { return QRect(X(x), Y(y), X(cx), Y(cy)); }

 private:
  int m_nBaseX = 6;
  int m_nBaseY = 13;
};

}  // namespace linkward

#include "gui/GuiText.h"

#include <QFontMetrics>

namespace linkward {

namespace {

bool IsValidUtf8(const std::string& text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    int more = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      more = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      more = 2;
    } else if (c >= 0xF0 && c <= 0xF4) {
      more = 3;
    } else {
      return false;
    }
    if (i + more >= n) return false;
    for (int k = 1; k <= more; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += more + 1;
  }
  return true;
}

}  // namespace

QString FromCore(const std::string& text) {
  if (IsValidUtf8(text)) return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToCore(const QString& text) {
  return text.toStdString();
}

QString LogText(const std::string& text) {
  QString out = FromCore(text);
  out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return out;
}

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  m_nBaseX = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
  m_nBaseY = metrics.height();
  if (m_nBaseX <= 0) m_nBaseX = 6;
  if (m_nBaseY <= 0) m_nBaseY = 13;
}

}  // namespace linkward

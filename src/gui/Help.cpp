#include "Help.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

QString FindHelpPage() {
  QStringList candidates;
#ifdef LINKWARD_DOC_DIR
  candidates << QStringLiteral(LINKWARD_DOC_DIR "/help.html");
#endif
  const QString exeDir = QCoreApplication::applicationDirPath();
  if (!exeDir.isEmpty()) {
    candidates << exeDir + QStringLiteral("/help.html");
    // The source tree seen from a build tree inside it: <build>/src/gui/linkward
    // or <build>/tests/gui/tst_..., so doc/ lies three or more levels up.
    QString up = exeDir;
    for (int level = 0; level < 5; ++level) {
      up += QStringLiteral("/..");
      candidates << up + QStringLiteral("/doc/help.html");
    }
    candidates << exeDir + QStringLiteral("/../share/doc/linkward/help.html");
  }
  candidates << QStringLiteral("/usr/share/doc/linkward/help.html");
  for (const QString& c : candidates) {
    QFileInfo info(c);
    if (info.isFile() && info.isReadable()) return QDir::cleanPath(info.absoluteFilePath());
  }
  return {};
}

QUrl HelpUrl(unsigned contextId) {
  const QString page = FindHelpPage();
  if (page.isEmpty()) return {};
  QUrl url = QUrl::fromLocalFile(page);
  switch (contextId) {
    case 131208:
      url.setFragment(QStringLiteral("preferences"));
      break;
    case 131209:
      url.setFragment(QStringLiteral("repair"));
      break;
    default:
      break;
  }
  return url;
}

void OpenHelp(unsigned contextId) {
  const QUrl url = HelpUrl(contextId);
  if (url.isEmpty() || !QDesktopServices::openUrl(url)) QApplication::beep();
}

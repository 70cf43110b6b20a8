// Linkward, the desktop program.
#include <QApplication>

#include "gui/LinkwardGuiApp.h"
#include "gui/MainFrame.h"

int main(int argc, char* argv[]) {
  QApplication qapp(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Linkward"));
  QApplication::setApplicationDisplayName(QStringLiteral("Linkward"));
  QApplication::setOrganizationName(QStringLiteral("Quillfen Software"));

  CLinkwardGuiApp app;
  if (!app.InitInstance()) {
    app.ExitInstance();
    return 1;
  }
  app.MainFrame()->show();
  const int result = QApplication::exec();
  app.ExitInstance();
  return result;
}

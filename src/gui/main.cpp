// Linkward, the desktop program.
#include <QApplication>

#include "gui/LinkwardGuiApp.h"
#include "gui/MainFrame.h"

int main(int argc, char* argv[]) {
  QApplication qapp(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Linkward"));
  // No application display name: Qt would append " — Linkward" to every
  // window title, and the dialogs' titles must read exactly as designed.
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

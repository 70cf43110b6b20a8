// Linkward, the desktop program.
#include <QApplication>

#include "gui/LinkwardGuiApp.h"
#include "gui/MainFrame.h"

int main(int argc, char* argv[]) {
  QApplication qapp(argc, argv);
  CLinkwardGuiApp::SetIdentity();

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

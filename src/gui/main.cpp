// Linkward, the desktop program. A file named on the command line (as "Open
// With" gives it) is offered in Select File(s); the test starts on OK.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QTimer>

#include "gui/Help.h"
#include "gui/LinkwardGuiApp.h"
#include "gui/MainFrame.h"

int main(int argc, char* argv[]) {
  QApplication qapp(argc, argv);
  linkward::CLinkwardGuiApp::SetIdentity();
  QApplication::setApplicationVersion(QStringLiteral(LINKWARD_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("linkward"));
  linkward::InitLinkwardResources();
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("linkward"),
                                               QIcon(QStringLiteral(":/linkward/linkward.svg"))));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Checks HTTP links in HTML documents."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("FILE"),
                               QStringLiteral("The HTML file to offer in Select File(s)."),
                               QStringLiteral("[FILE]"));
  parser.process(qapp);

  linkward::CLinkwardGuiApp app;
  if (!app.InitInstance()) {
    app.ExitInstance();
    return 1;
  }
  linkward::CMainFrame* main = app.MainFrame();
  main->show();
  if (!parser.positionalArguments().isEmpty()) {
    const QString file = parser.positionalArguments().constFirst();
    QTimer::singleShot(0, main, [main, file] { main->OfferFile(file); });
  }
  const int result = QApplication::exec();
  delete linkward::HelpWindow::Instance();
  app.ExitInstance();
  return result;
}

#include "Help.h"

#include <QApplication>
#include <QDesktopServices>
#include <QPointer>
#include <QScrollBar>

#include "repair/RepairDlg.h"
#include "settings/PreferencesDlg.h"

// Q_INIT_RESOURCE declares the resource's initializer where it stands, so it
// may not stand inside a namespace.
static void InitResourceFile() {
  Q_INIT_RESOURCE(linkward);
}

namespace linkward {

namespace {

QPointer<HelpWindow> g_pHelpWindow;

}  // namespace

void InitLinkwardResources() {
  static const bool registered = [] {
    InitResourceFile();
    return true;
  }();
  (void)registered;
}

QUrl HelpUrl(unsigned contextId) {
  InitLinkwardResources();
  QUrl url(HELP_PAGE_URL);
  switch (contextId) {
    case CPreferencesDlg::HELP_CONTEXT_ID:
      url.setFragment(QStringLiteral("preferences"));
      break;
    case CRepairDlg::HELP_CONTEXT_ID:
      url.setFragment(QStringLiteral("repair"));
      break;
    default:
      break;
  }
  return url;
}

HelpWindow::HelpWindow(QWidget* parent) : QTextBrowser(parent) {
  setWindowTitle(QStringLiteral("Linkward Help"));
  setAttribute(Qt::WA_DeleteOnClose);
  // Open help does not keep the program running once the main window is closed.
  setAttribute(Qt::WA_QuitOnClose, false);
  setWindowIcon(QApplication::windowIcon());
  // Links within the page move in this window; links to the web open in the browser.
  setOpenLinks(false);
  connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
    if (url.scheme() == QLatin1String("qrc") || url.isRelative())
      setSource(url);
    else
      QDesktopServices::openUrl(url);
  });
  resize(760, 640);
}

void HelpWindow::ShowSection(unsigned contextId) {
  // On the page already shown, only the position changes.
  const QUrl url = HelpUrl(contextId);
  setSource(url);
  if (url.fragment().isEmpty()) verticalScrollBar()->setValue(0);
}

HelpWindow* HelpWindow::Instance() {
  return g_pHelpWindow;
}

void OpenHelp(unsigned contextId) {
  if (!g_pHelpWindow) g_pHelpWindow = new HelpWindow;
  g_pHelpWindow->ShowSection(contextId);
  g_pHelpWindow->show();
  g_pHelpWindow->raise();
  g_pHelpWindow->activateWindow();
}

}  // namespace linkward

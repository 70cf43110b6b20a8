// Help: the help page, compiled into the program, shown in a help window of
// the program's own.
#pragma once

#include <QString>
#include <QTextBrowser>
#include <QUrl>

namespace linkward {

// Registers the files built into the program (linkward.qrc: the help page and
// the icon). The desktop face lives in a static library, whose resources are
// there only once registered; calling again does nothing.
void InitLinkwardResources();

// The page as a resource of the program; found from any build folder and
// after installation alike.
inline const QString HELP_PAGE_URL = QStringLiteral("qrc:/linkward/help.html");

// The address of the help page's section for contextId: 131208 the
// Preferences, 131209 repair, anything else the top of the page.
QUrl HelpUrl(unsigned contextId);

// The help window: one for the program, raised and moved to the section
// asked for whenever help is opened again.
class HelpWindow : public QTextBrowser {
  Q_OBJECT

 public:
  explicit HelpWindow(QWidget* parent = nullptr);
  void ShowSection(unsigned contextId);

  // The window, made on first use (nullptr before that).
  static HelpWindow* Instance();
};

// Shows the help window at the section of contextId.
void OpenHelp(unsigned contextId = 0);

}  // namespace linkward

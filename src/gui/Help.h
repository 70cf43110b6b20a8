// Help: the help page shipped with the program, opened in the browser.
#pragma once

#include <QString>
#include <QUrl>

// Opens the help page at the section of contextId: 131208 the Preferences,
// 131209 repair, anything else the top of the page.
void OpenHelp(unsigned contextId = 0);

// The help page's URL for contextId (empty when the page cannot be found).
QUrl HelpUrl(unsigned contextId);
// Where the page is looked for: next to the executable, in the source tree's
// doc/ seen from the build tree, then the installed copy.
QString FindHelpPage();

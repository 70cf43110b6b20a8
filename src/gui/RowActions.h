// What the results list's context menu does with its rows, apart from the
// widgets: the editor command for a page and line, the text that Copy Rows
// puts on the clipboard, where a row's link leads, and the skip patterns
// that Skip This Link and Skip This Host add.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <vector>

namespace linkward {

class CResultRows;

// The program and arguments that open file at line in the user's editor:
// $VISUAL, else $EDITOR (a command that may carry arguments of its own),
// with "+LINE" before the file when line > 0. Empty when neither is set.
QStringList EditorCommand(const QString& visual, const QString& editor, const QString& file,
                          int line);

// The rows (core indexes, in the order shown) as text: one line each, the
// URL, Reason, Site Name and File Name separated by tabs, and the line when
// withLine. Tabs and line breaks inside a cell become spaces.
QString RowsAsText(const CResultRows& rows, const std::vector<int>& which, bool withLine);

// Where the row's link leads: its resolved target, else the URL as written,
// read against the page it is in (a link from "/" against siteRoot, a
// directory, when given). Invalid when it leads nowhere known.
QUrl LinkTarget(const CResultRows& rows, int row, const QString& siteRoot = {});

// A skip pattern that matches exactly this link as written.
std::string SkipLinkPattern(const std::string& written);
// A skip pattern for every link to the host of url (http, https or ftp);
// empty when url names no host.
std::string SkipHostPattern(const QUrl& url);

}  // namespace linkward

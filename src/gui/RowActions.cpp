#include "gui/RowActions.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include "check/SiteCrawl.h"
#include "gui/GuiText.h"
#include "results/ResultRows.h"

namespace linkward {

namespace {

QString Cell(const std::string& text) {
  QString cell = FromCore(text);
  for (QChar& c : cell)
    if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
      c = QLatin1Char(' ');
  return cell;
}

// The characters that mean something in an ECMAScript regular expression.
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::string_view("\\^$.|?*+()[]{}/").find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

QStringList EditorCommand(const QString& visual, const QString& editor, const QString& file,
                          int line) {
  const QString chosen = !visual.trimmed().isEmpty() ? visual : editor;
  QStringList command = QProcess::splitCommand(chosen);
  if (command.isEmpty()) return {};
  if (line > 0) command << QStringLiteral("+%1").arg(line);
  command << file;
  return command;
}

QString RowsAsText(const CResultRows& rows, const std::vector<int>& which, bool withLine) {
  QString text;
  for (int row : which) {
    if (row < 0 || row >= rows.GetItemCount()) continue;
    QStringList cells;
    for (int col = 0; col < 4; ++col) cells << Cell(rows.GetItemText(row, col));
    if (withLine) {
      const int line = rows.GetItemDetails(row).line;
      cells << (line > 0 ? QString::number(line) : QString());
    }
    text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
  }
  return text;
}

QUrl LinkTarget(const CResultRows& rows, int row, const QString& siteRoot) {
  if (row < 0 || row >= rows.GetItemCount()) return {};
  const std::string& target = rows.GetItemDetails(row).target;
  const QUrl written(FromCore(rows.GetItemText(row, COL_URL)).trimmed());
  if (!target.empty()) {
    // The resolved target has no fragment: the link's own one goes with it.
    QUrl url = target.front() == '/' ? QUrl::fromLocalFile(FromCore(target)) : QUrl(FromCore(target));
    if (written.hasFragment()) url.setFragment(written.fragment());
    return url;
  }
  if (!written.isValid()) return {};
  if (!written.isRelative()) return written;
  const QString path = written.path();
  if (!siteRoot.isEmpty() && path.startsWith(QLatin1Char('/')) && !path.startsWith(QLatin1String("//"))) {
    QUrl local = QUrl::fromLocalFile(QDir(siteRoot).absolutePath() + path);
    local.setQuery(written.query());
    local.setFragment(written.fragment());
    return local;
  }
  const QString page = FromCore(rows.GetItemText(row, COL_FILE));
  if (page.isEmpty()) return {};
  // A crawled page is an address: its links are read against it.
  if (IsCrawlAddress(ToCore(page))) return QUrl(page).resolved(written);
  return QUrl::fromLocalFile(QFileInfo(page).absoluteFilePath()).resolved(written);
}

std::string SkipLinkPattern(const std::string& written) {
  return "^" + Escaped(written) + "$";
}

std::string SkipHostPattern(const QUrl& url) {
  const QString scheme = url.scheme().toLower();
  if (url.host().isEmpty() ||
      (scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
       scheme != QLatin1String("ftp")))
    return {};
  // Any scheme and port; the host ends the authority.
  return "^(https?|ftp)://([^/@]*@)?" + Escaped(url.host().toStdString()) + "(:[0-9]+)?([/?#]|$)";
}

}  // namespace linkward

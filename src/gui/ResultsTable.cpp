#include "gui/ResultsTable.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>

namespace linkward {

namespace {

// The one local file or folder a drag carries, or empty.
QString DroppedPath(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().constFirst();
  return url.isLocalFile() ? url.toLocalFile() : QString();
}

}  // namespace

ResultsTable::ResultsTable(QWidget* parent) : QTableView(parent) {
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  setDropIndicatorShown(false);
}

void ResultsTable::SetHint(const QString& hint) {
  if (hint == m_strHint) return;
  m_strHint = hint;
  viewport()->update();
}

QString ResultsTable::PageToOffer(const QString& path) {
  const QFileInfo info(path);
  if (info.isFile()) return info.absoluteFilePath();
  if (!info.isDir()) return {};
  const QDir dir(info.absoluteFilePath());
  for (const char* index : {"index.html", "index.htm"}) {
    if (QFileInfo(dir.filePath(QLatin1String(index))).isFile()) return dir.filePath(QLatin1String(index));
  }
  const QStringList pages =
      dir.entryList({QStringLiteral("*.html"), QStringLiteral("*.htm")}, QDir::Files, QDir::Name);
  return pages.isEmpty() ? QString() : dir.filePath(pages.first());
}

void ResultsTable::paintEvent(QPaintEvent* event) {
  QTableView::paintEvent(event);
  if (m_strHint.isEmpty() || (model() && model()->rowCount() > 0)) return;
  QPainter painter(viewport());
  painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
  painter.drawText(viewport()->rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap,
                   m_strHint);
}

void ResultsTable::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedPath(event->mimeData()).isEmpty()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void ResultsTable::dragMoveEvent(QDragMoveEvent* event) {
  if (!DroppedPath(event->mimeData()).isEmpty()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void ResultsTable::dropEvent(QDropEvent* event) {
  const QString path = DroppedPath(event->mimeData());
  if (path.isEmpty()) return event->ignore();
  event->acceptProposedAction();
  emit PathDropped(path);
}

}  // namespace linkward

#include "gui/ResultsModel.h"

#include <QApplication>
#include <algorithm>
#include <QBrush>
#include <QColor>
#include <QIcon>
#include <QStyle>
#include <QTimer>

#include "gui/GuiText.h"
#include "results/ResultRows.h"

namespace linkward {

namespace {
const char* const TITLES[RESULT_COLUMNS] = {"URL", "Reason", "Site Name", "File Name", "Line"};
}

QIcon ClassIcon(CheckClass cls) {
  QStyle* style = QApplication::style();
  switch (cls) {
    case CheckClass::Ok: return style->standardIcon(QStyle::SP_DialogApplyButton);
    case CheckClass::Moved: return style->standardIcon(QStyle::SP_ArrowForward);
    case CheckClass::NotVerified: return style->standardIcon(QStyle::SP_MessageBoxQuestion);
    case CheckClass::Broken: break;
  }
  return style->standardIcon(QStyle::SP_MessageBoxCritical);
}

QColor ClassColour(CheckClass cls) {
  switch (cls) {
    case CheckClass::Ok: return QColor(0x1a, 0x7f, 0x37);
    case CheckClass::Moved: return QColor(0x9a, 0x67, 0x00);
    case CheckClass::NotVerified: return QColor(0x4a, 0x5a, 0x70);
    case CheckClass::Broken: break;
  }
  return QColor(0xb0, 0x10, 0x10);
}

ResultsModel::ResultsModel(const CResultRows& rows, QObject* parent)
    : QAbstractTableModel(parent), m_rows(rows), m_nRowCount(rows.GetItemCount()) {}

int ResultsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_nRowCount;
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : RESULT_COLUMNS;
}

int ResultsModel::CoreRow(int row) const {
  if (m_nCount > 0 && row >= m_nFirst) return row + m_nCount;
  if (m_nCount < 0 && row >= m_nFirst) return row == m_nFirst ? -1 : row - 1;
  return row;
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= m_nRowCount || index.column() >= RESULT_COLUMNS) return {};
  const int row = CoreRow(index.row());
  if (row < 0 || row >= m_rows.GetItemCount()) return {};
  const int col = index.column();
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      if (col == COL_LINE) {
        const int line = m_rows.GetItemDetails(row).line;
        return line > 0 ? QVariant(line) : QVariant();
      }
      return FromCore(m_rows.GetItemText(row, col));
    case ClassRole:
      return static_cast<int>(m_rows.GetItemDetails(row).cls);
    case Qt::DecorationRole:
      if (!m_bShowClasses || col != COL_URL) return {};
      return ClassIcon(m_rows.GetItemDetails(row).cls);
    case Qt::ForegroundRole:
      if (!m_bShowClasses) return {};
      return QBrush(ClassColour(m_rows.GetItemDetails(row).cls));
    case Qt::TextAlignmentRole:
      if (col == COL_LINE) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    default:
      return {};
  }
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && section >= 0 && section < RESULT_COLUMNS) {
    if (role == Qt::DisplayRole) return QString::fromLatin1(TITLES[section]);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  }
  return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags ResultsModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ResultsModel::SetShowClasses(bool show) {
  if (m_bShowClasses == show) return;
  m_bShowClasses = show;
  if (m_nRowCount > 0) emit dataChanged(index(0, 0), index(m_nRowCount - 1, RESULT_COLUMNS - 1));
}

void ResultsModel::AnnounceLater(int first, int count) {
  const bool queued = m_nLaterFirst >= 0;
  if (!queued || first < m_nLaterFirst) m_nLaterFirst = first;
  m_nLaterLast = std::max(queued ? m_nLaterLast : 0, first + count - 1);
  if (queued) return;
  QTimer::singleShot(0, this, [this] {
    const int last = std::min(m_nLaterLast, m_nRowCount - 1);
    if (m_nLaterFirst >= 0 && m_nLaterFirst <= last)
      emit dataChanged(index(m_nLaterFirst, 0), index(last, RESULT_COLUMNS - 1));
    m_nLaterFirst = m_nLaterLast = -1;
  });
}

void ResultsModel::RowsInserted(int first, int count) {
  if (count <= 0) return;
  m_nFirst = first;
  m_nCount = count;
  beginInsertRows(QModelIndex(), first, first + count - 1);
  m_nRowCount += count;
  m_nCount = 0;
  endInsertRows();
  if (m_bShowClasses) AnnounceLater(first, count);
}

void ResultsModel::RowChanged(int row) {
  if (row < 0 || row >= m_nRowCount) return;
  emit dataChanged(index(row, 0), index(row, RESULT_COLUMNS - 1), {Qt::DisplayRole});
}

void ResultsModel::RowRemoved(int row) {
  if (row < 0 || row >= m_nRowCount) return;
  m_nFirst = row;
  m_nCount = -1;
  beginRemoveRows(QModelIndex(), row, row);
  m_nRowCount -= 1;
  m_nCount = 0;
  endRemoveRows();
  if (m_nLaterFirst > row) --m_nLaterFirst;
  if (m_nLaterLast >= row) --m_nLaterLast;
}

void ResultsModel::RowsCleared() {
  beginResetModel();
  m_nRowCount = m_rows.GetItemCount();
  endResetModel();
  m_nLaterFirst = m_nLaterLast = -1;
}

}  // namespace linkward

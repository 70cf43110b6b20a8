#include "gui/ResultsModel.h"

#include "gui/GuiText.h"
#include "results/ResultRows.h"

namespace linkward {

namespace {
const char* const TITLES[4] = {"URL", "Reason", "Site Name", "File Name"};
}

ResultsModel::ResultsModel(const CResultRows& rows, QObject* parent)
    : QAbstractTableModel(parent), m_rows(rows), m_nRowCount(rows.GetItemCount()) {}

int ResultsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_nRowCount;
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 4;
}

int ResultsModel::CoreRow(int row) const {
  if (m_nCount > 0 && row >= m_nFirst) return row + m_nCount;
  if (m_nCount < 0 && row >= m_nFirst) return row == m_nFirst ? -1 : row - 1;
  return row;
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= m_nRowCount || index.column() >= 4) return {};
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  const int row = CoreRow(index.row());
  if (row < 0 || row >= m_rows.GetItemCount()) return {};
  return FromCore(m_rows.GetItemText(row, index.column()));
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && section >= 0 && section < 4) {
    if (role == Qt::DisplayRole) return QString::fromLatin1(TITLES[section]);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  }
  return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags ResultsModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ResultsModel::RowsInserted(int first, int count) {
  if (count <= 0) return;
  m_nFirst = first;
  m_nCount = count;
  beginInsertRows(QModelIndex(), first, first + count - 1);
  m_nRowCount += count;
  m_nCount = 0;
  endInsertRows();
}

void ResultsModel::RowChanged(int row) {
  if (row < 0 || row >= m_nRowCount) return;
  emit dataChanged(index(row, 0), index(row, 3), {Qt::DisplayRole});
}

void ResultsModel::RowRemoved(int row) {
  if (row < 0 || row >= m_nRowCount) return;
  m_nFirst = row;
  m_nCount = -1;
  beginRemoveRows(QModelIndex(), row, row);
  m_nRowCount -= 1;
  m_nCount = 0;
  endRemoveRows();
}

void ResultsModel::RowsCleared() {
  beginResetModel();
  m_nRowCount = m_rows.GetItemCount();
  endResetModel();
}

}  // namespace linkward

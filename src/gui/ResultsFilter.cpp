#include "gui/ResultsFilter.h"

#include "gui/ResultsModel.h"

namespace linkward {

ResultsFilter::ResultsFilter(QObject* parent) : QSortFilterProxyModel(parent) {
  setDynamicSortFilter(true);
  setSortCaseSensitivity(Qt::CaseInsensitive);
}

void ResultsFilter::SetText(const QString& text) {
  if (text == m_strText) return;
  m_strText = text;
  invalidateRowsFilter();
}

void ResultsFilter::SetClass(std::optional<CheckClass> cls) {
  if (cls == m_class) return;
  m_class = cls;
  invalidateRowsFilter();
}

bool ResultsFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
  const QAbstractItemModel* source = sourceModel();
  if (m_class &&
      source->index(sourceRow, 0, sourceParent).data(ClassRole).toInt() != static_cast<int>(*m_class))
    return false;
  if (m_strText.isEmpty()) return true;
  for (int col = 0; col < COL_LINE; ++col) {
    if (source->index(sourceRow, col, sourceParent)
            .data()
            .toString()
            .contains(m_strText, Qt::CaseInsensitive))
      return true;
  }
  return false;
}

bool ResultsFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  if (left.column() == COL_LINE) return left.data().toInt() < right.data().toInt();
  // (The sort is stable: equal texts keep the order they were listed in.)
  return QString::compare(left.data().toString(), right.data().toString(), Qt::CaseInsensitive) < 0;
}

}  // namespace linkward

// The results list's model: the view's result rows, shown in four columns.
// The rows belong to the core; the frame's change notices, which come after
// each change, are turned into Qt's begin/end pairs here. While a notice is
// being passed on, data() shows the rows as they stood before the change, as
// Qt's contract asks.
#pragma once

#include <QAbstractTableModel>

namespace linkward {

class CResultRows;

class ResultsModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ResultsModel(const CResultRows& rows, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Notices from the frame, after the rows changed.
  void RowsInserted(int first, int count);
  void RowChanged(int row);
  void RowRemoved(int row);
  void RowsCleared();

 private:
  // The core row that model row `row` shows, or -1 while it is on its way out.
  int CoreRow(int row) const;

  const CResultRows& m_rows;
  int m_nRowCount = 0;
  // The change being passed on: rows inserted at m_nFirst (m_nCount > 0), or
  // the row removed at m_nFirst (m_nCount < 0). 0: none.
  int m_nFirst = 0;
  int m_nCount = 0;
};

}  // namespace linkward

// The results list's model: the view's result rows, shown in four columns,
// and a fifth, the link's line, for the full check's rows. With classes shown
// (a full check's rows) each row has its class's icon and colour.
// The rows belong to the core; the frame's change notices, which come after
// each change, are turned into Qt's begin/end pairs here. While a notice is
// being passed on, data() shows the rows as they stood before the change, as
// Qt's contract asks.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QIcon>

#include "results/CheckClass.h"

namespace linkward {

class CResultRows;

constexpr int COL_LINE = 4;
constexpr int RESULT_COLUMNS = 5;
// The data role that gives a row's CheckClass as an int.
constexpr int ClassRole = Qt::UserRole + 1;

// The icon and text colour of a class.
QIcon ClassIcon(CheckClass cls);
QColor ClassColour(CheckClass cls);

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

  // Whether rows show their class (icon, colour): the rows of a full check.
  void SetShowClasses(bool show);
  bool ShowClasses() const { return m_bShowClasses; }
  // The core row a model row shows (the same index once no notice is being
  // passed on).
  const CResultRows& Rows() const { return m_rows; }

  // Notices from the frame, after the rows changed.
  void RowsInserted(int first, int count);
  void RowChanged(int row);
  void RowRemoved(int row);
  void RowsCleared();

 private:
  // The core row that model row `row` shows, or -1 while it is on its way out.
  int CoreRow(int row) const;

  // Rows are given their details after their texts: the rows inserted in
  // this turn of the loop are announced once more as changed in the next.
  void AnnounceLater(int first, int count);

  const CResultRows& m_rows;
  bool m_bShowClasses = false;
  int m_nLaterFirst = -1;
  int m_nLaterLast = -1;
  int m_nRowCount = 0;
  // The change being passed on: rows inserted at m_nFirst (m_nCount > 0), or
  // the row removed at m_nFirst (m_nCount < 0). 0: none.
  int m_nFirst = 0;
  int m_nCount = 0;
};

}  // namespace linkward

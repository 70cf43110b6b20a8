// "Group by Target": the result rows gathered by where their links lead.
// One row per resolved target, with how many links point at it, its reason
// and class, expanding to every page and line that holds such a link (a
// missing file linked under five spellings is one row, not five).
#pragma once

#include <QTreeView>
#include <vector>

class QStandardItemModel;

namespace linkward {

class CResultRows;

class TargetGroups : public QTreeView {
  Q_OBJECT

 public:
  explicit TargetGroups(QWidget* parent = nullptr);

  // Gathers the rows again (the groups most linked first, then by target):
  // the core rows `which` of rows.
  void Rebuild(const CResultRows& rows, const std::vector<int>& which, bool showClasses,
               const QString& siteRoot = {});
  QStandardItemModel* Groups() const { return m_pGroups; }
  // The core row a child row stands for (-1 for a group or nothing).
  int CoreRow(const QModelIndex& index) const;
  // The target a row is grouped under: its resolved target, else its URL
  // read against its page, without a fragment.
  static QString TargetOf(const CResultRows& rows, int row, const QString& siteRoot = {});

 signals:
  // A page:line row was double-clicked (or Enter pressed on it).
  void RowActivated(int coreRow);

 private:
  QStandardItemModel* m_pGroups = nullptr;
};

}  // namespace linkward

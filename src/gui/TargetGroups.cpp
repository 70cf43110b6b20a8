#include "gui/TargetGroups.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <algorithm>
#include <map>
#include <vector>

#include "gui/GuiText.h"
#include "gui/ResultsModel.h"
#include "gui/RowActions.h"
#include "results/ResultRows.h"

namespace linkward {

namespace {
constexpr int CoreRowRole = Qt::UserRole + 2;
}

TargetGroups::TargetGroups(QWidget* parent) : QTreeView(parent) {
  m_pGroups = new QStandardItemModel(this);
  setModel(m_pGroups);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setUniformRowHeights(true);
  setAlternatingRowColors(true);
  header()->setStretchLastSection(true);
  connect(this, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
    const int row = CoreRow(index);
    if (row >= 0) emit RowActivated(row);
  });
}

QString TargetGroups::TargetOf(const CResultRows& rows, int row, const QString& siteRoot) {
  const std::string& target = rows.GetItemDetails(row).target;
  if (!target.empty()) return FromCore(target);
  QUrl url = LinkTarget(rows, row, siteRoot);
  if (!url.isValid()) return FromCore(rows.GetItemText(row, COL_URL));
  url.setFragment(QString());
  return url.isLocalFile() ? url.toLocalFile() : url.toString();
}

int TargetGroups::CoreRow(const QModelIndex& index) const {
  if (!index.isValid() || !index.parent().isValid()) return -1;
  const QVariant row = m_pGroups->index(index.row(), 0, index.parent()).data(CoreRowRole);
  return row.isValid() ? row.toInt() : -1;
}

void TargetGroups::Rebuild(const CResultRows& rows, const std::vector<int>& which,
                           bool showClasses, const QString& siteRoot) {
  // Which groups were open stays so across a rebuild.
  QStringList open;
  for (int g = 0; g < m_pGroups->rowCount(); ++g) {
    const QModelIndex group = m_pGroups->index(g, 0);
    if (isExpanded(group)) open << group.data(Qt::UserRole).toString();
  }
  std::map<QString, std::vector<int>> byTarget;
  for (int row : which) {
    if (row >= 0 && row < rows.GetItemCount()) byTarget[TargetOf(rows, row, siteRoot)].push_back(row);
  }
  std::vector<const std::pair<const QString, std::vector<int>>*> groups;
  for (const auto& entry : byTarget) groups.push_back(&entry);
  std::stable_sort(groups.begin(), groups.end(),
                   [](auto* a, auto* b) { return a->second.size() > b->second.size(); });

  m_pGroups->clear();
  m_pGroups->setHorizontalHeaderLabels(
      {QStringLiteral("Target"), QStringLiteral("Links"), QStringLiteral("Reason"),
       QStringLiteral("Link as Written")});
  for (const auto* entry : groups) {
    const int first = entry->second.front();
    const CheckClass cls = rows.GetItemDetails(first).cls;
    auto* target = new QStandardItem(entry->first);
    target->setData(entry->first, Qt::UserRole);
    target->setToolTip(entry->first);
    auto* count = new QStandardItem();
    count->setData(static_cast<int>(entry->second.size()), Qt::DisplayRole);
    auto* reason = new QStandardItem(FromCore(rows.GetItemText(first, COL_REASON)));
    QList<QStandardItem*> top{target, count, reason, new QStandardItem()};
    if (showClasses) {
      target->setIcon(ClassIcon(cls));
      for (QStandardItem* item : top) item->setForeground(ClassColour(cls));
    }
    for (int row : entry->second) {
      const int line = rows.GetItemDetails(row).line;
      QString where = FromCore(rows.GetItemText(row, COL_FILE));
      if (line > 0) where += QStringLiteral(":%1").arg(line);
      auto* page = new QStandardItem(where);
      page->setData(row, CoreRowRole);
      page->setToolTip(FromCore(rows.GetItemText(row, COL_SITE)));
      auto* written = new QStandardItem(FromCore(rows.GetItemText(row, COL_URL)));
      target->appendRow({page, new QStandardItem(), new QStandardItem(
                                                        FromCore(rows.GetItemText(row, COL_REASON))),
                         written});
    }
    m_pGroups->appendRow(top);
    if (open.contains(entry->first)) expand(target->index());
  }
  if (header()->sectionSize(0) < 300) {
    header()->resizeSection(0, 420);
    header()->resizeSection(1, 60);
    header()->resizeSection(2, 220);
  }
}

}  // namespace linkward

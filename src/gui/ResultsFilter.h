// The results list as the user narrows it: a text filter over the four text
// columns, a choice of class, and the order of a clicked column. Until a
// column is clicked the rows keep the order they were listed in.
#pragma once

#include <QSortFilterProxyModel>
#include <optional>

#include "results/CheckClass.h"

namespace linkward {

class ResultsFilter : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit ResultsFilter(QObject* parent = nullptr);

  // Rows whose URL, Reason, Site Name or File Name holds text (any case).
  void SetText(const QString& text);
  // Only rows of this class; none: every class.
  void SetClass(std::optional<CheckClass> cls);
  std::optional<CheckClass> Class() const { return m_class; }

 protected:
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  QString m_strText;
  std::optional<CheckClass> m_class;
};

}  // namespace linkward

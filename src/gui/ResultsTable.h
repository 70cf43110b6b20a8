// The results list's widget: a table that, while it has no rows, says what
// to do, and that takes a dropped file or folder as the page to test.
#pragma once

#include <QTableView>

namespace linkward {

class ResultsTable : public QTableView {
  Q_OBJECT

 public:
  explicit ResultsTable(QWidget* parent = nullptr);

  // The text shown over an empty list (lines split at "\n"); empty: none.
  void SetHint(const QString& hint);
  const QString& Hint() const { return m_strHint; }

  // The page a dropped path offers: a file itself; for a folder its
  // index.html or index.htm, else its first page by name. Empty when none.
  static QString PageToOffer(const QString& path);

 signals:
  // A file or folder was dropped on the list (its local path).
  void PathDropped(const QString& path);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QString m_strHint;
};

}  // namespace linkward

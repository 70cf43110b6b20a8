// The log pane: the lower pane of the main window. The test run only ever
// appends at its end or empties it. Appends are gathered and written to the
// document once per turn of the event loop, so a test that logs a great many
// lines keeps the window responsive. The user can select and copy, not type.
#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <string>

class QTimer;

namespace linkward {

class LogPane : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit LogPane(QWidget* parent = nullptr);

  // Appends text as given; "\r\n" becomes a line break, so a text that ends in
  // "\r\n\r\n" leaves an empty line behind it.
  void Append(const std::string& text);
  void Clear();
  // Writes what is still gathered into the document.
  void Flush();
  // The whole text, gathered appends included.
  QString Text();

 private:
  QString m_strPending;
  QTimer* m_pFlushTimer = nullptr;
};

}  // namespace linkward

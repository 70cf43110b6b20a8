// Printing of the results list: one text line per row, through print, print
// preview and PDF, all drawn by one paint function.
#pragma once

#include <QFont>
#include <QPointF>
#include <QString>
#include <functional>
#include <memory>

class QPainter;
class QPrinter;
class QWidget;

namespace linkward {

class CResultRows;

class ResultsPrinter {
 public:
  ResultsPrinter(const CResultRows& rows, QWidget* parent);
  ~ResultsPrinter();
  ResultsPrinter(const ResultsPrinter&) = delete;
  ResultsPrinter& operator=(const ResultsPrinter&) = delete;

  // The print dialog, then the job.
  void Print(const QFont& listFont);
  // The job without a dialog, on the session's printer as set up.
  void PrintDirect(const QFont& listFont);
  // The preview window.
  void Preview(const QFont& listFont);
  // The page set-up dialog on the session's printer.
  void PrintSetup();
  // Writes the list to a PDF file at path. Returns false when nothing could be written.
  bool PrintToPdf(const QString& path, const QFont& listFont);

  // The session's printer (kept between jobs, so the set-up holds).
  QPrinter& Printer();

  // Paints every page of the list on printer with painter already begun on
  // it. Pages are numbered from 1; fromPage..toPage (0 0: all) bound the
  // pages painted. Each drawn line is also reported to onLine when set: its
  // page, its top left corner in hundredths of an inch from the printable
  // area's top left corner, and its text. Returns the page count.
  int PaintPages(QPainter& painter, QPrinter& printer, const QFont& listFont, int fromPage = 0,
                 int toPage = 0);
  std::function<void(int page, QPointF pos, const QString& text)> onLine;

 private:
  const CResultRows& m_rows;
  QWidget* m_pParent;
  std::unique_ptr<QPrinter> m_pPrinter;
};

}  // namespace linkward

#include "ResultsPrinter.h"

#include <QFontMetricsF>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTextOption>
#include <algorithm>
#include <cmath>

#include "results/PrintLayout.h"
#include "results/ResultRows.h"

namespace linkward {

namespace {

constexpr double UNITS_PER_INCH = 100.0;  // the geometry is in hundredths of an inch
constexpr int TAB_STOP_UNITS = 100;

// A font given in pixels (a screen's) is turned into points, so that it
// prints at the size it shows.
QFont PrintFont(const QFont& listFont) {
  QFont font = listFont;
  if (font.pointSizeF() <= 0 && font.pixelSize() > 0)
    font.setPointSizeF(font.pixelSize() * 72.0 / 96.0);
  return font;
}

}  // namespace

ResultsPrinter::ResultsPrinter(const CResultRows& rows, QWidget* parent)
    : m_rows(rows), m_pParent(parent) {}

ResultsPrinter::~ResultsPrinter() = default;

QPrinter& ResultsPrinter::Printer() {
  if (!m_pPrinter) m_pPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
  return *m_pPrinter;
}

int ResultsPrinter::PaintPages(QPainter& painter, QPrinter& printer, const QFont& listFont,
                               int fromPage, int toPage) {
  const QFont font = PrintFont(listFont);
  painter.setFont(font);
  const double dpiX = printer.resolution();
  const double dpiY = printer.resolution();
  auto toUnits = [&](double px) {
    return static_cast<int>(std::lround(px * UNITS_PER_INCH / dpiY));
  };
  auto xPixels = [&](int units) { return units * dpiX / UNITS_PER_INCH; };
  auto yPixels = [&](int units) { return units * dpiY / UNITS_PER_INCH; };

  // The painter's origin is the printable area's top left corner.
  const QRectF printable = printer.pageLayout().paintRectPixels(printer.resolution());
  const QFontMetricsF metrics(font, &printer);
  const int textHeight = toUnits(metrics.height());
  const int printableHeight = static_cast<int>(printable.height() * UNITS_PER_INCH / dpiY);
  const int rowCount = m_rows.GetItemCount();
  const PrintGeometry g = ComputePrintGeometry(textHeight, printableHeight, rowCount);

  QTextOption option(Qt::AlignLeft | Qt::AlignTop);
  option.setWrapMode(QTextOption::NoWrap);
  option.setTabStopDistance(xPixels(TAB_STOP_UNITS));
  const double left = xPixels(g.leftMargin);
  const double width = std::max(1.0, printable.width() - left);

  const int first = std::max(1, fromPage);
  const int last = toPage > 0 ? std::min(toPage, g.pageCount) : g.pageCount;
  bool pageStarted = true;  // the painter's first page is already open
  for (int page = first; page <= last; ++page) {
    const int firstRow = (page - 1) * g.rowsPerPage;
    // No page is started once the rows have run out (an empty list still
    // gets its one page).
    if (firstRow >= rowCount && page > 1) break;
    if (!pageStarted) printer.newPage();
    pageStarted = false;
    for (int j = 0; j < g.rowsPerPage; ++j) {
      const int row = firstRow + j;
      if (row >= rowCount) break;
      const QString text = QString::fromStdString(PrintRowText(m_rows, row));
      const QPointF pos(left, yPixels(g.topMargin + j * g.lineHeight));
      painter.drawText(QRectF(pos, QSizeF(width, yPixels(g.lineHeight))), text, option);
      if (onLine) onLine(page, QPointF(g.leftMargin, g.topMargin + j * g.lineHeight), text);
    }
  }
  return g.pageCount;
}

void ResultsPrinter::Print(const QFont& listFont) {
  QPrinter& printer = Printer();
  QPrintDialog dialog(&printer, m_pParent);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
  if (dialog.exec() != QDialog::Accepted) return;
  PrintDirect(listFont);
}

void ResultsPrinter::PrintDirect(const QFont& listFont) {
  QPrinter& printer = Printer();
  QPainter painter;
  if (!painter.begin(&printer)) return;
  if (printer.printRange() == QPrinter::PageRange)
    PaintPages(painter, printer, listFont, printer.fromPage(), printer.toPage());
  else
    PaintPages(painter, printer, listFont);
  painter.end();
}

void ResultsPrinter::Preview(const QFont& listFont) {
  QPrintPreviewDialog dialog(&Printer(), m_pParent);
  dialog.setWindowTitle(QStringLiteral("Linkward - Print Preview"));
  QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                   [this, &listFont](QPrinter* printer) {
                     QPainter painter(printer);
                     PaintPages(painter, *printer, listFont);
                   });
  dialog.exec();
}

void ResultsPrinter::PrintSetup() {
  QPageSetupDialog dialog(&Printer(), m_pParent);
  dialog.exec();
}

bool ResultsPrinter::PrintToPdf(const QString& path, const QFont& listFont) {
  // A printer of its own, laid out like the session's, so the session's
  // printer keeps its destination.
  QPrinter pdf(QPrinter::HighResolution);
  pdf.setOutputFormat(QPrinter::PdfFormat);
  pdf.setOutputFileName(path);
  pdf.setPageLayout(Printer().pageLayout());
  QPainter painter;
  if (!painter.begin(&pdf)) return false;
  PaintPages(painter, pdf, listFont);
  return painter.end();
}

}  // namespace linkward

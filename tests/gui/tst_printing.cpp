// Printing of the results list: pages, line positions and texts, through the
// PDF path that shares its paint function with print and preview.
#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "GuiTest.h"
#include <cmath>
#include <functional>

#include "gui/ResultsPrinter.h"
#include "results/PrintLayout.h"
#include "results/ResultRows.h"

namespace {

struct Line {
  int page;
  QPointF pos;  // hundredths of an inch
  QString text;
};

void FillRows(CResultRows& rows, int count) {
  for (int i = 0; i < count; ++i) {
    int row = rows.InsertItem(
        rows.GetItemCount(),
        QString("http://host/page%1.html").arg(i + 1, 3, 10, QChar('0')).toStdString());
    rows.SetItemText(row, COL_REASON, "HTTP Code 404 Not Found");
    rows.SetItemText(row, COL_SITE, QString("Site %1").arg(i + 1).toStdString());
    rows.SetItemText(row, COL_FILE, i < count / 2 ? "/web/index.htm" : "/web/links.htm");
  }
}

int PdfPageCount(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  // Page objects only, not the /Pages tree node.
  return static_cast<int>(
      QString::fromLatin1(file.readAll()).count(QRegularExpression("/Type\\s*/Page(?![a-zA-Z])")));
}

QFont ListFont() {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSize(9);
  return font;
}

int LinesOnFirstPage(const QList<Line>& lines) {
  int count = 0;
  while (count < lines.size() && lines[count].page == 1) ++count;
  return count;
}

}  // namespace

class PrintingTest : public QObject {
  Q_OBJECT

  QTemporaryDir m_dir;

  // Prints rowCount rows through paint and returns the lines drawn.
  QList<Line> Print(int rowCount, const std::function<void(ResultsPrinter&)>& paint) {
    CResultRows rows;
    FillRows(rows, rowCount);
    ResultsPrinter printer(rows, nullptr);
    QList<Line> lines;
    printer.onLine = [&](int page, QPointF pos, const QString& text) {
      lines.append({page, pos, text});
    };
    paint(printer);
    return lines;
  }
  QList<Line> PrintPdf(int rowCount, const QString& name, const QFont& font = ListFont()) {
    return Print(rowCount, [&](ResultsPrinter& printer) {
      QVERIFY(printer.PrintToPdf(m_dir.filePath(name), font));
    });
  }

 private slots:
  void oneHundredFiftyRows() {
    const QList<Line> lines = PrintPdf(150, "150.pdf");
    QCOMPARE(lines.size(), 150);
    QCOMPARE(
        lines[0].text,
        QString("http://host/page001.html - HTTP Code 404 Not Found - Site 1 - /web/index.htm"));
    const double lineHeight = lines[1].pos.y() - lines[0].pos.y();
    QVERIFY(lineHeight > 5);
    const int perPage = LinesOnFirstPage(lines);
    QVERIFY(perPage > 1 && perPage < 150);

    // Every line in row order, R to a page, each at 0.75 inch from the left
    // and the first two line heights below the top of the printable area.
    CResultRows rows;
    FillRows(rows, 150);
    for (int i = 0; i < lines.size(); ++i) {
      QCOMPARE(lines[i].text, QString::fromStdString(PrintRowText(rows, i)));
      QCOMPARE(lines[i].page, i / perPage + 1);
      QCOMPARE(lines[i].pos, QPointF(75.0, 2 * lineHeight + (i % perPage) * lineHeight));
    }

    // The printable area holds R lines below the top margin, and not R + 1;
    // a line is the text height of "Fg" plus 5 hundredths.
    QPrinter reference(QPrinter::HighResolution);
    const double dpi = reference.resolution();
    const double printable = reference.pageLayout().paintRectPixels(dpi).height() * 100.0 / dpi;
    QVERIFY(2 * lineHeight + perPage * lineHeight <= printable + 1);
    QVERIFY(2 * lineHeight + (perPage + 1) * lineHeight > printable - 1);
    QCOMPARE(lineHeight,
             std::round(QFontMetricsF(ListFont(), &reference).height() * 100 / dpi) + 5);
    // The PDF has exactly the predicted pages: none blank at the end.
    QCOMPARE(PdfPageCount(m_dir.filePath("150.pdf")), (150 + perPage - 1) / perPage);
  }

  void pdfTextStartsWithFirstRow() {
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    if (pdftotext.isEmpty()) QSKIP("pdftotext is not installed");
    const QList<Line> lines = PrintPdf(150, "text.pdf");
    QProcess process;
    process.start(pdftotext, {"-f", "1", "-l", "1", "-layout", m_dir.filePath("text.pdf"), "-"});
    QVERIFY(process.waitForFinished(30000));
    const QStringList pageLines =
        QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QVERIFY(!pageLines.isEmpty());
    QCOMPARE(pageLines.first().trimmed(), lines.first().text);
  }

  void noBlankTrailingPage() {
    const int perPage = LinesOnFirstPage(PrintPdf(300, "probe.pdf"));
    // An empty list still prints one (empty) page.
    for (auto [count, pages] : std::initializer_list<std::pair<int, int>>{
             {0, 1}, {perPage - 1, 1}, {perPage, 1}, {perPage + 1, 2}}) {
      QCOMPARE(PrintPdf(count, "exact.pdf").size(), count);
      QVERIFY2(PdfPageCount(m_dir.filePath("exact.pdf")) == pages,
               qPrintable(QString::number(count)));
    }
  }

  void pageRangePaintsOnlyItsRows() {
    int pageCount = 0;
    const QList<Line> lines = Print(150, [&](ResultsPrinter& printer) {
      QPrinter pdf(QPrinter::HighResolution);
      pdf.setOutputFormat(QPrinter::PdfFormat);
      pdf.setOutputFileName(m_dir.filePath("range.pdf"));
      QPainter painter(&pdf);
      pageCount = printer.PaintPages(painter, pdf, ListFont(), 2, 2);
    });
    QVERIFY(pageCount >= 2);
    QVERIFY(!lines.isEmpty());
    for (const Line& l : lines) QCOMPARE(l.page, 2);
    // Page 2 starts with row R.
    QVERIFY(lines.first().text.startsWith(
        QString("http://host/page%1.html ").arg(lines.size() + 1, 3, 10, QChar('0'))));
    QCOMPARE(PdfPageCount(m_dir.filePath("range.pdf")), 1);
  }

  void pixelSizedFontPrintsAtItsScreenSize() {
    // A list font given in pixels must not shrink to a few printer dots.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    const QList<Line> lines = PrintPdf(3, "pixels.pdf", font);
    QCOMPARE(lines.size(), 3);
    const double lineHeight = lines[1].pos.y() - lines[0].pos.y();
    // 12 pixels at 96 per inch is 12.5 hundredths of an inch, plus leading and 5.
    QVERIFY2(lineHeight > 14 && lineHeight < 30, qPrintable(QString::number(lineHeight)));
  }
};

LINKWARD_TEST_MAIN(PrintingTest)
#include "tst_printing.moc"

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
#include <algorithm>
#include <functional>

#include "GuiTest.h"
#include "gui/ResultsPrinter.h"
#include "results/ResultRows.h"

using namespace linkward;

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
  // The first row and the PDF's page count; the geometry itself is the
  // layout's (tested with it), the row order across pages the page range's.
  void firstRowAndThePredictedPages() {
    const QList<Line> lines = PrintPdf(150, "150.pdf");
    QCOMPARE(lines.size(), 150);
    QCOMPARE(
        lines[0].text,
        QString("http://host/page001.html - HTTP Code 404 Not Found - Site 1 - /web/index.htm"));
    const int perPage = static_cast<int>(
        std::count_if(lines.begin(), lines.end(), [](const Line& l) { return l.page == 1; }));
    QVERIFY2(perPage > 1 && perPage < 150, qPrintable(QString::number(perPage)));
    QCOMPARE(lines.last().page, (150 + perPage - 1) / perPage);
    QCOMPARE(PdfPageCount(m_dir.filePath("150.pdf")), (150 + perPage - 1) / perPage);
    // What the PDF shows is what was reported as drawn.
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    if (pdftotext.isEmpty()) QSKIP("pdftotext is not installed");
    QProcess process;
    process.start(pdftotext, {"-l", "1", "-layout", m_dir.filePath("150.pdf"), "-"});
    QVERIFY(process.waitForFinished(30000));
    const QStringList shown =
        QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QVERIFY(!shown.isEmpty());
    QCOMPARE(shown.first().trimmed(), lines[0].text);
  }

  void pageRangePaintsOnlyItsRows() {
    const QList<Line> lines = Print(150, [&](ResultsPrinter& printer) {
      QPrinter pdf(QPrinter::HighResolution);
      pdf.setOutputFormat(QPrinter::PdfFormat);
      pdf.setOutputFileName(m_dir.filePath("range.pdf"));
      QPainter painter(&pdf);
      QVERIFY(printer.PaintPages(painter, pdf, ListFont(), 2, 2) >= 2);
    });
    QVERIFY(!lines.isEmpty());
    for (const Line& l : lines) QCOMPARE(l.page, 2);
    // Page 2 starts with row R + 1, R being the lines it holds.
    QVERIFY2(lines.first().text.startsWith(
                 QString("http://host/page%1.html ").arg(lines.size() + 1, 3, 10, QChar('0'))),
             qPrintable(lines.first().text));
    QCOMPARE(PdfPageCount(m_dir.filePath("range.pdf")), 1);
  }

  void pixelSizedFontPrintsAtItsScreenSize() {
    // A list font given in pixels must not shrink to a few printer dots.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    const QList<Line> lines = PrintPdf(2, "pixels.pdf", font);
    QCOMPARE(lines.size(), 2);
    const double lineHeight = lines[1].pos.y() - lines[0].pos.y();
    // 12 pixels at 96 per inch is 12.5 hundredths of an inch, plus leading and 5.
    QVERIFY2(lineHeight > 14 && lineHeight < 30, qPrintable(QString::number(lineHeight)));
  }
};

LINKWARD_TEST_MAIN(PrintingTest)
#include "tst_printing.moc"

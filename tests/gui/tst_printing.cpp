// Printing of the results list through the PDF path that shares its paint
// function with print and preview: which rows land on which page, what the
// PDF shows, a page range, and a list font given in pixels. (The page
// geometry is the layout's, tested with it.)
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>

#include "GuiTest.h"
#include "gui/ResultsPrinter.h"
#include "results/ResultRows.h"

using namespace linkward;

class PrintingTest : public QObject {
  Q_OBJECT

  QTemporaryDir m_dir;
  CResultRows m_rows;
  struct Line {
    int page;
    QPointF pos;  // hundredths of an inch
    QString text;
  };

  QList<Line> Print(const std::function<void(ResultsPrinter&)>& paint) {
    ResultsPrinter printer(m_rows, nullptr);
    QList<Line> lines;
    printer.onLine = [&](int page, QPointF pos, const QString& text) {
      lines.append({page, pos, text});
    };
    paint(printer);
    return lines;
  }
  // The text of each page of the PDF, as pdftotext reads it.
  QStringList PdfPages(const QString& name) {
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-layout", m_dir.filePath(name), "-"});
    if (!pdftotext.waitForFinished(30000)) return {};
    return QString::fromUtf8(pdftotext.readAllStandardOutput()).split('\f', Qt::SkipEmptyParts);
  }

 private slots:
  // The list's font is given in pixels, as on screen: it must not shrink to
  // a few printer dots.
  void rowsInOrderPageAfterPageAndAPageRange() {
    for (int i = 0; i < 150; ++i) {
      m_rows.InsertItem(
          i, QString("http://host/page%1.html").arg(i + 1, 3, 10, QChar('0')).toStdString());
      m_rows.SetItemText(i, COL_REASON, "HTTP Code 404 Not Found");
      m_rows.SetItemText(i, COL_SITE, "Site");
      m_rows.SetItemText(i, COL_FILE, "/web/index.htm");
    }
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    const QList<Line> lines = Print([&](ResultsPrinter& printer) {
      QVERIFY(printer.PrintToPdf(m_dir.filePath("all.pdf"), font));
    });
    QCOMPARE(lines.size(), 150);
    // 12 pixels at 96 per inch is 12.5 hundredths of an inch, plus leading and 5.
    const double lineHeight = lines[1].pos.y() - lines[0].pos.y();
    QVERIFY2(lineHeight > 14 && lineHeight < 30, qPrintable(QString::number(lineHeight)));
    const int perPage = static_cast<int>(
        std::count_if(lines.begin(), lines.end(), [](const Line& l) { return l.page == 1; }));
    QVERIFY2(perPage > 1 && perPage < 150, qPrintable(QString::number(perPage)));
    QStringList second;
    for (int i = 0; i < 150; ++i) {
      QCOMPARE(lines[i].page, i / perPage + 1);
      QCOMPARE(lines[i].text, QString("http://host/page%1.html - HTTP Code 404 Not Found - Site - "
                                      "/web/index.htm")
                                  .arg(i + 1, 3, 10, QChar('0')));
      if (lines[i].page == 2) second << "2 " + lines[i].text;
    }
    // What the PDF shows is what was reported as drawn.
    const QStringList pages = PdfPages("all.pdf");
    QCOMPARE(pages.size(), lines.last().page);
    QCOMPARE(pages[0].split('\n', Qt::SkipEmptyParts).value(0).trimmed(), lines[0].text);

    // The range 2 to 2 paints the rows of page 2 and nothing else.
    const QList<Line> range = Print([&](ResultsPrinter& printer) {
      QPrinter pdf(QPrinter::HighResolution);
      pdf.setOutputFormat(QPrinter::PdfFormat);
      pdf.setOutputFileName(m_dir.filePath("range.pdf"));
      QPainter painter(&pdf);
      QVERIFY(printer.PaintPages(painter, pdf, font, 2, 2) >= 2);
    });
    QStringList painted;
    for (const Line& l : range) painted << QString::number(l.page) + " " + l.text;
    QCOMPARE(painted, second);
    QCOMPARE(PdfPages("range.pdf").size(), 1);
  }
};

LINKWARD_TEST_MAIN(PrintingTest)
#include "tst_printing.moc"

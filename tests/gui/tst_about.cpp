// The About box and its two links, and the help page's sections.
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/LinkwardApp.h"
#include "gui/AboutDialog.h"
#include "gui/Help.h"
#include "gui/StaticLink.h"
#include "results/ReportWriter.h"

namespace {

const QColor BLUE(0, 0, 255);
const QColor PURPLE(128, 0, 128);

// Whether the widget as drawn shows pixels of exactly colour (the underline
// is a solid line in the text colour).
bool ShowsColour(QWidget* widget, const QColor& colour) {
  const QImage image = widget->grab().toImage();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y).rgb() == colour.rgb()) return true;
  return false;
}

bool HasLabel(QWidget* dialog, const QString& text) {
  for (QLabel* l : dialog->findChildren<QLabel*>())
    if (l->text() == text) return true;
  return false;
}

}  // namespace

class AboutTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_dir;
  std::unique_ptr<CLinkwardApp> m_app;
  QList<QUrl> m_opened;
  bool m_openSucceeds = true;

 private slots:
  void init() {
    m_app = std::make_unique<CLinkwardApp>(m_dir.filePath("registry.db").toStdString(),
                                           m_dir.path().toStdString());
    m_opened.clear();
    m_openSucceeds = true;
    CStaticLink::s_opener = [this](const QUrl& url) {
      m_opened << url;
      return m_openSucceeds;
    };
  }

  void showsNameVersionAndLinks() {
    CAboutDlg dialog(*m_app);
    QCOMPARE(dialog.windowTitle(), QString("About Linkward"));
    QVERIFY(HasLabel(&dialog, "Linkward Version 2.1"));
    QVERIFY(HasLabel(&dialog, "Checks HTTP links\n in HTML documents"));
    QStringList groups;
    for (QGroupBox* g : dialog.findChildren<QGroupBox*>()) groups << g->title();
    QVERIFY(groups.contains("What Linkward Does"));
    QVERIFY(groups.contains("Legal"));
    QCOMPARE(dialog.MailLink()->text(), QString("linkward-support@linkward.example.com"));
    QCOMPARE(dialog.HomeLink()->text(), QString(LINKWARD_HOME_PAGE));
    QVERIFY(dialog.MailLink()->font().underline());
    QPushButton* ok = dialog.findChild<QPushButton*>();
    QVERIFY(ok != nullptr);
    QCOMPARE(ok->text(), QString("OK"));
  }

  void openedLinkTurnsPurpleForTheRestOfTheRun() {
    {
      CAboutDlg dialog(*m_app);
      dialog.show();
      QVERIFY(QTest::qWaitForWindowExposed(&dialog));
      QCOMPARE(dialog.HomeLink()->CurrentColor(), BLUE);
      QCOMPARE(dialog.MailLink()->CurrentColor(), BLUE);
      QVERIFY(ShowsColour(dialog.HomeLink(), BLUE));
      QVERIFY(!ShowsColour(dialog.HomeLink(), PURPLE));

      QTest::mouseClick(dialog.HomeLink(), Qt::LeftButton);
      QCOMPARE(m_opened, QList<QUrl>{QUrl(LINKWARD_HOME_PAGE)});
      QCOMPARE(m_app->m_bAboutLink2Visited, 1);
      QCOMPARE(m_app->m_bAboutLink1Visited, 0);
      QCOMPARE(dialog.HomeLink()->CurrentColor(), PURPLE);
      QVERIFY(ShowsColour(dialog.HomeLink(), PURPLE));
      QCOMPARE(dialog.MailLink()->CurrentColor(), BLUE);
    }
    // A new About box of the same run remembers it.
    CAboutDlg again(*m_app);
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QCOMPARE(again.HomeLink()->CurrentColor(), PURPLE);
    QVERIFY(ShowsColour(again.HomeLink(), PURPLE));
    QCOMPARE(again.MailLink()->CurrentColor(), BLUE);
  }

  void mailLinkGetsMailtoOnce() {
    CAboutDlg dialog(*m_app);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(dialog.MailLink(), Qt::LeftButton);
    QTest::mouseClick(dialog.MailLink(), Qt::LeftButton);
    const QUrl mail("mailto:linkward-support@linkward.example.com");
    QCOMPARE(m_opened, (QList<QUrl>{mail, mail}));
    QCOMPARE(m_app->m_bAboutLink1Visited, 1);
  }

  void failedOpenOnlyBeeps() {
    m_openSucceeds = false;
    CAboutDlg dialog(*m_app);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(dialog.HomeLink(), Qt::LeftButton);
    QCOMPARE(m_opened.size(), 1);
    QCOMPARE(m_app->m_bAboutLink2Visited, 0);
    QCOMPARE(dialog.HomeLink()->CurrentColor(), BLUE);
    // It can be clicked again, and then succeed.
    m_openSucceeds = true;
    QTest::mouseClick(dialog.HomeLink(), Qt::LeftButton);
    QCOMPARE(m_app->m_bAboutLink2Visited, 1);
  }

  void otherAddressesOpenUnchanged_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("url");
    QTest::newRow("someone else's mail") << "someone@example.org"
                                         << "someone@example.org";
    QTest::newRow("user part without @") << "http://example.org/linkward-support/"
                                         << "http://example.org/linkward-support/";
    QTest::newRow("own mail") << "linkward-support@example.org"
                              << "mailto:linkward-support@example.org";
  }
  void otherAddressesOpenUnchanged() {
    QFETCH(QString, text);
    QFETCH(QString, url);
    int visited = 0;
    CStaticLink link(text);
    link.m_pVisited = &visited;
    link.Click();
    QCOMPARE(m_opened.size(), 1);
    QCOMPARE(m_opened.first(), QUrl(url));
    QCOMPARE(visited, 1);
  }

  void pointerIsHandWhileHoveringButNotJustAfterAClick() {
    int visited = 0;
    CStaticLink link("http://example.org/");
    link.m_pVisited = &visited;
    link.resize(200, 20);
    link.show();
    QVERIFY(QTest::qWaitForWindowExposed(&link));
    QTest::mouseMove(&link, QPoint(100, 10));
    QVERIFY(link.m_bHover);
    QCOMPARE(link.cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseMove(&link, QPoint(300, 10));
    QVERIFY(!link.m_bHover);
    QCOMPARE(link.cursor().shape(), Qt::ArrowCursor);

    link.Click();
    QVERIFY(link.m_bClicked);
    QTest::mouseMove(&link, QPoint(100, 10));
    QVERIFY(!link.m_bHover);
    QCOMPARE(link.cursor().shape(), Qt::ArrowCursor);
  }

  void helpPageHasTheSections_data() {
    QTest::addColumn<uint>("context");
    QTest::addColumn<QString>("fragment");
    QTest::newRow("preferences") << 131208u << "preferences";
    QTest::newRow("repair") << 131209u << "repair";
    QTest::newRow("top") << 0u << "";
  }
  void helpPageHasTheSections() {
    QFETCH(uint, context);
    QFETCH(QString, fragment);
    const QUrl url = HelpUrl(context);
    QVERIFY2(url.isLocalFile(), "help.html not found beside the program or in the source tree");
    QCOMPARE(url.fragment(), fragment);
    QFile page(url.toLocalFile());
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    for (const char* anchor :
         {"preferences", "repair", "export", "commands", "outcomes", "settings"})
      QVERIFY2(html.contains(QString("id=\"%1\"").arg(anchor)), anchor);
  }
};

QTEST_MAIN(AboutTest)
#include "tst_about.moc"

// The About box and its two links, and the help page's sections.
#include <QFile>
#include <QScrollBar>
#include <QtTest>

#include "GuiTest.h"
#include "app/LinkwardApp.h"
#include "gui/AboutDialog.h"
#include "gui/Help.h"
#include "gui/StaticLink.h"
#include "results/ReportWriter.h"

using namespace linkward;

namespace {

const QColor BLUE(0, 0, 255);
const QColor PURPLE(128, 0, 128);
const QUrl MAIL("mailto:linkward-support@linkward.example.com");

// Whether the widget as drawn shows pixels of exactly colour (the underline
// is a solid line in the text colour).
bool ShowsColour(QWidget* widget, const QColor& colour) {
  const QImage image = widget->grab().toImage();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y).rgb() == colour.rgb()) return true;
  return false;
}

}  // namespace

class AboutTest : public QObject {
  Q_OBJECT

  QTemporaryDir m_dir;
  std::unique_ptr<CLinkwardApp> m_app;
  QList<QUrl> m_opened;
  bool m_openSucceeds = true;

  // Shows the About box and checks each link's colour, as kept and as drawn.
  void ExpectColours(CAboutDlg& dialog, const QColor& home, const QColor& mail) {
    if (!dialog.isVisible()) {
      dialog.show();
      QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    }
    QCOMPARE(dialog.HomeLink()->CurrentColor(), home);
    QCOMPARE(dialog.MailLink()->CurrentColor(), mail);
    QVERIFY(ShowsColour(dialog.HomeLink(), home));
    QVERIFY(!ShowsColour(dialog.HomeLink(), home == BLUE ? PURPLE : BLUE));
    QVERIFY(ShowsColour(dialog.MailLink(), mail));
  }

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

  // The texts, and the links blue until opened, then purple for the rest of the run.
  void showsTextsAndOpenedLinksTurnPurple() {
    {
      CAboutDlg dialog(*m_app);
      QCOMPARE(MissingTexts(&dialog,
                            {"About Linkward", "Linkward Version " LINKWARD_VERSION,
                             "Checks HTTP links\n in HTML documents", "What Linkward Does", "Legal",
                             "OK", "linkward-support@linkward.example.com", LINKWARD_HOME_PAGE}),
               QStringList());
      QVERIFY(dialog.MailLink()->font().underline());
      ExpectColours(dialog, BLUE, BLUE);
      QTest::mouseClick(dialog.HomeLink(), Qt::LeftButton);
      QCOMPARE(m_opened, QList<QUrl>{QUrl(LINKWARD_HOME_PAGE)});
      QCOMPARE(m_app->m_bAboutLink2Visited, true);
      QCOMPARE(m_app->m_bAboutLink1Visited, false);
      ExpectColours(dialog, PURPLE, BLUE);
      // The mail address gets "mailto:" once, however often it is clicked.
      QTest::mouseClick(dialog.MailLink(), Qt::LeftButton);
      QTest::mouseClick(dialog.MailLink(), Qt::LeftButton);
      QCOMPARE(m_opened, (QList<QUrl>{QUrl(LINKWARD_HOME_PAGE), MAIL, MAIL}));
      QCOMPARE(m_app->m_bAboutLink1Visited, true);
    }
    CAboutDlg again(*m_app);
    ExpectColours(again, PURPLE, PURPLE);
  }

  void linksOpenTheirAddressAndAreVisitedOnlyOnceOpened() {
    // Only the program's own support address gets "mailto:".
    for (auto [text, url] :
         {std::pair{"someone@example.org", "someone@example.org"},
          {"http://example.org/linkward-support/", "http://example.org/linkward-support/"},
          {"linkward-support@example.org", "mailto:linkward-support@example.org"}}) {
      m_opened.clear();
      bool visited = false;
      CStaticLink link(text);
      link.m_pVisited = &visited;
      m_openSucceeds = false;  // a failed open changes nothing, and may be retried
      link.Click();
      QCOMPARE(visited, false);
      QCOMPARE(link.CurrentColor(), BLUE);
      m_openSucceeds = true;
      link.Click();
      QCOMPARE(visited, true);
      QCOMPARE(m_opened, (QList<QUrl>{QUrl(url), QUrl(url)}));
    }
  }

  void pointerIsHandWhileHoveringButNotJustAfterAClick() {
    bool visited = false;
    CStaticLink link("http://example.org/");
    link.m_pVisited = &visited;
    link.resize(200, 20);
    link.show();
    QVERIFY(QTest::qWaitForWindowExposed(&link));
    QTest::mouseMove(&link, QPoint(100, 10));
    QCOMPARE(link.cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseMove(&link, QPoint(300, 10));
    QCOMPARE(link.cursor().shape(), Qt::ArrowCursor);
    link.Click();
    QTest::mouseMove(&link, QPoint(100, 10));
    QCOMPARE(link.cursor().shape(), Qt::ArrowCursor);
  }

  void helpOpensAtTheSectionOfItsContext() {
    // The page is built into the program, so it is there from any build folder.
    InitLinkwardResources();
    QFile page(QUrl(HELP_PAGE_URL).path().prepend(':'));
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    for (const char* id : {"preferences", "repair", "export", "commands", "outcomes", "settings"})
      QVERIFY2(html.contains(QString("id=\"%1\"").arg(id)), id);

    // (The dialogs' Help buttons are the dialog tests'.)
    for (auto [context, fragment] : {std::pair{131209u, "repair"}, {0u, ""}}) {
      OpenHelp(context);
      HelpWindow* window = HelpWindow::Instance();
      QVERIFY(window);
      QVERIFY(QTest::qWaitForWindowExposed(window));
      QCOMPARE(window->source().fragment(), QString(fragment));
      QVERIFY(window->toPlainText().contains("Linkward Help"));
      // A section lies below the top of the page; the top is shown without one.
      QCOMPARE(window->verticalScrollBar()->value() > 0, *fragment != '\0');
    }
    QCOMPARE(QApplication::topLevelWidgets().count(HelpWindow::Instance()), 1);  // one window
    HelpWindow::Instance()->close();
  }
};

LINKWARD_TEST_MAIN(AboutTest)
#include "tst_about.moc"

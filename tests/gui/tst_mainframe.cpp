// The desktop program's main window as a user meets it: the remembered
// placement and pane height, the menu and toolbar, a whole test through
// Select File(s) against a loopback server, Stop, the enabled commands, and
// closing with unrepaired rows.
#include <QAbstractItemModelTester>
#include <QtTest>
#include <QtWidgets>
#include <memory>

#include "GuiTest.h"
#include "app/MainFrameRules.h"
#include "engine/LinkwardView.h"
#include "gui/LinkwardGuiApp.h"
#include "gui/LogPane.h"
#include "gui/MainFrame.h"
#include "gui/ProgressWindow.h"
#include "gui/QtFrame.h"
#include "gui/ResultsModel.h"
#include "gui/SelectFilesDialog.h"
#include "platform/AppDirs.h"
#include "results/ResultRows.h"
#include "settings/SettingsStore.h"
#include "support/HttpTestServer.h"
#include "support/LoopbackServer.h"
#include "support/ScratchDir.h"
#include "support/TempSettings.h"

using namespace linkward;

namespace {

// "/ok" answers 200, every other path 404.
LoopbackServer::Script OkOrMissing() {
  LoopbackServer::Script script;
  script.replyFor = [](const std::string& request) {
    return request.find(" /ok ") != std::string::npos ? "HTTP/1.0 200 OK\r\n\r\nfine"
                                                      : "HTTP/1.0 404 Not Found\r\n\r\n";
  };
  return script;
}

QString Url(const LoopbackServer& server, const char* path) {
  return QStringLiteral("http://127.0.0.1:%1%2").arg(server.Port()).arg(path);
}

std::string Anchor(const QString& url, const char* text) {
  return "<a href=\"" + url.toStdString() + "\">" + text + "</a>\n";
}

// The paths asked for, in order.
QStringList Paths(const LoopbackServer& server) {
  QStringList paths;
  for (const std::string& request : server.Requests())
    paths << QString::fromStdString(request).section(' ', 1, 1);
  return paths;
}

QStringList Texts(const QList<QAction*>& actions, bool tips = false) {
  QStringList texts;
  for (QAction* action : actions)
    texts << (action->isSeparator() ? "-" : tips ? action->toolTip() : action->text());
  return texts;
}

// The view's commands that are on, by their toolbar tips.
QStringList Enabled(CMainFrame* main) {
  QStringList on;
  for (QAction* action : {main->SelectFilesAction(), main->ExportAction(), main->RepairAction(),
                          main->PreferencesAction(), main->StopAction()})
    if (action->isEnabled()) on << action->toolTip();
  return on;
}

// The connection and method panes.
QStringList Panes(CMainFrame* main) {
  return {main->Pane(1)->text(), main->Pane(2)->text()};
}

// The list's rows, their four cells joined by '|'.
QStringList Rows(ResultsModel* model) {
  QStringList rows;
  for (int r = 0; r < model->rowCount(); ++r) {
    QStringList cells;
    for (int c = 0; c < 4; ++c) cells << model->index(r, c).data().toString();
    rows << cells.join('|');
  }
  return rows;
}

}  // namespace

class TestMainFrame : public QObject {
  Q_OBJECT

  std::unique_ptr<ScratchDir> m_dir;
  std::unique_ptr<CLinkwardGuiApp> m_app;
  QStringList m_boxes;
  QList<unsigned> m_beeps;
  Answer m_answer = Answer::Yes;

  // Starts the program on the store of this test; shows the window when asked.
  CMainFrame* Start(bool show = true) {
    m_app = std::make_unique<CLinkwardGuiApp>(*m_dir / "registry.db", m_dir->Path());
    if (!m_app->InitInstance()) return nullptr;
    CMainFrame* main = m_app->MainFrame();
    main->Frame().messageBoxHook = [this](const std::string& text, BoxStyle style) {
      m_boxes << QString::fromStdString(text);
      return ButtonsOf(style) == BoxStyle::YesNo ? m_answer : Answer::Ok;
    };
    main->Frame().beepHook = [this](BoxStyle type) { m_beeps << static_cast<unsigned>(type); };
    if (show) {
      main->show();
      if (!QTest::qWaitForWindowExposed(main)) return nullptr;
    }
    return main;
  }
  void Stop() {
    if (m_app) {
      if (CMainFrame* main = m_app->MainFrame()) main->Frame().messageBoxHook = nullptr;
      m_app->ExitInstance();
    }
    m_app.reset();
  }
  CLinkwardView& View() { return m_app->MainFrame()->View(); }
  CSettingsStore& Settings() { return *m_app->m_pSettings; }
  QRect StoredPlacement() {
    const auto get = [&](const char* name) { return Settings().GetInt("Screen", name, -1); };
    return QRect(get("x"), get("y"), get("cx"), get("cy"));
  }
  void SetProfileHeight(int height) {
    QSettings(CLinkwardGuiApp::ProfilePath(), QSettings::IniFormat).setValue("Screen/High", height);
  }

  // Runs Select File(s), filling the dialog as a user would and pressing OK
  // (or Cancel). With `offered` the dialog comes for a file named on the
  // command line, shows it, and nothing runs before OK.
  void SelectFiles(const std::string& path, bool allFiles, bool full = false,
                   const QString& offered = {}, bool ok = true) {
    bool seen = false;
    QTimer::singleShot(0, this, [&] {
      auto* dialog = qobject_cast<SelectFilesDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      seen = true;
      if (!offered.isEmpty()) {
        QCOMPARE(dialog->PathEdit()->text(), QString::fromStdString(path));
        QVERIFY(!View().IsTestRunning());
      }
      if (!ok) return dialog->reject();
      QCOMPARE(dialog->windowTitle(), QStringLiteral("Select File(s) to Test"));
      QCOMPARE(dialog->FilterBox()->text(),
               QStringLiteral("Only test files with extensions like \"htm\" or similar"));
      dialog->PathEdit()->setText(QString::fromStdString(path));
      if (dialog->AllFilesBox()->isChecked() != allFiles) dialog->AllFilesBox()->click();
      QCOMPARE(dialog->FullCheckBox()->text(),
               QStringLiteral("Full check: also https://, local and #fragment links, many at a "
                              "time"));
      if (dialog->FullCheckBox()->isChecked() != full) dialog->FullCheckBox()->click();
      dialog->OkButton()->click();
    });
    if (offered.isEmpty())
      m_app->MainFrame()->SelectFilesAction()->trigger();
    else
      m_app->MainFrame()->OfferFile(offered);
    QVERIFY(seen);
  }

 private slots:
  void init() {
    m_dir = std::make_unique<ScratchDir>();
    // The profile lives in this program's own config directory; each case starts without one.
    QFile::remove(CLinkwardGuiApp::ProfilePath());
    m_boxes.clear();
    m_beeps.clear();
    m_answer = Answer::Yes;
  }
  void cleanup() {
    Stop();
    m_dir.reset();
  }

  void identitySetsNoDisplayNameThatWouldDecorateTitles() {
    CLinkwardGuiApp::SetIdentity();
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Linkward"));
    // A display name set of its own would stay, and Qt would append it to
    // every window title ("Preferences — Linkward"); unset, it follows the name.
    QCoreApplication::setApplicationName(QStringLiteral("Other"));
    QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("Other"));
    CLinkwardGuiApp::SetIdentity();
  }

  void placementIsStoredBeforeShowAndUsed() {
    const QSize screen = QGuiApplication::primaryScreen()->size();
    const WindowPlacement centred = DefaultPlacement(screen.width(), screen.height());
    // Placement stored beforehand (none at first start), and whether it fits.
    for (auto [stored, fits] : {std::pair{QRect(), false}, {QRect(20, 30, 500, 400), true}}) {
      cleanup();
      init();
      if (!stored.isNull()) {
        TempSettings seed(m_dir->Path());
        seed.Store().SetInt("Screen", "x", stored.x());
        seed.Store().SetInt("Screen", "y", stored.y());
        seed.Store().SetInt("Screen", "cx", stored.width());
        seed.Store().SetInt("Screen", "cy", stored.height());
      }
      const QRect expected = fits ? stored : QRect(centred.x, centred.y, centred.cx, centred.cy);
      CMainFrame* main = Start(false);
      QVERIFY(main && !main->isVisible());
      QCOMPARE(StoredPlacement(), expected);
      main->show();
      QVERIFY(QTest::qWaitForWindowExposed(main));
      QCOMPARE(main->windowTitle(), QStringLiteral("Linkward"));
      QCOMPARE(QRect(main->pos(), main->size()), expected);
      // Moving and resizing are stored; partly off the top left edge counts as 0.
      main->resize(520, 410);
      main->move(-30, -20);
      QTRY_COMPARE(StoredPlacement(), QRect(0, 0, 520, 410));
    }
  }

  void splitterTopHeightComesFromTheProfileAndFollowsResizes() {
    SetProfileHeight(123);
    CMainFrame* main = Start();
    QVERIFY(main);
    QCOMPARE(main->Splitter()->sizes().value(0), 123);
    QCOMPARE(main->ResultsView()->height(), 123);
    // Dragging the bar writes the new height each time.
    const int total = main->Splitter()->sizes().value(0) + main->Splitter()->sizes().value(1);
    for (int height : {200, 150}) {
      main->Splitter()->setSizes({height, total - height});
      QTRY_COMPARE(m_app->Profile()->value("Screen/High").toInt(), height);
    }
    Stop();
    SetProfileHeight(100000);  // does not fit: half the client area
    main = Start();
    QVERIFY(main);
    const QList<int> sizes = main->Splitter()->sizes();
    QVERIFY2(qAbs(sizes[0] - sizes[1]) <= 8,
             qPrintable(QString("%1 %2").arg(sizes[0]).arg(sizes[1])));
  }

  void menusToolbarPanesAndStartState() {
    CMainFrame* main = Start();
    QVERIFY(main);
    const QList<QAction*> menus = main->menuBar()->actions();
    QCOMPARE(Texts(menus), (QStringList{"&File", "&View", "&Linkward", "&Help"}));
    QCOMPARE(
        Texts(menus[0]->menu()->actions()),
        (QStringList{"&Select File(s)...", "&Export Results...", "Repair Failed &Links...", "-",
                     "&Print...\tCtrl+P", "Print Pre&view", "P&rint Setup...", "-", "E&xit"}));
    QCOMPARE(Texts(menus[1]->menu()->actions()), (QStringList{"&Toolbar", "&Status Bar"}));
    QCOMPARE(Texts(menus[2]->menu()->actions()), (QStringList{"&Preferences...", "&Stop Test"}));
    QCOMPARE(Texts(menus[3]->menu()->actions()),
             (QStringList{"&Help Topics", "-", "&About Linkward..."}));
    QCOMPARE(main->PrintAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    QCOMPARE(Texts(main->ToolBar()->actions(), true),
             (QStringList{"Test File", "Export", "Repair", "-", "Print", "-", "Preferences", "Stop",
                          "-", "About"}));
    for (QAction* action : main->ToolBar()->actions())
      QVERIFY(action->isSeparator() || !action->icon().isNull());
    const std::pair<QAction*, const char*> tips[] = {
        {main->SelectFilesAction(), "Select a file to test"},
        {main->ExportAction(), "Export Test Results after choosing format"},
        {main->RepairAction(), "Remove bad links in source file"},
        {main->PreferencesAction(), "Linkward Preferences"},
        {main->StopAction(), "Stop"}};
    for (auto [action, tip] : tips) QCOMPARE(action->statusTip(), QString(tip));
    QCOMPARE(main->Pane(0)->text(), QStringLiteral("For Help, press F1"));
    QCOMPARE(Panes(main), (QStringList{QString("Connection Status") + QString(41, ' '),
                                       QString("HTTP Method Status") + QString(17, ' ')}));
    QCOMPARE(Enabled(main), (QStringList{"Test File", "Preferences"}));  // before a test
    // Nothing stored: each column gets 9/40 of the list's width; the log uses the list's font.
    const int width = main->ResultsView()->viewport()->width();
    for (int col = 0; col < 4; ++col)
      QCOMPARE(main->ResultsView()->columnWidth(col), width * 9 / 40);
    QCOMPARE(main->Log()->font(), main->ResultsView()->font());
  }

  void wholeTestThroughSelectFilesForAFileNamedOnTheCommandLine() {
    LoopbackServer server(OkOrMissing());
    QVERIFY(QDir(QString::fromStdString(m_dir->Path())).mkdir("site"));
    const std::string first = m_dir->WriteFile(
        "site/a.htm", "<html><body>\n" + Anchor(Url(server, "/ok"), "Fine page") +
                          Anchor(Url(server, "/missing-one"), "Lost page") + "</body></html>\n");
    const std::string second =
        m_dir->WriteFile("site/b.htm", Anchor(Url(server, "/missing-two"), "Gone too"));
    const QString firstName = QString::fromStdString(first);
    const QString secondName = QString::fromStdString(second);

    CMainFrame* main = Start();
    QVERIFY(main);
    const QString before = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(m_dir->Path()));  // given relative, as a shell may
    SelectFiles(first, true, false, "site/a.htm", false);
    QCOMPARE(Settings().GetString("FileSel", "Starter", ""), std::string());  // only after OK
    SelectFiles(first, true, false, "site/a.htm");
    QDir::setCurrent(before);
    QVERIFY(View().IsTestRunning());
    QPointer<ProgressWindow> window = main->Frame().Progress();
    QVERIFY(window && window->isVisible() && !window->isModal());
    QCOMPARE(window->windowTitle(), QStringLiteral("Testing Progress"));
    QVERIFY(!(window->windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY((window->frameGeometry().center() - main->frameGeometry().center()).manhattanLength() <
            8);
    // Before the first tick its fields are empty; then file 1 of 2.
    QCOMPARE(window->CurrentFile()->text(), QString());
    QTRY_COMPARE(window->FileIndex()->text(), QStringLiteral("1"));
    QCOMPARE(window->FileTotal()->text(), QStringLiteral("2"));
    QCOMPARE(window->CurrentFile()->text(), firstName);
    QVERIFY(!window->close());  // only the test run closes it
    QVERIFY(main->ActivityBar() && main->ActivityBar()->isVisible());

    QTRY_VERIFY_WITH_TIMEOUT(!View().IsTestRunning(), 30000);
    QVERIFY(!main->Frame().Progress());
    QTRY_VERIFY(window.isNull());  // the window is gone, not just hidden

    // Two reported rows, in file order, in the list.
    QCOMPARE(Rows(main->Model()),
             (QStringList{
                 Url(server, "/missing-one") + "|HTTP Code 404 Not Found|Lost page|" + firstName,
                 Url(server, "/missing-two") + "|HTTP Code 404 Not Found|Gone too|" + secondName}));
    QCOMPARE(Paths(server), (QStringList{"/ok", "/missing-one", "/missing-two"}));

    const QString log = main->Log()->Text();
    QVERIFY2(log.startsWith("Start of test "), qPrintable(log));
    QVERIFY(log.contains("Testing: " + firstName + "\n"));
    QVERIFY(log.contains("Results for " + firstName +
                         ": URLs tested: 2. URL errors: 1.\n\nTesting: " + secondName + "\n"));
    QVERIFY2(log.contains("Results for " + secondName +
                          ": URLs tested: 1. URL errors: 1.\n\nEnd of test: "),
             qPrintable(log));
    QVERIFY(!log.contains('\r'));

    QCOMPARE(Panes(main), (QStringList{"Search Complete", ""}));
    QCOMPARE(m_beeps, QList<unsigned>{0});
    QCOMPARE(main->ActivityBar()->value(), 0);
    QCOMPARE(Enabled(main), (QStringList{"Test File", "Export", "Repair", "Preferences"}));
    // The choices are remembered for the next test.
    QCOMPARE(Settings().GetString("FileSel", "Starter", ""), first);
    QCOMPARE(Settings().GetInt("FileSel", "AllFiles", 0), 1);
  }

  void fullCheckThroughSelectFiles() {
    // Two hosts; "/ok..." answers 200, anything else 404, after a pause so
    // the window is seen while checks are waiting.
    auto handler = [](const std::string&, const std::string& path) {
      HttpTestServer::Answer answer(path.rfind("/ok", 0) == 0 ? 200 : 404);
      answer.delayMs = 20;
      return answer;
    };
    HttpTestServer two("127.0.0.2", handler);
    HttpTestServer three("127.0.0.3", handler);
    QVERIFY(QDir(QString::fromStdString(m_dir->Path())).mkdir("site"));
    std::string links;
    for (int i = 0; i < 40; ++i) {
      const HttpTestServer& server = i % 2 ? three : two;
      links += Anchor(QString::fromStdString(server.Url("/ok" + std::to_string(i))), "fine");
    }
    const std::string first = m_dir->WriteFile(
        "site/a.htm", "<h1 id=top2>x</h1>\n" + links +
                          Anchor(QString::fromStdString(two.Url("/gone")), "Gone") +
                          Anchor("b.htm#nowhere", "No such place") +
                          Anchor(QString::fromStdString(three.Url("/private/x")), "Skipped"));
    const std::string second = m_dir->WriteFile(
        "site/b.htm", Anchor("a.htm#top2", "Back") + Anchor("c.htm", "Never written"));
    const QString firstName = QString::fromStdString(first);
    const QString secondName = QString::fromStdString(second);

    {  // the stored choices are read at start
      TempSettings seed(m_dir->Path());
      seed.Store().SetString("Settings", "SkipLinks", "/private/");
      seed.Store().SetInt("Settings", "FullPerHost", 4);
    }
    CMainFrame* main = Start();
    QVERIFY(main);
    SelectFiles(first, true, true);
    QVERIFY(View().IsTestRunning() && View().FullCheck());
    QCOMPARE(Settings().GetInt("FileSel", "FullCheck", 0), 1);
    QPointer<ProgressWindow> window = main->Frame().Progress();
    QVERIFY(window && window->isVisible());
    QTRY_COMPARE(window->FileTotal()->text(), QStringLiteral("2"));
    QCOMPARE(main->Pane(1)->text(), QStringLiteral("Checking links"));
    QTRY_VERIFY(main->Pane(2)->text().endsWith(" remote checks waiting"));
    QCOMPARE(Enabled(main), (QStringList{"Preferences", "Stop"}));

    QTRY_VERIFY_WITH_TIMEOUT(!View().IsTestRunning(), 30000);
    QTRY_VERIFY(window.isNull());
    QCOMPARE(two.MaxOpen() <= 4 && three.MaxOpen() <= 4, true);
    QCOMPARE(three.RequestCount("/private/x"), 0);
    const QStringList expected = {
        QString::fromStdString(two.Url("/gone")) + "|HTTP Code 404 Not Found|Gone|" + firstName,
        "b.htm#nowhere|Fragment Not Found|No such place|" + firstName,
        "c.htm|Local File Not Found|Never written|" + secondName};
    QCOMPARE(Rows(main->Model()), expected);
    const QString log = main->Log()->Text();
    QVERIFY2(log.contains("Results for " + firstName +
                          ": URLs tested: 42. URL errors: 2.\n\nTesting: " + secondName + "\n"),
             qPrintable(log));
    QVERIFY(log.contains("Results for " + secondName +
                         ": URLs tested: 2. URL errors: 1.\n\nEnd of test: "));
    QCOMPARE(Panes(main), (QStringList{"Search Complete", ""}));
    QCOMPARE(Enabled(main), (QStringList{"Test File", "Export", "Repair", "Preferences"}));
  }

  void stopDuringAProbeThenCloseDuringATest() {
    LoopbackServer server(LoopbackServer::NeverAnswer());
    const std::string page =
        m_dir->WriteFile("slow.htm", Anchor(Url(server, "/silent"), "Never answers") +
                                         Anchor(Url(server, "/ok"), "x"));
    CMainFrame* main = Start();
    QVERIFY(main);
    SelectFiles(page, false);
    QTRY_VERIFY_WITH_TIMEOUT(View().AwaitingReply(), 10000);
    QTRY_COMPARE(Paths(server), QStringList{"/silent"});
    QCOMPARE(Enabled(main), (QStringList{"Preferences", "Stop"}));
    main->StopAction()->trigger();

    QVERIFY(!View().IsTestRunning());
    QVERIFY(!main->Frame().Progress());
    QVERIFY(main->Log()->Text().endsWith("Testing Stopped by User\n"));
    QCOMPARE(Panes(main), (QStringList{"Connection Status", "HTTP Method Status"}));
    QVERIFY(m_beeps.isEmpty());
    QCOMPARE(main->Model()->rowCount(), 0);
    QCOMPARE(Enabled(main), (QStringList{"Test File", "Repair", "Preferences"}));
    QTest::qWait(300);  // nothing more happens after Stop
    QCOMPARE(server.ConnectionCount(), 1);

    // A second test, and the window closed while it waits: no rows, no
    // question; the progress window, the scratch copies and their directory go.
    SelectFiles(page, false);
    QTRY_VERIFY_WITH_TIMEOUT(View().AwaitingReply(), 10000);
    QPointer<ProgressWindow> window = main->Frame().Progress();
    QVERIFY(window);
    const QString scratch = QString::fromStdString(appdirs::RuntimeDir());
    QVERIFY(QDir(scratch).exists());
    QVERIFY(main->close());
    QVERIFY(m_boxes.isEmpty());
    Stop();
    QVERIFY(window.isNull());
    QVERIFY(!QDir(scratch).exists());
  }

  void rowsUnderTheModelTesterAcceleratorsAndCloseWithUnrepairedRows() {
    CMainFrame* main = Start();
    QVERIFY(main);
    ResultsModel* model = main->Model();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    // The last text is not UTF-8: it shows as Latin-1 rather than being lost.
    for (const char* url : {"http://a.example/", "http://b.example/", "http://c.example/caf\xe9"}) {
      View().AddResultText(url, RowStep::Url);
      View().AddResultText("HTTP Code 404 Not Found", RowStep::Reason);
      View().AddResultText("site", RowStep::Site);
    }
    QStringList headers;
    for (int col = 0; col < model->columnCount(); ++col)
      headers << model->headerData(col, Qt::Horizontal).toString();
    QCOMPARE(headers, (QStringList{"URL", "Reason", "Site Name", "File Name"}));
    QVERIFY(!(model->flags(model->index(0, 0)) & Qt::ItemIsEditable));
    QVERIFY(main->ExportAction()->isEnabled());
    View().AppendLog("kept");  // a line without its end gets one
    const QDir dir(QString::fromStdString(m_dir->Path()));
    const QStringList files = dir.entryList(QDir::Files);
    for (Qt::Key key : {Qt::Key_N, Qt::Key_O, Qt::Key_S})
      QTest::keyClick(main, key, Qt::ControlModifier);
    QCOMPARE(main->Model()->rowCount(), 3);
    QCOMPARE(main->Log()->Text(), QStringLiteral("kept\n"));
    QCOMPARE(dir.entryList(QDir::Files), files);
    QVERIFY(m_boxes.isEmpty());

    View().Rows().SetItemData(1, WithRepairedMark(0));
    for (int col = 0; col < 4; ++col) main->ResultsView()->setColumnWidth(col, 101 + col);

    m_answer = Answer::No;
    QVERIFY(!main->close());
    QVERIFY(main->isVisible());
    QCOMPARE(m_boxes,
             QStringList{"Not all of the bad URLs have been repaired\n\nDo you want to quit?"});
    // The repaired row is gone already; the widths are not stored.
    QCOMPARE(Rows(model), (QStringList{"http://a.example/|HTTP Code 404 Not Found|site|",
                                       QString::fromUtf8("http://c.example/caf\u00e9|HTTP Code 404 "
                                                         "Not Found|site|")}));
    QCOMPARE(Settings().GetInt("Grid", "col0", -1), -1);
    QCOMPARE(main->Frame().WaitCursorDepth(), 0);

    m_answer = Answer::Yes;
    QVERIFY(main->close());
    QCOMPARE(m_boxes.size(), 2);
    for (int col = 0; col < 4; ++col)
      QCOMPARE(Settings().GetInt("Grid", "col" + std::to_string(col), -1), 101 + col);
    // The next start shows the stored widths.
    Stop();
    main = Start();
    QVERIFY(main);
    for (int col = 0; col < 4; ++col) QCOMPARE(main->ResultsView()->columnWidth(col), 101 + col);
    View().AddResultText("http://d.example/", RowStep::Url);
    View().Rows().DeleteAllItems();
    QCOMPARE(main->Model()->rowCount(), 0);
    QVERIFY(!main->ExportAction()->isEnabled());
  }
};

LINKWARD_TEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"

// The desktop program's main window as a user meets it: start-up on an empty
// store, the remembered placement and pane height, the menu and toolbar, a
// whole test through Select File(s) against a loopback server, Stop, the
// enabled commands, and closing with unrepaired rows.
#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QtTest>
#include <memory>

#include "app/MainFrameRules.h"
#include "engine/LinkwardView.h"
#include "gui/LinkwardGuiApp.h"
#include "gui/LogPane.h"
#include "gui/MainFrame.h"
#include "gui/ProgressWindow.h"
#include "gui/QtEventLoop.h"
#include "gui/QtFrame.h"
#include "gui/ResultsModel.h"
#include "gui/SelectFilesDialog.h"
#include "platform/AppDirs.h"
#include "results/ResultRows.h"
#include "settings/SelectFilesDlg.h"
#include "settings/SettingsStore.h"

namespace {

// An HTTP server on 127.0.0.1 on the test's own event loop: "/ok" answers
// 200, a path starting "/missing" 404, "/silent" never answers.
class LoopbackHttp : public QObject {
 public:
  LoopbackHttp() {
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Serve(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      }
    });
  }
  quint16 Port() const { return m_server.serverPort(); }
  QString Url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(Port()).arg(path);
  }
  QStringList requests;

 private:
  void Serve(QTcpSocket* socket) {
    // The request so far lives on the socket itself, so a new socket that
    // happens to get a freed one's address starts empty.
    if (socket->property("served").toBool()) {
      socket->readAll();
      return;
    }
    const QByteArray buffer = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", buffer);
    if (!buffer.contains("\r\n\r\n")) return;
    socket->setProperty("served", true);
    const QByteArray path = buffer.split(' ').value(1);
    requests << QString::fromLatin1(path);
    if (path == "/silent") return;
    socket->write(path == "/ok" ? "HTTP/1.0 200 OK\r\n\r\nfine" : "HTTP/1.0 404 Not Found\r\n\r\n");
    socket->disconnectFromHost();
  }
  QTcpServer m_server;
};

void WriteFile(const QString& path, const QByteArray& text) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(text);
}

QByteArray Anchor(const QString& url, const char* text) {
  return "<a href=\"" + url.toLatin1() + "\">" + text + "</a>\n";
}

QStringList MenuTexts(QMenu* menu) {
  QStringList texts;
  for (QAction* action : menu->actions()) {
    texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
  }
  return texts;
}

}  // namespace

class TestMainFrame : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void firstStartOpensCentredAtThreeQuartersStoredBeforeShow();
  void storedPlacementIsUsedOrRejected();
  void moveAndResizeAreStored();
  void splitterTopHeightComesFromTheProfileAndFollowsResizes();
  void menuToolbarAndStatusPanesAreAsDesigned();
  void viewMenuHidesAndShowsTheBars();
  void columnWidthsComeFromTheStoreOrDefault();
  void wholeTestThroughSelectFiles();
  void stopDuringAProbe();
  void closingDuringATestEndsIt();
  void chosenFileMissingStartsNoTest();
  void closeWithUnrepairedRowsAsksAndStoresWidths();
  void modelFollowsTheRowsUnderTheModelTester();
  void logPaneKeepsEmptyLinesAndEditKeysCopy();
  void fileAcceleratorsChangeNothing();

 private:
  // Starts the program on the store of this test; shows the window when asked.
  CMainFrame* Start(bool show = true);
  CLinkwardView& View() { return m_app->MainFrame()->View(); }
  // Runs Select File(s), filling the dialog as a user would.
  void SelectFiles(const QString& path, bool allFiles);

  std::unique_ptr<QTemporaryDir> m_dir;
  std::unique_ptr<CLinkwardGuiApp> m_app;
  QStringList m_boxes;
  QList<unsigned> m_beeps;
  int m_answer = IDYES;
};

void TestMainFrame::init() {
  m_dir = std::make_unique<QTemporaryDir>();
  QVERIFY(m_dir->isValid());
  // The profile lives in the program's config directory, which this test
  // program has to itself; each case starts without one.
  QFile::remove(CLinkwardGuiApp::ProfilePath());
  m_boxes.clear();
  m_beeps.clear();
  m_answer = IDYES;
}

void TestMainFrame::cleanup() {
  if (m_app) {
    if (CMainFrame* main = m_app->MainFrame()) main->Frame().messageBoxHook = nullptr;
    m_app->ExitInstance();
  }
  m_app.reset();
  m_dir.reset();
}

CMainFrame* TestMainFrame::Start(bool show) {
  m_app = std::make_unique<CLinkwardGuiApp>(m_dir->filePath("registry.db").toStdString(),
                                            m_dir->path().toStdString());
  if (!m_app->InitInstance()) return nullptr;
  CMainFrame* main = m_app->MainFrame();
  main->Frame().messageBoxHook = [this](const std::string& text, unsigned style) {
    m_boxes << QString::fromStdString(text);
    if (style & MB_YESNO) return m_answer;
    return IDOK;
  };
  main->Frame().beepHook = [this](unsigned type) { m_beeps << type; };
  if (show) {
    main->show();
    if (!QTest::qWaitForWindowExposed(main)) return nullptr;
  }
  return main;
}

void TestMainFrame::SelectFiles(const QString& path, bool allFiles) {
  bool seen = false;
  QTimer::singleShot(0, this, [&] {
    auto* dialog = qobject_cast<SelectFilesDialog*>(QApplication::activeModalWidget());
    QVERIFY(dialog);
    seen = true;
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Select File(s) to Test"));
    QCOMPARE(dialog->FilterBox()->text(),
             QStringLiteral("Only test files with extensions like \"htm\" or similar"));
    dialog->PathEdit()->setText(path);
    if (dialog->AllFilesBox()->isChecked() != allFiles) dialog->AllFilesBox()->click();
    dialog->OkButton()->click();
  });
  m_app->MainFrame()->SelectFilesAction()->trigger();
  QVERIFY(seen);
}

void TestMainFrame::firstStartOpensCentredAtThreeQuartersStoredBeforeShow() {
  CMainFrame* main = Start(false);
  QVERIFY(main);
  const QSize screen = QGuiApplication::primaryScreen()->size();
  const WindowPlacement expected = DefaultPlacement(screen.width(), screen.height());
  CSettingsStore& settings = *m_app->m_pSettings;
  // Stored before the window is shown.
  QVERIFY(!main->isVisible());
  QCOMPARE(settings.GetInt("Screen", "x", -1), expected.x);
  QCOMPARE(settings.GetInt("Screen", "y", -1), expected.y);
  QCOMPARE(settings.GetInt("Screen", "cx", -1), expected.cx);
  QCOMPARE(settings.GetInt("Screen", "cy", -1), expected.cy);
  QCOMPARE(expected.cx, screen.width() * 3 / 4);

  main->show();
  QVERIFY(QTest::qWaitForWindowExposed(main));
  QCOMPARE(main->windowTitle(), QStringLiteral("Linkward"));
  QCOMPARE(main->pos(), QPoint(expected.x, expected.y));
  QCOMPARE(main->size(), QSize(expected.cx, expected.cy));
}

void TestMainFrame::storedPlacementIsUsedOrRejected() {
  const QSize screen = QGuiApplication::primaryScreen()->size();
  {
    CSqliteKeyStore keys(m_dir->filePath("registry.db").toStdString());
    CSettingsStore settings(keys, m_dir->path().toStdString());
    IKeyStore::Key key;
    int disposition = 0;
    settings.OpenRoot(&key, &disposition, HKEY_LOCAL_MACHINE,
                      "Software\\Quillfen Software\\Linkward");
    settings.CloseKey(&key);
    settings.SetInt("Screen", "x", screen.width() + 1);  // beyond the right edge
    settings.SetInt("Screen", "y", 10);
    settings.SetInt("Screen", "cx", 300);
    settings.SetInt("Screen", "cy", 200);
  }
  CMainFrame* main = Start(false);
  QVERIFY(main);
  const WindowPlacement expected = DefaultPlacement(screen.width(), screen.height());
  QCOMPARE(main->InitialPlacement(), expected);
  QCOMPARE(m_app->m_pSettings->GetInt("Screen", "x", -1), expected.x);
  QCOMPARE(m_app->m_pSettings->GetInt("Screen", "cx", -1), expected.cx);
  cleanup();
  init();

  // A placement that fits is used as stored.
  {
    CSqliteKeyStore keys(m_dir->filePath("registry.db").toStdString());
    CSettingsStore settings(keys, m_dir->path().toStdString());
    IKeyStore::Key key;
    int disposition = 0;
    settings.OpenRoot(&key, &disposition, HKEY_LOCAL_MACHINE,
                      "Software\\Quillfen Software\\Linkward");
    settings.CloseKey(&key);
    settings.SetInt("Screen", "x", 20);
    settings.SetInt("Screen", "y", 30);
    settings.SetInt("Screen", "cx", 500);
    settings.SetInt("Screen", "cy", 400);
  }
  main = Start(true);
  QVERIFY(main);
  QCOMPARE(main->pos(), QPoint(20, 30));
  QCOMPARE(main->size(), QSize(500, 400));
}

void TestMainFrame::moveAndResizeAreStored() {
  CMainFrame* main = Start();
  QVERIFY(main);
  main->move(40, 50);
  main->resize(520, 410);
  CSettingsStore& settings = *m_app->m_pSettings;
  QTRY_COMPARE(settings.GetInt("Screen", "x", -1), 40);
  QTRY_COMPARE(settings.GetInt("Screen", "cx", -1), 520);
  QCOMPARE(settings.GetInt("Screen", "y", -1), 50);
  QCOMPARE(settings.GetInt("Screen", "cy", -1), 410);
  // Partly off the top left edge: stored as 0.
  main->move(-30, -20);
  QTRY_COMPARE(settings.GetInt("Screen", "x", -1), 0);
  QCOMPARE(settings.GetInt("Screen", "y", -1), 0);
}

void TestMainFrame::splitterTopHeightComesFromTheProfileAndFollowsResizes() {
  {
    QSettings profile(CLinkwardGuiApp::ProfilePath(), QSettings::IniFormat);
    profile.setValue("Screen/High", 123);
  }
  CMainFrame* main = Start();
  QVERIFY(main);
  QCOMPARE(main->Splitter()->sizes().value(0), 123);
  QCOMPARE(main->ResultsView()->height(), 123);

  // Dragging the bar (or resizing) writes the new height each time.
  const int total = main->Splitter()->sizes().value(0) + main->Splitter()->sizes().value(1);
  main->Splitter()->setSizes({200, total - 200});
  QTRY_COMPARE(m_app->Profile()->value("Screen/High").toInt(), 200);
  main->Splitter()->setSizes({150, total - 150});
  QTRY_COMPARE(m_app->Profile()->value("Screen/High").toInt(), 150);
  cleanup();

  // A height that does not fit gives half the client area.
  init();
  {
    QSettings profile(CLinkwardGuiApp::ProfilePath(), QSettings::IniFormat);
    profile.setValue("Screen/High", 100000);
  }
  main = Start();
  QVERIFY(main);
  const QList<int> sizes = main->Splitter()->sizes();
  QVERIFY2(qAbs(sizes[0] - sizes[1]) <= 8,
           qPrintable(QStringLiteral("%1 %2").arg(sizes[0]).arg(sizes[1])));
}

void TestMainFrame::menuToolbarAndStatusPanesAreAsDesigned() {
  CMainFrame* main = Start();
  QVERIFY(main);
  QStringList titles;
  QList<QMenu*> menus;
  for (QAction* action : main->menuBar()->actions()) {
    titles << action->text();
    menus << action->menu();
  }
  QCOMPARE(titles, (QStringList{"&File", "&View", "&Linkward", "&Help"}));
  QCOMPARE(MenuTexts(menus[0]),
           (QStringList{"&Select File(s)...", "&Export Results...", "Repair Failed &Links...", "-",
                        "&Print...\tCtrl+P", "Print Pre&view", "P&rint Setup...", "-", "E&xit"}));
  QCOMPARE(MenuTexts(menus[1]), (QStringList{"&Toolbar", "&Status Bar"}));
  QCOMPARE(MenuTexts(menus[2]), (QStringList{"&Preferences...", "&Stop Test"}));
  QCOMPARE(MenuTexts(menus[3]), (QStringList{"&Help Topics", "-", "&About Linkward..."}));
  QCOMPARE(main->PrintAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));

  QStringList tools;
  for (QAction* action : main->ToolBar()->actions()) {
    tools << (action->isSeparator() ? QStringLiteral("-") : action->toolTip());
    if (!action->isSeparator()) QVERIFY(!action->icon().isNull());
  }
  QCOMPARE(tools, (QStringList{"Test File", "Export", "Repair", "-", "Print", "-", "Preferences",
                               "Stop", "-", "About"}));
  QCOMPARE(main->SelectFilesAction()->statusTip(), QStringLiteral("Select a file to test"));
  QCOMPARE(main->ExportAction()->statusTip(),
           QStringLiteral("Export Test Results after choosing format"));
  QCOMPARE(main->RepairAction()->statusTip(), QStringLiteral("Remove bad links in source file"));
  QCOMPARE(main->PreferencesAction()->statusTip(), QStringLiteral("Linkward Preferences"));
  QCOMPARE(main->StopAction()->statusTip(), QStringLiteral("Stop"));

  QCOMPARE(main->Pane(0)->text(), QStringLiteral("For Help, press F1"));
  QCOMPARE(main->Pane(1)->text(), QString("Connection Status") + QString(41, ' '));
  QCOMPARE(main->Pane(2)->text(), QString("HTTP Method Status") + QString(17, ' '));
  // Pane 0 stretches; panes 1 and 2 fit their sizing texts; pane 3 is small
  // and at the right end.
  QVERIFY(main->Pane(0)->width() > main->Pane(3)->width());
  const QFontMetrics metrics(main->statusBar()->font());
  QVERIFY(main->Pane(1)->width() >= metrics.horizontalAdvance(main->Pane(1)->text()));
  QVERIFY(main->Pane(1)->width() > main->Pane(2)->width());
  QVERIFY(main->Pane(3)->x() > main->Pane(2)->x());
  QVERIFY(main->Pane(3)->width() < 60);

  // Before a test: only Select File(s) and Preferences of the view's commands.
  QVERIFY(main->SelectFilesAction()->isEnabled());
  QVERIFY(main->PreferencesAction()->isEnabled());
  QVERIFY(!main->StopAction()->isEnabled());
  QVERIFY(!main->ExportAction()->isEnabled());
  QVERIFY(!main->RepairAction()->isEnabled());
}

void TestMainFrame::viewMenuHidesAndShowsTheBars() {
  CMainFrame* main = Start();
  QVERIFY(main);
  QAction* toolbar = main->menuBar()->actions()[1]->menu()->actions()[0];
  QAction* status = main->menuBar()->actions()[1]->menu()->actions()[1];
  QVERIFY(toolbar->isCheckable() && toolbar->isChecked());
  QVERIFY(status->isCheckable() && status->isChecked());
  toolbar->trigger();
  QVERIFY(!main->ToolBar()->isVisible());
  QVERIFY(!toolbar->isChecked());
  status->trigger();
  QVERIFY(!main->statusBar()->isVisible());
  toolbar->trigger();
  status->trigger();
  QVERIFY(main->ToolBar()->isVisible());
  QVERIFY(main->statusBar()->isVisible());
}

void TestMainFrame::columnWidthsComeFromTheStoreOrDefault() {
  CMainFrame* main = Start();
  QVERIFY(main);
  const int width = main->ResultsView()->viewport()->width();
  for (int col = 0; col < 4; ++col) QCOMPARE(main->ResultsView()->columnWidth(col), width * 9 / 40);
  QCOMPARE(main->Log()->font(), main->ResultsView()->font());
  cleanup();

  init();
  {
    CSqliteKeyStore keys(m_dir->filePath("registry.db").toStdString());
    CSettingsStore settings(keys, m_dir->path().toStdString());
    IKeyStore::Key key;
    int disposition = 0;
    settings.OpenRoot(&key, &disposition, HKEY_LOCAL_MACHINE,
                      "Software\\Quillfen Software\\Linkward");
    settings.CloseKey(&key);
    StoreColumnWidths(settings, {90, 80, 70, 60});
  }
  main = Start();
  QVERIFY(main);
  QCOMPARE(main->ResultsView()->columnWidth(0), 90);
  QCOMPARE(main->ResultsView()->columnWidth(3), 60);
}

void TestMainFrame::wholeTestThroughSelectFiles() {
  LoopbackHttp server;
  QVERIFY(QDir(m_dir->path()).mkdir("site"));
  const QString first = m_dir->filePath("site/a.htm");
  const QString second = m_dir->filePath("site/b.htm");
  WriteFile(first, "<html><body>\n" + Anchor(server.Url("/ok"), "Fine page") +
                       Anchor(server.Url("/missing-one"), "Lost page") + "</body></html>\n");
  WriteFile(second, Anchor(server.Url("/missing-two"), "Gone too"));

  CMainFrame* main = Start();
  QVERIFY(main);
  QPointer<ProgressWindow> progress;
  bool sawRunningState = false;
  QTimer watcher;
  connect(&watcher, &QTimer::timeout, this, [&] {
    if (ProgressWindow* window = main->Frame().Progress()) {
      progress = window;
      if (View().IsTestRunning()) {
        sawRunningState = !main->SelectFilesAction()->isEnabled() &&
                          main->StopAction()->isEnabled() && !main->RepairAction()->isEnabled();
      }
    }
  });
  watcher.start(5);
  SelectFiles(first, true);
  QVERIFY(View().IsTestRunning());
  QVERIFY(main->Frame().Progress());
  QVERIFY(main->Frame().Progress()->isVisible());
  ProgressWindow* window = main->Frame().Progress();
  QCOMPARE(window->windowTitle(), QStringLiteral("Testing Progress"));
  QVERIFY(!(window->windowFlags() & Qt::WindowCloseButtonHint));
  QVERIFY(!window->isModal());
  QVERIFY((window->frameGeometry().center() - main->frameGeometry().center()).manhattanLength() <
          8);
  // Before the first tick its fields are empty; then file 1 of 2.
  QCOMPARE(window->CurrentFile()->text(), QString());
  QTRY_COMPARE(window->FileIndex()->text(), QStringLiteral("1"));
  QCOMPARE(window->FileTotal()->text(), QStringLiteral("2"));
  QCOMPARE(window->CurrentFile()->text(), first);
  QVERIFY(!window->close());  // only the test run closes it
  QVERIFY(main->ActivityBar());
  QVERIFY(main->ActivityBar()->isVisible());

  QTRY_VERIFY_WITH_TIMEOUT(!View().IsTestRunning(), 30000);
  watcher.stop();
  QVERIFY(sawRunningState);
  QVERIFY(!main->Frame().Progress());
  QTRY_VERIFY(progress.isNull());  // the window is gone, not just hidden

  // Two reported rows, in file order, in the list.
  ResultsModel* model = main->Model();
  QCOMPARE(model->rowCount(), 2);
  QCOMPARE(model->index(0, COL_URL).data().toString(), server.Url("/missing-one"));
  QCOMPARE(model->index(0, COL_REASON).data().toString(),
           QString::fromStdString(View().OutcomeText(OutcomeKind(404))));
  QCOMPARE(model->index(0, COL_SITE).data().toString(), QStringLiteral("Lost page"));
  QCOMPARE(model->index(0, COL_FILE).data().toString(), first);
  QCOMPARE(model->index(1, COL_URL).data().toString(), server.Url("/missing-two"));
  QCOMPARE(model->index(1, COL_FILE).data().toString(), second);
  QCOMPARE(server.requests, (QStringList{"/ok", "/missing-one", "/missing-two"}));

  const QString log = main->Log()->Text();
  QVERIFY2(log.startsWith("Start of test "), qPrintable(log));
  QVERIFY(log.contains("Testing: " + first + "\n"));
  QVERIFY(log.contains("Results for " + first +
                       ": URLs tested: 2. URL errors: 1.\n\nTesting: " + second + "\n"));
  QVERIFY2(
      log.contains("Results for " + second + ": URLs tested: 1. URL errors: 1.\n\nEnd of test: "),
      qPrintable(log));
  QVERIFY(!log.contains('\r'));

  QCOMPARE(main->Pane(1)->text(), QStringLiteral("Search Complete"));
  QCOMPARE(main->Pane(2)->text(), QString());
  QCOMPARE(m_beeps, QList<unsigned>{0});
  QCOMPARE(main->ActivityBar()->value(), 0);

  QVERIFY(main->SelectFilesAction()->isEnabled());
  QVERIFY(!main->StopAction()->isEnabled());
  QVERIFY(main->ExportAction()->isEnabled());
  QVERIFY(main->RepairAction()->isEnabled());
  // The choices are remembered for the next test.
  QCOMPARE(QString::fromStdString(m_app->m_pSettings->GetString("FileSel", "Starter", "")), first);
  QCOMPARE(m_app->m_pSettings->GetInt("FileSel", "AllFiles", 0), 1);
}

void TestMainFrame::stopDuringAProbe() {
  LoopbackHttp server;
  const QString page = m_dir->filePath("slow.htm");
  WriteFile(page, Anchor(server.Url("/silent"), "Never answers") + Anchor(server.Url("/ok"), "x"));
  CMainFrame* main = Start();
  QVERIFY(main);
  SelectFiles(page, false);
  QTRY_VERIFY_WITH_TIMEOUT(View().AwaitingReply(), 10000);
  QTRY_COMPARE(server.requests, QStringList{"/silent"});
  QVERIFY(main->StopAction()->isEnabled());
  main->StopAction()->trigger();

  QVERIFY(!View().IsTestRunning());
  QVERIFY(!main->Frame().Progress());
  QVERIFY(main->Log()->Text().endsWith("Testing Stopped by User\n"));
  QCOMPARE(main->Pane(1)->text(), QStringLiteral("Connection Status"));
  QCOMPARE(main->Pane(2)->text(), QStringLiteral("HTTP Method Status"));
  QVERIFY(m_beeps.isEmpty());
  QCOMPARE(main->Model()->rowCount(), 0);
  QVERIFY(main->SelectFilesAction()->isEnabled());
  QVERIFY(!main->StopAction()->isEnabled());
  QVERIFY(main->RepairAction()->isEnabled());
  QVERIFY(!main->ExportAction()->isEnabled());
  // Nothing more happens after Stop.
  QTest::qWait(300);
  QCOMPARE(server.requests, QStringList{"/silent"});
}

void TestMainFrame::closingDuringATestEndsIt() {
  LoopbackHttp server;
  const QString page = m_dir->filePath("slow.htm");
  WriteFile(page, Anchor(server.Url("/silent"), "Never answers"));
  CMainFrame* main = Start();
  QVERIFY(main);
  SelectFiles(page, false);
  QTRY_VERIFY_WITH_TIMEOUT(View().AwaitingReply(), 10000);
  QPointer<ProgressWindow> window = main->Frame().Progress();
  QVERIFY(window);
  const QString scratch = QString::fromStdString(appdirs::RuntimeDir());
  QVERIFY(QDir(scratch).exists());
  QVERIFY(main->close());  // no rows: no question
  QVERIFY(m_boxes.isEmpty());
  m_app->ExitInstance();
  QVERIFY(window.isNull());
  // The scratch copies and their private directory are gone.
  QVERIFY(!QDir(scratch).exists());
}

void TestMainFrame::chosenFileMissingStartsNoTest() {
  CMainFrame* main = Start();
  QVERIFY(main);
  main->Log()->Append("earlier log\r\n");
  SelectFiles(m_dir->filePath("nowhere.htm"), false);
  QCOMPARE(m_boxes, QStringList{"The chosen file does not exist"});
  QVERIFY(!View().IsTestRunning());
  QVERIFY(!main->Frame().Progress());
  QCOMPARE(main->Log()->Text(), QStringLiteral("earlier log\n"));
  QCOMPARE(m_app->m_pSettings->GetString("FileSel", "Starter", "none"), std::string("none"));
}

void TestMainFrame::closeWithUnrepairedRowsAsksAndStoresWidths() {
  CMainFrame* main = Start();
  QVERIFY(main);
  CLinkwardView& view = View();
  for (const char* url : {"http://a.example/", "http://b.example/", "http://c.example/"}) {
    view.AddResultText(url, 0);
    view.AddResultText("HTTP Code 404 Not Found", 1);
    view.AddResultText("site", 2);
  }
  view.Rows().SetItemData(1, WithRepairedMark(0));
  main->ResultsView()->setColumnWidth(0, 101);
  main->ResultsView()->setColumnWidth(1, 102);
  main->ResultsView()->setColumnWidth(2, 103);
  main->ResultsView()->setColumnWidth(3, 104);

  m_answer = IDNO;
  QVERIFY(!main->close());
  QVERIFY(main->isVisible());
  QCOMPARE(m_boxes,
           QStringList{"Not all of the bad URLs have been repaired\n\nDo you want to quit?"});
  // The repaired row is gone already; the widths are not stored.
  QCOMPARE(main->Model()->rowCount(), 2);
  QCOMPARE(main->Model()->index(1, 0).data().toString(), QStringLiteral("http://c.example/"));
  QCOMPARE(m_app->m_pSettings->GetInt("Grid", "col0", -1), -1);
  QCOMPARE(main->Frame().WaitCursorDepth(), 0);

  m_answer = IDYES;
  QVERIFY(main->close());
  QCOMPARE(m_boxes.size(), 2);
  CSettingsStore& settings = *m_app->m_pSettings;
  QCOMPARE(settings.GetInt("Grid", "col0", -1), 101);
  QCOMPARE(settings.GetInt("Grid", "col1", -1), 102);
  QCOMPARE(settings.GetInt("Grid", "col2", -1), 103);
  QCOMPARE(settings.GetInt("Grid", "col3", -1), 104);
}

void TestMainFrame::modelFollowsTheRowsUnderTheModelTester() {
  CMainFrame* main = Start();
  QVERIFY(main);
  QAbstractItemModelTester tester(main->Model(),
                                  QAbstractItemModelTester::FailureReportingMode::QtTest);
  CLinkwardView& view = View();
  for (int i = 0; i < 5; ++i) {
    view.AddResultText("http://host/" + std::to_string(i), 0);
    view.AddResultText("reason", 1);
    view.AddResultText("site " + std::to_string(i), 2);
  }
  ResultsModel* model = main->Model();
  QCOMPARE(model->rowCount(), 5);
  QCOMPARE(model->columnCount(), 4);
  QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("URL"));
  QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Reason"));
  QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Site Name"));
  QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("File Name"));
  QVERIFY(!(model->flags(model->index(0, 0)) & Qt::ItemIsEditable));
  QCOMPARE(model->index(4, 2).data().toString(), QStringLiteral("site 4"));
  QVERIFY(main->ExportAction()->isEnabled());

  view.Rows().DeleteItem(2);
  QCOMPARE(model->rowCount(), 4);
  QCOMPARE(model->index(2, 0).data().toString(), QStringLiteral("http://host/3"));
  view.Rows().DeleteItem(0);
  view.Rows().DeleteItem(2);
  QCOMPARE(model->index(1, 0).data().toString(), QStringLiteral("http://host/3"));
  view.Rows().DeleteAllItems();
  QCOMPARE(model->rowCount(), 0);
  QVERIFY(!main->ExportAction()->isEnabled());

  // Texts that are not UTF-8 show as Latin-1 rather than being lost.
  view.AddResultText("http://host/caf\xe9", 0);
  QCOMPARE(model->index(0, 0).data().toString(), QString::fromUtf8("http://host/caf\u00e9"));
}

void TestMainFrame::logPaneKeepsEmptyLinesAndEditKeysCopy() {
  CMainFrame* main = Start();
  QVERIFY(main);
  LogPane* log = main->Log();
  View().AppendLog("Start of test now\r\n");
  View().AppendLog("Testing: x");
  QCOMPARE(log->Text(), QStringLiteral("Start of test now\n\nTesting: x\n"));
  QVERIFY(log->isReadOnly());
  log->setFocus();
  log->selectAll();
  QApplication::clipboard()->clear();
  QTest::keyClick(log, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QApplication::clipboard()->text(), log->toPlainText());
  // Typing does not change the log.
  QTest::keyClicks(log, "typed");
  QCOMPARE(log->Text(), QStringLiteral("Start of test now\n\nTesting: x\n"));
}

void TestMainFrame::fileAcceleratorsChangeNothing() {
  CMainFrame* main = Start();
  QVERIFY(main);
  View().AddResultText("http://a/", 0);
  View().AppendLog("kept");
  const QStringList before = QDir(m_dir->path()).entryList(QDir::Files);
  for (int key : {Qt::Key_N, Qt::Key_O, Qt::Key_S}) {
    QTest::keyClick(main, static_cast<Qt::Key>(key), Qt::ControlModifier);
  }
  QCOMPARE(main->Model()->rowCount(), 1);
  QCOMPARE(main->Log()->Text(), QStringLiteral("kept\n"));
  QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), before);
  QVERIFY(m_boxes.isEmpty());
}

QTEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"

// The desktop program's main window as a user meets it, in one session: the
// remembered placement and pane height, a whole test and a full check through
// Select File(s) against a loopback server, Stop, the enabled commands, and
// closing with unrepaired rows or during a test.
#include <QAbstractItemModelTester>
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
#include "support/LoopbackServer.h"
#include "support/ScratchDir.h"

using namespace linkward;

namespace {

QString Url(const LoopbackServer& server, const char* path) {
  return QStringLiteral("http://127.0.0.1:%1%2").arg(server.Port()).arg(path);
}

std::string Anchor(const QString& url, const char* text) {
  return "<a href=\"" + url.toStdString() + "\">" + text + "</a>\n";
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

  ScratchDir m_dir;
  std::unique_ptr<CLinkwardGuiApp> m_app;
  QStringList m_boxes;
  Answer m_answer = Answer::Yes;
  bool m_fullShown = false;  // whether Select File(s) came with the full check on

  // Starts the program on the store of this test; shows the window when asked.
  CMainFrame* Start(bool show = true) {
    m_app = std::make_unique<CLinkwardGuiApp>(m_dir / "registry.db", m_dir.Path());
    if (!m_app->InitInstance()) return nullptr;
    CMainFrame* main = m_app->MainFrame();
    main->Frame().messageBoxHook = [this](const std::string& text, BoxStyle style) {
      m_boxes << QString::fromStdString(text);
      return ButtonsOf(style) == BoxStyle::YesNo ? m_answer : Answer::Ok;
    };
    if (show) {
      main->show();
      if (!QTest::qWaitForWindowExposed(main)) return nullptr;
    }
    return main;
  }
  void Stop() {
    if (m_app) m_app->ExitInstance();
    m_app.reset();
  }
  CLinkwardView& View() { return m_app->MainFrame()->View(); }
  CSettingsStore& Settings() { return *m_app->m_pSettings; }
  QRect StoredPlacement() {
    const auto get = [&](const char* name) { return Settings().GetInt("Screen", name, -1); };
    return QRect(get("x"), get("y"), get("cx"), get("cy"));
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
      m_fullShown = dialog->FullCheckBox()->isChecked();
      if (!offered.isEmpty()) {
        QCOMPARE(dialog->PathEdit()->text(), QString::fromStdString(path));
        QVERIFY(!View().IsTestRunning());
      }
      if (!ok) return dialog->reject();
      dialog->PathEdit()->setText(QString::fromStdString(path));
      if (dialog->AllFilesBox()->isChecked() != allFiles) dialog->AllFilesBox()->click();
      if (dialog->FullCheckBox()->isChecked() != full) dialog->FullCheckBox()->click();
      dialog->OkButton()->click();
    });
    offered.isEmpty() ? m_app->MainFrame()->SelectFilesAction()->trigger()
                      : m_app->MainFrame()->OfferFile(offered);
    QVERIFY(seen);
  }

 private slots:
  // (The profile lives in this program's own config directory, new for each run.)
  void cleanup() { Stop(); }

  // One session, start to end, with checkpoints: the first start (the
  // centred placement stored before the window shows, the top pane's height
  // from the profile, panes and commands); moving, resizing and dragging the
  // bar; a test of two files through Select File(s) for a file named on the
  // command line; a full check of the same files; closing with rows not
  // repaired; the next start with what was stored; Stop while a probe waits,
  // and closing during a test. The rows are under the model tester all along.
  void fromFirstStartToClosingDuringATest() {
    // A display name set of its own would stay, and Qt would append it to
    // every window title ("Preferences — Linkward"); unset, it follows the name.
    CLinkwardGuiApp::SetIdentity();
    QCoreApplication::setApplicationName(QStringLiteral("Other"));
    QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("Other"));
    CLinkwardGuiApp::SetIdentity();

    // "/ok" answers 200, every other path 404.
    LoopbackServer server({.replyFor = [](const std::string& request) {
      return request.find(" /ok ") != std::string::npos ? "HTTP/1.0 200 OK\r\n\r\nfine"
                                                        : "HTTP/1.0 404 Not Found\r\n\r\n";
    }});
    QVERIFY(QDir(QString::fromStdString(m_dir.Path())).mkdir("site"));
    // The second link's text is not UTF-8: it shows as Latin-1 rather than being lost.
    const std::string first =
        m_dir.WriteFile("site/a.htm", Anchor(Url(server, "/ok"), "Fine page") +
                                          Anchor(Url(server, "/missing-one"), "Lost caf\xe9") +
                                          Anchor("b.htm#nowhere", "No such place"));
    const std::string second = m_dir.WriteFile(
        "site/b.htm", Anchor(Url(server, "/missing-two"), "Gone too") + Anchor("c.htm", "Lost"));
    const QString firstName = QString::fromStdString(first);
    const QString secondName = QString::fromStdString(second);

    const QSize screen = QGuiApplication::primaryScreen()->size();
    const WindowPlacement centred = DefaultPlacement(screen.width(), screen.height());
    const QRect moved(40, 30, 520, 410);
    QSettings(CLinkwardGuiApp::ProfilePath(), QSettings::IniFormat).setValue("Screen/High", 123);
    CMainFrame* main = Start(false);
    QVERIFY(main);
    QVERIFY(!main->isVisible());
    QCOMPARE(StoredPlacement(), QRect(centred.x, centred.y, centred.cx, centred.cy));
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    QCOMPARE(QRect(main->pos(), main->size()), StoredPlacement());
    QCOMPARE(main->Splitter()->sizes().value(0), 123);
    QCOMPARE(Panes(main), (QStringList{QString("Connection Status") + QString(41, ' '),
                                       QString("HTTP Method Status") + QString(17, ' ')}));
    QCOMPARE(Enabled(main), (QStringList{"Test File", "Preferences"}));  // before a test
    QCOMPARE(main->Log()->font(), main->ResultsView()->font());
    main->resize(moved.size());
    main->move(moved.topLeft());
    QTRY_COMPARE(StoredPlacement(), moved);
    main->Splitter()->setSizes({200, main->height()});
    QTRY_COMPARE(m_app->Profile()->value("Screen/High").toInt(), 200);

    ResultsModel* model = main->Model();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QDir::setCurrent(QString::fromStdString(m_dir.Path()));  // given relative, as a shell may
    SelectFiles(first, true, false, "site/a.htm", false);
    QCOMPARE(Settings().GetString("FileSel", "Starter", ""), std::string());  // only after OK
    SelectFiles(first, true, false, "site/a.htm");
    QVERIFY(View().IsTestRunning());
    QPointer<ProgressWindow> window = main->Frame().Progress();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QVERIFY(!window->isModal());
    QTRY_COMPARE(window->FileIndex()->text(), QStringLiteral("1"));
    QCOMPARE(window->FileTotal()->text(), QStringLiteral("2"));
    QCOMPARE(window->CurrentFile()->text(), firstName);
    QVERIFY(!window->close());  // only the test run closes it
    QVERIFY(main->ActivityBar()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!View().IsTestRunning(), 30000);
    QVERIFY(!main->Frame().Progress());
    QTRY_VERIFY(window.isNull());  // the window is gone, not just hidden

    const QString missingOne =
        Url(server, "/missing-one") + QString::fromUtf8("|HTTP Code 404 Not Found|Lost caf\u00e9|");
    const QString missingTwo = Url(server, "/missing-two") + "|HTTP Code 404 Not Found|Gone too|";
    QCOMPARE(Rows(model), (QStringList{missingOne + firstName, missingTwo + secondName}));
    QVERIFY(!(model->flags(model->index(0, 0)) & Qt::ItemIsEditable));
    View().AppendLog("kept");  // a line without its end gets one
    const QString log = main->Log()->Text();
    QVERIFY2(log.contains("Results for " + firstName +
                          ": URLs tested: 2. URL errors: 1.\n\nTesting: " + secondName + "\n"),
             qPrintable(log));
    QVERIFY(log.endsWith("\nkept\n"));
    QVERIFY(!log.contains('\r'));
    QCOMPARE(Panes(main), (QStringList{"Search Complete", ""}));
    QCOMPARE(main->ActivityBar()->value(), 0);
    QCOMPARE(Enabled(main), (QStringList{"Test File", "Export", "Repair", "Preferences"}));

    QVERIFY(!m_fullShown);
    SelectFiles(first, true, true);
    QCOMPARE(main->Pane(1)->text(), QStringLiteral("Checking links"));
    QTRY_VERIFY_WITH_TIMEOUT(!View().IsTestRunning(), 30000);
    // Its rows (its rules are the full check's own tests): four, the fragment second.
    const QString fragment = "b.htm#nowhere|Fragment Not Found|No such place|" + firstName;
    QCOMPARE(model->rowCount(), 4);
    QCOMPARE(Rows(model).value(1), fragment);
    QCOMPARE(Panes(main), (QStringList{"Search Complete", ""}));

    // Closing asks while rows are not repaired; No keeps the window, drops the
    // repaired rows and stores no widths. Yes stores them for the next start.
    View().Rows().SetItemData(0, WithRepairedMark(0));
    for (int col = 0; col < 4; ++col) main->ResultsView()->setColumnWidth(col, 101 + col);
    m_answer = Answer::No;
    QVERIFY(!main->close());
    QVERIFY(main->isVisible());
    QCOMPARE(m_boxes,
             QStringList{"Not all of the bad URLs have been repaired\n\nDo you want to quit?"});
    QCOMPARE(Rows(model).value(0), fragment);
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(Settings().GetInt("Grid", "col0", -1), -1);
    m_answer = Answer::Yes;
    QVERIFY(main->close());
    QCOMPARE(m_boxes.size(), 2);
    Stop();
    main = Start();
    QVERIFY(main);
    QCOMPARE(QRect(main->pos(), main->size()), moved);
    QCOMPARE(main->Splitter()->sizes().value(0), 200);
    for (int col = 0; col < 4; ++col) QCOMPARE(main->ResultsView()->columnWidth(col), 101 + col);
    SelectFiles(first, true, true, {}, false);  // the full check is remembered
    QVERIFY(m_fullShown);

    // Stop while a probe waits; then a second test, and the window closed while
    // it waits: no question, and the progress window and the scratch copies go.
    LoopbackServer silent(LoopbackServer::NeverAnswer());
    const std::string page =
        m_dir.WriteFile("slow.htm", Anchor(Url(silent, "/silent"), "Never answers"));
    SelectFiles(page, false);
    QTRY_VERIFY_WITH_TIMEOUT(View().AwaitingReply(), 10000);
    QCOMPARE(Enabled(main), (QStringList{"Preferences", "Stop"}));
    main->StopAction()->trigger();
    QVERIFY(!View().IsTestRunning());
    QVERIFY(!main->Frame().Progress());
    QCOMPARE(Enabled(main), (QStringList{"Test File", "Repair", "Preferences"}));

    SelectFiles(page, false);
    QTRY_VERIFY_WITH_TIMEOUT(View().AwaitingReply(), 10000);
    window = main->Frame().Progress();
    QVERIFY(window);
    const QString scratch = QString::fromStdString(appdirs::RuntimeDir());
    QVERIFY(QDir(scratch).exists());
    QVERIFY(main->close());
    QCOMPARE(m_boxes.size(), 2);  // no new question
    Stop();
    QVERIFY(window.isNull());
    QVERIFY(!QDir(scratch).exists());
  }
};

LINKWARD_TEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"

// The results list as a web author triages it after a full check of a small
// site: sorting by a clicked column and back to the listed order, the filter
// box and the class toggles, the Line column; then a standard test, whose
// list looks as it always did.
#include <memory>

#include "GuiTest.h"
#include "engine/LinkwardView.h"
#include "gui/LinkwardGuiApp.h"
#include "gui/MainFrame.h"
#include "gui/ProgressStrip.h"
#include "gui/QtFrame.h"
#include "gui/ResultsFilter.h"
#include "gui/ResultsModel.h"
#include "gui/ResultsTable.h"
#include "gui/SelectFilesDialog.h"
#include "gui/TargetGroups.h"
#include "gui/RowActions.h"
#include "check/SkipList.h"
#include "settings/SettingsStore.h"
#include "results/ResultRows.h"
#include "gui/LogPane.h"
#include "support/LoopbackServer.h"
#include "support/ScratchDir.h"

using namespace linkward;

namespace {

// A column of the list as shown (filtered and sorted).
QStringList Column(CMainFrame* main, int col) {
  QStringList cells;
  QAbstractItemModel* shown = main->ResultsView()->model();
  for (int r = 0; r < shown->rowCount(); ++r) cells << shown->index(r, col).data().toString();
  return cells;
}

void ClickHeader(CMainFrame* main, int col) {
  QHeaderView* header = main->ResultsView()->horizontalHeader();
  const QPoint at(header->sectionViewportPosition(col) + 5, header->height() / 2);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

}  // namespace

class TestResultsList : public QObject {
  Q_OBJECT

  ScratchDir m_dir;
  std::unique_ptr<CLinkwardGuiApp> m_app;

  CMainFrame* Start() {
    m_app = std::make_unique<CLinkwardGuiApp>(m_dir / "registry.db", m_dir.Path());
    m_app->InitInstance();
    CMainFrame* main = m_app->MainFrame();
    main->Frame().messageBoxHook = [](const std::string& text, BoxStyle) {
      [&] { QFAIL(text.c_str()); }();
      return Answer::Ok;
    };
    main->show();
    main->activateWindow();
    return QTest::qWaitForWindowActive(main) ? main : nullptr;
  }
  CLinkwardView& View() { return m_app->MainFrame()->View(); }
  void Run(const std::string& path, bool full) {
    FullCheckOptions options;
    options.enabled = full;
    View().StartTest(path, TestChoices{false, full, false}, options);
    // A full check's progress is docked under the list, never over it.
    QCOMPARE(m_app->MainFrame()->Frame().Progress() == nullptr, full);
    QTRY_VERIFY_WITH_TIMEOUT(!View().IsTestRunning(), 20000);
  }

 private slots:
  void cleanup() {
    if (m_app) m_app->ExitInstance();
    m_app.reset();
  }

  // The first start says what to do; Ctrl+O is Select File(s); a folder
  // dropped on the list is offered with its sub-directories and, once
  // tested, is the first recent target; Browse then starts in its folder
  // with the web pages first, and the toolbar's tips are the menu's names.
  void emptyWindowDropAndRecentTargets() {
    QVERIFY(QDir(QString::fromStdString(m_dir.Path())).mkpath("drop/sub"));
    const std::string index = m_dir.WriteFile("drop/index.html", "<a href=\"sub/x.html\">X</a>\n");
    m_dir.WriteFile("drop/sub/x.html", "<a href=\"y.html\">Y</a>\n");
    CMainFrame* main = Start();
    QVERIFY(main);
    auto* table = qobject_cast<ResultsTable*>(main->ResultsView());
    QVERIFY(table->Hint().contains("Select File(s)... (Ctrl+O)"));
    QVERIFY(table->Hint().contains("drop a file or folder"));
    QVERIFY(main->RecentTargets().isEmpty());

    QString shown;
    bool sub = false, full = false;
    QStringList filters;
    QString browseDir;
    auto answer = [&](bool ok, bool browse = false) {
      QTimer::singleShot(0, this, [&, ok, browse] {
        auto* dialog = qobject_cast<SelectFilesDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        shown = dialog->PathEdit()->text();
        sub = dialog->findChildren<QCheckBox*>().at(1)->isChecked();
        if (!dialog->FullCheckBox()->isChecked()) dialog->FullCheckBox()->click();
        full = dialog->FullCheckBox()->isChecked();
        if (browse) {
          QTimer::singleShot(0, this, [&] {
            auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(files);
            filters = files->nameFilters();
            browseDir = files->directory().absolutePath();
            files->reject();
          });
          dialog->BrowseButton()->click();
        }
        ok ? dialog->OkButton()->click() : dialog->reject();
      });
    };
    answer(false);
    QTest::keyClick(table, Qt::Key_O, Qt::ControlModifier);
    QVERIFY(full);  // the dialog came

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(m_dir / "drop"))});
    const QPoint at = table->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(table->viewport(), &enter);
    QVERIFY(enter.isAccepted());
    answer(true);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(table->viewport(), &drop);
    QCOMPARE(shown, QString::fromStdString(index));
    QVERIFY(sub);
    QTRY_VERIFY_WITH_TIMEOUT(!View().IsTestRunning(), 20000);
    QCOMPARE(Column(main, COL_URL), QStringList{"y.html"});  // the sub-directory was tested
    QCOMPARE(main->RecentTargets(), QStringList{QString::fromStdString(index)});
    QCOMPARE(main->SelectFilesAction()->toolTip(), QStringLiteral("Select File(s)..."));

    answer(false, true);
    main->SelectFilesAction()->trigger();
    QCOMPARE(browseDir, QString::fromStdString(m_dir / "drop"));
    QVERIFY2(filters.value(0).startsWith("Web pages (*.html *.htm"), qPrintable(filters.join(';')));
    QCOMPARE(filters.value(1), QStringLiteral("All Files (*)"));
    // A site address (a recent crawl) is offered as it is, not as a file.
    answer(false);
    main->OfferFile("https://example.org/site/");
    QCOMPARE(shown, QStringLiteral("https://example.org/site/"));
  }

  void triageAfterAFullCheck() {
    QVERIFY(QDir(QString::fromStdString(m_dir.Path())).mkdir("site"));
    const std::string index = m_dir.WriteFile(
        "site/index.html",
        "<a href=\"gone.html\">Gone</a>\n\n<a href=\"b.html#nowhere\">Nowhere</a>\n"
        "<a href=\"b.html\">B</a>\n");
    m_dir.WriteFile("site/b.html", "\n\n\n<a href=\"lost.png\">Lost picture</a>\n");
    CMainFrame* main = Start();
    QVERIFY(main);
    QTableView* list = main->ResultsView();
    QVERIFY(list->isColumnHidden(COL_LINE));
    QVERIFY(main->FilterBar()->isHidden());

    Run(index, true);
    const QStringList listed{"lost.png", "gone.html", "b.html#nowhere"};  // b.html comes first
    QCOMPARE(Column(main, COL_URL), listed);
    QVERIFY(!list->isColumnHidden(COL_LINE));
    QCOMPARE(Column(main, COL_LINE), (QStringList{"4", "1", "3"}));
    QVERIFY(main->FilterBar()->isVisible());
    QVERIFY(!list->model()->index(0, COL_URL).data(Qt::DecorationRole).isNull());
    QVERIFY(main->StripDock()->isVisible());
    QVERIFY2(main->Strip()->Totals()->text().startsWith(
                 "4 links in 2 pages: 3 broken, 0 moved, 0 not verified, 0 skipped; "),
             qPrintable(main->Strip()->Totals()->text()));

    // Ascending, descending, then the listed order again.
    ClickHeader(main, COL_URL);
    QCOMPARE(Column(main, COL_URL), (QStringList{"b.html#nowhere", "gone.html", "lost.png"}));
    ClickHeader(main, COL_URL);
    QCOMPARE(Column(main, COL_URL), (QStringList{"lost.png", "gone.html", "b.html#nowhere"}));
    ClickHeader(main, COL_URL);
    QCOMPARE(Column(main, COL_URL), listed);
    ClickHeader(main, COL_LINE);
    ClickHeader(main, COL_LINE);
    QCOMPARE(Column(main, COL_LINE), (QStringList{"4", "3", "1"}));
    ClickHeader(main, COL_LINE);

    // Ctrl+F reaches the filter box wherever the focus is; any column's text counts.
    main->activateWindow();  // the progress window had been the active one
    QVERIFY(QTest::qWaitForWindowActive(main));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(main->FilterEdit()->hasFocus());
    QTest::keyClicks(main->FilterEdit(), "FRAGMENT");
    QCOMPARE(Column(main, COL_URL), QStringList{"b.html#nowhere"});
    QCOMPARE(main->RowCountLabel()->text(), QStringLiteral("1 of 3 rows"));
    main->FilterEdit()->clear();

    // A row given another class (as a re-check may) moves between the toggles.
    RowDetails moved = View().Rows().GetItemDetails(0);
    moved.cls = CheckClass::Moved;
    View().Rows().SetItemDetails(0, moved);
    View().Rows().SetItemText(0, COL_REASON, "HTTP Code 301 Moved Permanently");
    const QList<QAction*> toggles = main->ClassActions();
    QCOMPARE(toggles.size(), 4);
    toggles[2]->trigger();  // Moved
    QCOMPARE(Column(main, COL_URL), QStringList{"lost.png"});
    toggles[1]->trigger();  // Broken
    QCOMPARE(Column(main, COL_URL), (QStringList{"gone.html", "b.html#nowhere"}));

    toggles[0]->trigger();

    // Ctrl+C copies every selected row, tab-separated, in the order shown
    // (also after the menu showed with nothing selected).
    ClickHeader(main, COL_LINE);
    list->clearSelection();
    main->RowMenu();
    list->selectAll();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    const QString page = QString::fromStdString(index);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             "gone.html\tLocal File Not Found\tGone\t" + page + "\t1\n"
             "b.html#nowhere\tFragment Not Found\tNowhere\t" + page + "\t3\n"
             "lost.png\tHTTP Code 301 Moved Permanently\tLost picture\t" + main->Model()
                 ->index(0, COL_FILE).data().toString() + "\t4\n");

    // The page at the line: in the editor ($VISUAL before $EDITOR), else the desktop's handler.
    QStringList started;
    QList<QUrl> opened;
    main->startHook = [&](const QStringList& command) { started = command; };
    main->openUrlHook = [&](const QUrl& url) { opened << url; };
    const QModelIndex gone = list->model()->index(0, COL_URL);
    list->setCurrentIndex(gone);
    {
      ScopedEnv visual("VISUAL", nullptr), editor("EDITOR", "ed -s");
      const QPoint at = list->visualRect(gone).center();
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
      QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
      QCOMPARE(started, (QStringList{"ed", "-s", "+1", page}));
    }
    {
      ScopedEnv visual("VISUAL", nullptr), editor("EDITOR", nullptr);
      main->RowMenu();
      main->OpenPageAction()->trigger();
      QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(page)});
    }
    list->setCurrentIndex(list->model()->index(1, COL_URL));  // b.html#nowhere
    QVERIFY(!main->RowMenu()->isVisible());
    QVERIFY(!main->SkipHostAction()->isEnabled());  // a local link has no host
    main->OpenLinkAction()->trigger();
    QCOMPARE(opened.last(), QUrl::fromLocalFile(QString::fromStdString(m_dir / "site/b.html")).resolved(QUrl("#nowhere")));
    // Use Archived Copy opens the row's archived copy, and only a row that has one.
    QVERIFY(main->UseArchivedAction()->isVisible());
    QVERIFY(!main->UseArchivedAction()->isEnabled());
    for (int row = 0; row < View().Rows().GetItemCount(); ++row) {
      if (View().Rows().GetItemText(row, COL_URL) != "b.html#nowhere") continue;
      RowDetails archived = View().Rows().GetItemDetails(row);
      archived.archiveUrl = "http://web.archive.org/web/2020/http://h/b.html";
      View().Rows().SetItemDetails(row, archived);
    }
    main->RowMenu();
    QVERIFY(main->UseArchivedAction()->isEnabled());
    main->UseArchivedAction()->trigger();
    QCOMPARE(opened.last(), QUrl("http://web.archive.org/web/2020/http://h/b.html"));

    // Skip This Link is kept with the Preferences' patterns; Check Again runs
    // the last test (as Select File(s) stored it) without that link.
    list->setCurrentIndex(gone);
    main->RowMenu();
    main->SkipLinkAction()->trigger();
    QCOMPARE(View().Settings().GetLongString("Settings", "SkipLinks", ""),
             std::string("^gone\\.html$"));
    View().Settings().SetString("FileSel", "Starter", index);
    View().Settings().SetInt("FileSel", "AllFiles", 1);
    View().Settings().SetInt("FileSel", "FullCheck", 1);
    main->RowMenu();
    QVERIFY(main->CheckAgainAction()->isEnabled());
    main->CheckAgainAction()->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!View().IsTestRunning(), 20000);
    QCOMPARE(main->Model()->rowCount(), 2);
    QVERIFY(!Column(main, COL_URL).contains("gone.html"));
    QVERIFY(main->Strip()->Totals()->text().startsWith("3 links in 2 pages: 2 broken, 0 moved, 0 not verified, 1 skipped; "));

    // A standard test: four columns, no class marks, every row whatever the toggle was.
    const std::string plain = m_dir.WriteFile("plain.htm", "no links\n");
    Run(plain, false);
    QVERIFY(!main->StripDock()->isVisible());
    QVERIFY(list->isColumnHidden(COL_LINE));
    QVERIFY(toggles[0]->isChecked());
    QVERIFY(!toggles[2]->isEnabled());
    View().Rows().InsertItem(0, "http://example.com/");
    QCOMPARE(Column(main, COL_URL), QStringList{"http://example.com/"});
    main->RowMenu();
    QVERIFY(!main->UseArchivedAction()->isVisible());
    QVERIFY(list->model()->index(0, COL_URL).data(Qt::DecorationRole).isNull());
    QVERIFY(list->model()->index(0, COL_URL).data(Qt::ForegroundRole).isNull());
  }

  // One group per target however the links spell it (the resolved target,
  // else the link read against its page), the most linked first; a page:line
  // opens in the editor.
  void groupByTarget() {
    CMainFrame* main = Start();
    QVERIFY(main);
    CResultRows& rows = View().Rows();
    auto add = [&](const char* url, const char* page, int line, const char* target) {
      const int row = rows.InsertItem(rows.GetItemCount(), url);
      rows.SetItemText(row, COL_REASON, "Local File Not Found");
      rows.SetItemText(row, COL_FILE, page);
      RowDetails details;
      details.line = line;
      details.target = target;
      rows.SetItemDetails(row, details);
    };
    add("http://example.com/a", "/s/index.html", 2, "http://example.com/a");
    add("gone.html", "/s/index.html", 3, "/s/gone.html");
    add("./gone.html", "/s/index.html", 7, "");
    add("../s/gone.html#part", "/s/sub/../x.html", 9, "");
    add("/gone.html", "/s/sub/z.html", 4, "");  // from the folder of the page tested last
    View().Settings().SetString("FileSel", "Starter", "/s/index.html");
    main->GroupByTargetAction()->trigger();
    QCOMPARE(main->ResultsView()->parentWidget()->property("currentIndex").toInt(), 1);
    QStandardItemModel* groups = main->GroupView()->Groups();
    QCOMPARE(groups->rowCount(), 2);
    QCOMPARE(groups->index(0, 0).data().toString(), QStringLiteral("/s/gone.html"));
    QCOMPARE(groups->index(0, 1).data().toInt(), 4);
    QCOMPARE(groups->index(1, 0).data().toString(), QStringLiteral("http://example.com/a"));
    const QModelIndex first = groups->index(0, 0);
    QStringList where;
    for (int r = 0; r < groups->rowCount(first); ++r) where << groups->index(r, 0, first).data().toString();
    QCOMPARE(where, (QStringList{"/s/index.html:3", "/s/index.html:7", "/s/sub/../x.html:9",
                                 "/s/sub/z.html:4"}));

    // Rows that come while it shows are gathered in, a moment later.
    add("gone.html", "/s/y.html", 1, "/s/gone.html");
    QTRY_COMPARE(groups->index(0, 1).data().toInt(), 5);
    main->FilterEdit()->setText("example");  // the filter narrows the groups too
    QTRY_COMPARE(groups->rowCount(), 1);
    main->FilterEdit()->clear();
    QTRY_COMPARE(groups->rowCount(), 2);

    QStringList started;
    main->startHook = [&](const QStringList& command) { started = command; };
    ScopedEnv visual("VISUAL", "gvim");
    emit main->GroupView()->activated(groups->index(1, 0, groups->index(0, 0)));
    QCOMPARE(started, (QStringList{"gvim", "+7", "/s/index.html"}));
    main->GroupByTargetAction()->trigger();
    QCOMPARE(main->ResultsView()->parentWidget()->property("currentIndex").toInt(), 0);
  }

  // A host that never answers holds back no row: the rows of later pages
  // come at once, each at its place in file order, while the log still
  // waits for the first page.
  void rowsAsJudged() {
    LoopbackServer silent(LoopbackServer::NeverAnswer());
    QVERIFY(QDir(QString::fromStdString(m_dir.Path())).mkdir("slow"));
    const std::string first = m_dir.WriteFile(
        "slow/a.html", "<a href=\"" + silent.Url("/wait") + "\">Wait</a>\n<a href=\"x.html\">X</a>\n");
    m_dir.WriteFile("slow/b.html", "<a href=\"y.html\">Y</a>\n");
    m_dir.WriteFile("slow/c.html", "<a href=\"z.html\">Z</a>\n<a href=\"w.html\">W</a>\n");
    CMainFrame* main = Start();
    QVERIFY(main);
    FullCheckOptions options;
    options.enabled = true;
    View().StartTest(first, TestChoices{false, true, false}, options);
    QTRY_COMPARE_WITH_TIMEOUT(main->Model()->rowCount(), 4, 10000);
    QVERIFY(View().IsTestRunning());
    QCOMPARE(Column(main, COL_URL), (QStringList{"x.html", "y.html", "z.html", "w.html"}));
    QVERIFY(!main->Log()->Text().contains("Results for"));
    main->StopAction()->trigger();
    QCOMPARE(main->Model()->rowCount(), 4);  // the rows listed stay
  }

  // A crawled page is an address: its links are read against it, and the page
  // opens in the browser, never as a file.
  void crawledRowsOpenTheirAddresses() {
    CMainFrame* main = Start();
    QVERIFY(main);
    QList<QUrl> opened;
    QStringList started;
    main->openUrlHook = [&](const QUrl& url) { opened << url; };
    main->startHook = [&](const QStringList& command) { started = command; };
    View().Settings().SetString("FileSel", "Starter", "https://example.org/a/");
    CResultRows& rows = View().Rows();
    rows.InsertItem(0, "../b.html#top");
    rows.SetItemText(0, COL_FILE, "https://example.org/a/index.html");
    main->ResultsView()->setCurrentIndex(main->ResultsView()->model()->index(0, COL_URL));
    main->RowMenu();
    main->OpenLinkAction()->trigger();
    main->OpenPageAction()->trigger();
    QCOMPARE(opened, (QList<QUrl>{QUrl("https://example.org/b.html#top"),
                                  QUrl("https://example.org/a/index.html")}));
    QVERIFY(started.isEmpty());
  }

  // A host's pattern takes every scheme and port of that host, and no other host.
  void skipHostPattern() {
    CSkipList skip;
    QVERIFY(skip.Compile({SkipHostPattern(QUrl("http://docs.example.org/a/b?c"))}));
    for (const char* link : {"http://docs.example.org", "https://docs.example.org:8443/x",
                             "ftp://docs.example.org/f", "http://user@docs.example.org/"})
      QVERIFY2(skip.Matches(link, link), link);
    for (const char* link : {"http://docs.example.org.evil.net/", "http://xdocs.example.org/",
                             "http://docsXexample.org/", "http://other.net/?docs.example.org"})
      QVERIFY2(!skip.Matches(link, link), link);
    QCOMPARE(SkipHostPattern(QUrl("mailto:someone@example.org")), std::string());
  }
};

LINKWARD_TEST_MAIN(TestResultsList)
#include "tst_resultslist.moc"

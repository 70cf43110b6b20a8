#include "gui/MainFrame.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

#include "app/LinkwardApp.h"
#include "check/SiteCrawl.h"
#include "check/SkipList.h"
#include "engine/LinkwardView.h"
#include "gui/AboutDialog.h"
#include "gui/GuiText.h"
#include "gui/Help.h"
#include "gui/LinkwardDoc.h"
#include "gui/LogPane.h"
#include "gui/ProgressStrip.h"
#include "gui/QtFrame.h"
#include "gui/ResultsFilter.h"
#include "gui/ResultsModel.h"
#include "gui/ResultsPrinter.h"
#include "gui/ResultsTable.h"
#include "gui/RowActions.h"
#include "gui/TargetGroups.h"
#include "results/ResultRows.h"
#include "results/ProgressDlg.h"
#include "settings/SettingsStore.h"

namespace linkward {

namespace {

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(QString::fromLatin1(name), QApplication::style()->standardIcon(fallback));
}

// A small printer, for desktops whose icon theme has none and whose style
// offers no printer image.
QIcon PrinterIcon() {
  QIcon themed = QIcon::fromTheme(QStringLiteral("document-print"));
  if (!themed.isNull()) return themed;
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setPen(QColor(60, 60, 60));
  painter.setBrush(Qt::white);
  painter.drawRect(4, 1, 7, 5);  // the paper going in
  painter.setBrush(QColor(170, 170, 170));
  painter.drawRect(1, 6, 13, 6);  // the body
  painter.setBrush(Qt::white);
  painter.drawRect(4, 10, 7, 5);  // the page coming out
  painter.setPen(QColor(40, 160, 40));
  painter.drawPoint(12, 8);
  return QIcon(pixmap);
}

}  // namespace

CMainFrame::CMainFrame(CLinkwardApp& app, QSettings& profile, IEventLoop& loop,
                       std::string scratchDir, QWidget* parent)
    : QMainWindow(parent), m_app(app), m_profile(profile) {
  setWindowTitle(QStringLiteral("Linkward"));
  setWindowIcon(ThemeIcon("applications-internet", QStyle::SP_DriveNetIcon));
  PreCreateWindow();

  m_pFrame = std::make_unique<QtFrame>(*this);
  m_pDoc = std::make_unique<CLinkwardDoc>();
  m_pView =
      std::make_unique<CLinkwardView>(*app.m_pSettings, *m_pFrame, loop, std::move(scratchDir));
  // A full check's rows show as soon as they are judged, in their places.
  m_pView->SetRowsAsJudged(true);

  CreateActions();
  CreateMenus();
  CreateToolBar();
  CreateFilterBar();
  CreateStatusBar();
  OnCreateClient();
  CreateRowActions();
  UpdateCommands();
}

CMainFrame::~CMainFrame() {
  // The view reports its last changes (the progress window going) to the
  // frame, so it goes first, while every widget still exists.
  m_pView.reset();
  m_pPrinter.reset();
}

// ---------------------------------------------------------------------------
// Placement

void CMainFrame::PreCreateWindow() {
  QScreen* screen = QGuiApplication::primaryScreen();
  const QSize size = screen ? screen->size() : QSize(1024, 768);
  m_initialPlacement = PlaceMainWindow(*m_app.m_pSettings, size.width(), size.height());
  // x, y name the window's outer corner, cx, cy its size; a window placed from
  // what it stored opens where it was.
  move(m_initialPlacement.x, m_initialPlacement.y);
  resize(m_initialPlacement.cx, m_initialPlacement.cy);
}

void CMainFrame::OnWindowPosChanged() {
  if (!isVisible()) return;
  const QPoint corner = pos();
  StoreWindowPosition(*m_app.m_pSettings, {corner.x(), corner.y(), width(), height()},
                      isMinimized());
}

void CMainFrame::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  OnWindowPosChanged();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  OnWindowPosChanged();
}

// ---------------------------------------------------------------------------
// Commands

void CMainFrame::CreateActions() {
  auto make = [this](const char* text, const char* prompt, const char* tip) {
    auto* action = new QAction(QString::fromLatin1(text), this);
    if (prompt) action->setStatusTip(QString::fromLatin1(prompt));
    if (tip) action->setToolTip(QString::fromLatin1(tip));
    return action;
  };
  m_pSelectFiles = make("&Select File(s)...", "Select a file to test", "Test File");
  m_pSelectFiles->setIcon(ThemeIcon("document-open", QStyle::SP_DialogOpenButton));
  connect(m_pSelectFiles, &QAction::triggered, this, [this] { m_pView->OnSelectFiles(); });

  m_pExport = make("&Export Results...", "Export Test Results after choosing format", "Export");
  m_pExport->setIcon(ThemeIcon("document-save-as", QStyle::SP_DialogSaveButton));
  connect(m_pExport, &QAction::triggered, this, [this] { m_pView->OnExport(); });

  m_pRepair = make("Repair Failed &Links...", "Remove bad links in source file", "Repair");
  m_pRepair->setIcon(ThemeIcon("edit-clear", QStyle::SP_DialogResetButton));
  connect(m_pRepair, &QAction::triggered, this, [this] { m_pView->OnRepair(); });

  m_pPrint = make("&Print...\tCtrl+P", "Print the active document", "Print");
  m_pPrint->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  m_pPrint->setIcon(PrinterIcon());
  connect(m_pPrint, &QAction::triggered, this, [this] { Printer().Print(m_pResults->font()); });

  m_pPrintPreview = make("Print Pre&view", "Display full pages", "Print Preview");
  connect(m_pPrintPreview, &QAction::triggered, this,
          [this] { Printer().Preview(m_pResults->font()); });

  m_pPrintSetup = make("P&rint Setup...", "Change the printer and printing options", "Print Setup");
  connect(m_pPrintSetup, &QAction::triggered, this, [this] { Printer().PrintSetup(); });

  m_pExit = make("E&xit", "Quit the application; prompts to save documents", "Exit");
  connect(m_pExit, &QAction::triggered, this, &QWidget::close);

  m_pViewToolBar = make("&Toolbar", "Show or hide the toolbar", "Toggle ToolBar");
  m_pViewToolBar->setCheckable(true);
  m_pViewToolBar->setChecked(true);
  m_pViewStatusBar = make("&Status Bar", "Show or hide the status bar", "Toggle StatusBar");
  m_pViewStatusBar->setCheckable(true);
  m_pViewStatusBar->setChecked(true);

  m_pPreferences = make("&Preferences...", "Linkward Preferences", "Preferences");
  m_pPreferences->setIcon(ThemeIcon("preferences-system", QStyle::SP_FileDialogListView));
  connect(m_pPreferences, &QAction::triggered, this, [this] { m_pView->OnPreferences(); });

  m_pStop = make("&Stop Test", "Stop", "Stop");
  m_pStop->setIcon(ThemeIcon("process-stop", QStyle::SP_BrowserStop));
  connect(m_pStop, &QAction::triggered, this, [this] { m_pView->OnStopTest(); });

  m_pHelpTopics = make("&Help Topics", "List Help topics", "Help Topics");
  connect(m_pHelpTopics, &QAction::triggered, this, [] { OpenHelp(0); });

  m_pAbout = make("&About Linkward...", "Display program information, version number and copyright",
                  "About");
  m_pAbout->setIcon(ThemeIcon("help-about", QStyle::SP_MessageBoxInformation));
  connect(m_pAbout, &QAction::triggered, this, [this] {
    CAboutDlg about(m_app, this);
    about.exec();
  });

  m_pFind = make("&Filter Rows\tCtrl+F", "Show only the rows that hold a text or are of a class",
                 "Filter Rows");
  m_pFind->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  m_pFind->setShortcutContext(Qt::WindowShortcut);
  connect(m_pFind, &QAction::triggered, this, [this] {
    m_pFilterBar->show();
    m_pFilterEdit->setFocus(Qt::ShortcutFocusReason);
    m_pFilterEdit->selectAll();
  });

  m_pGroupByTarget = make("&Group by Target",
                          "One row for each target the links lead to, with every page and line",
                          "Group by Target");
  m_pGroupByTarget->setCheckable(true);

  // Accelerators without a menu entry. New, Open and Save reach the document,
  // which holds nothing: they change nothing.
  auto key = [this](QKeySequence keys, auto handler) {
    auto* action = new QAction(this);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, handler);
    addAction(action);
    return action;
  };
  key(QKeySequence(Qt::CTRL | Qt::Key_N), [this] { m_pDoc->OnNewDocument(); });
  // Open (Ctrl+O) is Select File(s): the document holds nothing to open.
  m_pSelectFiles->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  key(QKeySequence(Qt::CTRL | Qt::Key_S), [this] { m_pDoc->OnSaveDocument(); });
  key(QKeySequence(Qt::Key_F6), [this] { NextPane(true); });
  key(QKeySequence(Qt::SHIFT | Qt::Key_F6), [this] { NextPane(false); });
  key(QKeySequence(Qt::Key_F1), [] { OpenHelp(0); });
  key(QKeySequence(Qt::SHIFT | Qt::Key_F1), [] { OpenHelp(0); });
  // Ctrl+C, Ctrl+Insert and the other edit keys are the log pane's own while
  // it has the focus.
}

void CMainFrame::CreateMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->addAction(m_pSelectFiles);
  file->addAction(m_pExport);
  file->addAction(m_pRepair);
  file->addSeparator();
  file->addAction(m_pPrint);
  file->addAction(m_pPrintPreview);
  file->addAction(m_pPrintSetup);
  file->addSeparator();
  m_pRecentMenu = file->addMenu(QStringLiteral("Recent &Targets"));
  connect(file, &QMenu::aboutToShow, this, &CMainFrame::FillRecentMenu);
  file->addSeparator();
  file->addAction(m_pExit);

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  view->addAction(m_pViewToolBar);
  view->addAction(m_pViewStatusBar);
  view->addSeparator();
  view->addAction(m_pFind);
  view->addAction(m_pGroupByTarget);

  QMenu* linkward = menuBar()->addMenu(QStringLiteral("&Linkward"));
  linkward->addAction(m_pPreferences);
  linkward->addAction(m_pStop);

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->addAction(m_pHelpTopics);
  help->addSeparator();
  help->addAction(m_pAbout);

  // As a menu opens its entries show the current state.
  for (QMenu* menu : {file, view, linkward, help}) {
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);
  }
}

void CMainFrame::CreateToolBar() {
  m_pToolBar = addToolBar(QStringLiteral("Standard"));
  m_pToolBar->setObjectName(QStringLiteral("toolbar"));
  m_pToolBar->setIconSize(QSize(16, 16));
  m_pToolBar->addAction(m_pSelectFiles);
  m_pToolBar->addAction(m_pExport);
  m_pToolBar->addAction(m_pRepair);
  m_pToolBar->addSeparator();
  m_pToolBar->addAction(m_pPrint);
  m_pToolBar->addSeparator();
  m_pToolBar->addAction(m_pPreferences);
  m_pToolBar->addAction(m_pStop);
  m_pToolBar->addSeparator();
  m_pToolBar->addAction(m_pAbout);
  // The toolbar may be docked at any side; its own show/hide follows the menu.
  m_pToolBar->setAllowedAreas(Qt::AllToolBarAreas);
  connect(m_pViewToolBar, &QAction::toggled, m_pToolBar, &QWidget::setVisible);
  connect(m_pToolBar, &QToolBar::visibilityChanged, m_pViewToolBar,
          [this] { m_pViewToolBar->setChecked(!m_pToolBar->isHidden()); });
}

void CMainFrame::CreateFilterBar() {
  addToolBarBreak();
  m_pFilterBar = addToolBar(QStringLiteral("Filter"));
  m_pFilterBar->setObjectName(QStringLiteral("filterbar"));
  m_pFilterBar->setIconSize(QSize(16, 16));
  m_pFilterBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  m_pFilterEdit = new QLineEdit(m_pFilterBar);
  m_pFilterEdit->setPlaceholderText(QStringLiteral("Filter rows (Ctrl+F)"));
  m_pFilterEdit->setClearButtonEnabled(true);
  m_pFilterEdit->setMaximumWidth(320);
  m_pFilterBar->addWidget(m_pFilterEdit);
  m_pFilterBar->addSeparator();
  m_pClassGroup = new QActionGroup(this);
  m_pClassGroup->setExclusive(true);
  auto toggle = [this](const QString& text, std::optional<CheckClass> cls) {
    QAction* action = m_pFilterBar->addAction(text);
    action->setCheckable(true);
    if (cls) action->setIcon(ClassIcon(*cls));
    action->setData(cls ? static_cast<int>(*cls) : -1);
    action->setToolTip(cls ? QStringLiteral("Show only the %1 rows").arg(text)
                           : QStringLiteral("Show the rows of every class"));
    m_pClassGroup->addAction(action);
    return action;
  };
  toggle(QStringLiteral("All"), std::nullopt)->setChecked(true);
  toggle(QStringLiteral("Broken"), CheckClass::Broken);
  toggle(QStringLiteral("Moved"), CheckClass::Moved);
  toggle(QStringLiteral("Not Verified"), CheckClass::NotVerified);
  m_pClassGroup->setEnabled(false);  // a full check's rows have classes
  m_pFilterBar->addSeparator();
  m_pRowCount = new QLabel(m_pFilterBar);
  m_pRowCount->setContentsMargins(6, 0, 6, 0);
  m_pFilterBar->addWidget(m_pRowCount);
  // Out of the way until asked for (Ctrl+F) or a full check runs.
  m_pFilterBar->hide();
}

QList<QAction*> CMainFrame::ClassActions() const {
  return m_pClassGroup->actions();
}

void CMainFrame::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  const QFontMetrics metrics(bar->font());
  auto pane = [&](const QString& text, bool stretch) {
    auto* label = new QLabel(text, bar);
    label->setTextFormat(Qt::PlainText);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setContentsMargins(2, 0, 2, 0);
    if (!stretch) {
      const int frame = 2 * label->frameWidth() + 4 + 2;
      label->setFixedWidth(metrics.horizontalAdvance(text) + frame);
    }
    return label;
  };
  m_panes[0] = pane(QString::fromLatin1(IDLE_PROMPT), true);
  m_panes[1] = pane(QString::fromLatin1(CONNECTION_PANE_TEXT), false);
  m_panes[2] = pane(QString::fromLatin1(METHOD_PANE_TEXT), false);
  m_panes[3] = pane(QStringLiteral(" "), false);
  // The activity bar's place: one blank in the design, which is too narrow
  // to see on this platform; a small fixed area at the right end.
  m_panes[3]->setFixedWidth(
      std::max(m_panes[3]->width(), metrics.horizontalAdvance(QLatin1Char('0')) * 3));
  // Pane 0 is a normal item, so menu and toolbar prompts cover it while they
  // show and "For Help, press F1" comes back after.
  bar->addWidget(m_panes[0], 1);
  for (int i = 1; i < 4; ++i) bar->addPermanentWidget(m_panes[i]);
  m_panes[3]->installEventFilter(this);

  connect(m_pViewStatusBar, &QAction::toggled, bar, &QWidget::setVisible);
}

void CMainFrame::OnCreateClient() {
  m_pSplitter = new QSplitter(Qt::Vertical, this);
  m_pSplitter->setChildrenCollapsible(false);

  m_pTop = new QStackedWidget(m_pSplitter);
  m_pResults = new ResultsTable(m_pTop);
  m_pGroupView = new TargetGroups(m_pTop);
  m_pTop->addWidget(m_pResults);
  m_pTop->addWidget(m_pGroupView);
  connect(m_pGroupView, &TargetGroups::RowActivated, this, &CMainFrame::OpenPage);
  connect(m_pResults, &ResultsTable::PathDropped, this, &CMainFrame::OfferDropped);
  m_pModel = new ResultsModel(m_pView->Rows(), this);
  m_pFilter = new ResultsFilter(this);
  m_pFilter->setSourceModel(m_pModel);
  m_pResults->setModel(m_pFilter);
  m_pResults->setColumnHidden(COL_LINE, true);
  m_pResults->setSortingEnabled(false);
  m_pResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_pResults->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_pResults->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_pResults->setShowGrid(false);
  m_pResults->setWordWrap(false);
  m_pResults->setCornerButtonEnabled(false);
  m_pResults->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  // Every row has the same height, so a list of any length is laid out at once.
  QHeaderView* rows = m_pResults->verticalHeader();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(m_pResults->fontMetrics().height() + 4);
  rows->hide();
  QHeaderView* columns = m_pResults->horizontalHeader();
  columns->setSectionResizeMode(QHeaderView::Interactive);
  columns->setStretchLastSection(false);
  columns->setSectionsMovable(false);
  columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  columns->setHighlightSections(false);
  columns->setSortIndicatorShown(false);
  columns->setSectionsClickable(true);
  connect(columns, &QHeaderView::sectionClicked, this, &CMainFrame::OnHeaderClicked);
  m_pTop->installEventFilter(this);
  connect(m_pFilterEdit, &QLineEdit::textChanged, m_pFilter, &ResultsFilter::SetText);
  connect(m_pClassGroup, &QActionGroup::triggered, this, [this](QAction* action) {
    const int cls = action->data().toInt();
    m_pFilter->SetClass(cls < 0 ? std::nullopt
                                : std::optional<CheckClass>(static_cast<CheckClass>(cls)));
  });
  for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
    connect(m_pFilter, signal, this, &CMainFrame::UpdateRowCount);
  connect(m_pFilter, &QAbstractItemModel::modelReset, this, &CMainFrame::UpdateRowCount);
  connect(m_pFilter, &QAbstractItemModel::layoutChanged, this, &CMainFrame::UpdateRowCount);
  UpdateRowCount();

  // The grouped view follows the rows while it shows, a little behind them.
  m_pGroupTimer = new QTimer(this);
  m_pGroupTimer->setSingleShot(true);
  m_pGroupTimer->setInterval(250);
  auto rebuild = [this] {
    // The rows the filter lets through, in their listed order.
    std::vector<int> shown;
    shown.reserve(static_cast<size_t>(m_pFilter->rowCount()));
    for (int r = 0; r < m_pFilter->rowCount(); ++r)
      shown.push_back(m_pFilter->mapToSource(m_pFilter->index(r, 0)).row());
    std::sort(shown.begin(), shown.end());
    m_pGroupView->Rebuild(m_pView->Rows(), shown, m_bFullRows, SiteRoot());
  };
  connect(m_pGroupTimer, &QTimer::timeout, this, rebuild);
  auto regroup = [this] {
    if (m_pTop->currentWidget() == m_pGroupView && !m_pGroupTimer->isActive()) m_pGroupTimer->start();
  };
  connect(m_pFilter, &QAbstractItemModel::rowsInserted, this, regroup);
  connect(m_pFilter, &QAbstractItemModel::rowsRemoved, this, regroup);
  connect(m_pFilter, &QAbstractItemModel::dataChanged, this, regroup);
  connect(m_pFilter, &QAbstractItemModel::modelReset, this, regroup);
  connect(m_pFilter, &QAbstractItemModel::layoutChanged, this, regroup);
  connect(m_pGroupByTarget, &QAction::toggled, this, [this, rebuild](bool on) {
    if (on) rebuild();
    m_pTop->setCurrentWidget(on ? static_cast<QWidget*>(m_pGroupView) : m_pResults);
  });

  m_pLog = new LogPane(m_pSplitter);

  m_pSplitter->addWidget(m_pTop);
  m_pSplitter->addWidget(m_pLog);
  m_pSplitter->setStretchFactor(0, 0);
  m_pSplitter->setStretchFactor(1, 1);
  setCentralWidget(m_pSplitter);

  // The client height: the window less its menu, toolbar and status bar.
  const int clientHeight =
      std::max(2, height() - menuBar()->sizeHint().height() - m_pToolBar->sizeHint().height() -
                      statusBar()->sizeHint().height());
  const int top =
      TopPaneHeight(m_profile.value(QStringLiteral("Screen/High"), 0).toInt(), clientHeight);
  m_pSplitter->setSizes({top, std::max(1, clientHeight - top)});
  m_pResults->setFocus();
}

void CMainFrame::OnInitialUpdate() {
  if (m_bColumnsReady) return;
  const int width = m_pResults->viewport()->width();
  const std::array<int, 4> widths = InitialColumnWidths(width, *m_app.m_pSettings);
  for (int col = 0; col < 4; ++col) m_pResults->setColumnWidth(col, widths[col]);
  m_pResults->setColumnWidth(COL_LINE,
                             m_pResults->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);
  m_pLog->setFont(m_pResults->font());
  m_bColumnsReady = true;
}

void CMainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  OnInitialUpdate();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_pTop && event->type() == QEvent::Resize && m_bColumnsReady) {
    // The height of the results pane, kept for the next start.
    m_profile.setValue(QStringLiteral("Screen/High"), m_pSplitter->sizes().value(0));
  } else if (watched == m_panes[3] &&
             (event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
    PlaceActivityBar();
  }
  return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::OfferFile(const QString& path) {
  if (!m_pView->OnUpdateSelectFiles()) return;
  // A site address (a full check's crawl) is offered as it is.
  m_pFrame->offeredPath = IsCrawlAddress(ToCore(path)) ? ToCore(path)
                                                       : QFileInfo(path).absoluteFilePath().toStdString();
  m_pView->OnSelectFiles();
  m_pFrame->offeredPath.clear();
}

void CMainFrame::OnHeaderClicked(int column) {
  // Ascending, descending, then back to the order the rows were listed in.
  if (column != m_nSortColumn) {
    m_nSortColumn = column;
    m_sortOrder = Qt::AscendingOrder;
  } else if (m_sortOrder == Qt::AscendingOrder) {
    m_sortOrder = Qt::DescendingOrder;
  } else {
    m_nSortColumn = -1;
    m_sortOrder = Qt::AscendingOrder;
  }
  QHeaderView* header = m_pResults->horizontalHeader();
  header->setSortIndicatorShown(m_nSortColumn >= 0);
  if (m_nSortColumn >= 0) header->setSortIndicator(m_nSortColumn, m_sortOrder);
  m_pFilter->sort(m_nSortColumn, m_sortOrder);
}

void CMainFrame::UpdateRowCount() {
  const int all = m_pModel->rowCount();
  const int shown = m_pFilter->rowCount();
  UpdateHint();
  m_pRowCount->setText(shown == all ? QStringLiteral("%1 rows").arg(all)
                                    : QStringLiteral("%1 of %2 rows").arg(shown).arg(all));
}

QString CMainFrame::SiteRoot() const {
  const std::string& root = m_pView->GetFullCheckOptions().root;
  if (!root.empty()) return FromCore(root);
  const QString last = FromCore(m_pView->Settings().GetString("FileSel", "Starter", ""));
  if (last.isEmpty() || IsCrawlAddress(ToCore(last))) return {};  // a crawl has no local root
  return QFileInfo(last).absolutePath();
}

void CMainFrame::UpdateHint() {
  QString hint;
  const QString what = QStringLiteral(
      "Select File(s)... (Ctrl+O) chooses a page to test,\nor drop a file or folder here.");
  if (m_pView->IsTestRunning() && m_pModel->rowCount() == 0) {
    hint.clear();
  } else if (m_pModel->rowCount() > 0) {
    if (m_pFilter->rowCount() == 0) hint = QStringLiteral("No row matches the filter.");
  } else if (m_bTested) {
    hint = QStringLiteral("The last test listed no failed links.\n\n") + what;
  } else {
    hint = QStringLiteral("Nothing tested yet.\n\n") + what;
  }
  m_pResults->SetHint(hint);
}

void CMainFrame::UpdateToolTips() {
  // With the full check chosen the toolbar's tips are the menu's names.
  const bool names = m_pView->Settings().GetInt("FileSel", "FullCheck", 0) != 0;
  static const std::array<const char*, 5> kDescribed = {"Test File", "Export", "Repair",
                                                        "Preferences", "Stop"};
  const std::array<QAction*, 5> actions = {m_pSelectFiles, m_pExport, m_pRepair, m_pPreferences,
                                           m_pStop};
  for (size_t i = 0; i < actions.size(); ++i) {
    QString tip = QString::fromLatin1(kDescribed[i]);
    if (names) {
      tip = actions[i]->text().section(QLatin1Char('\t'), 0, 0);
      tip.remove(QLatin1Char('&'));
    }
    if (actions[i]->toolTip() != tip) actions[i]->setToolTip(tip);
  }
}

QStringList CMainFrame::RecentTargets() const {
  QStringList targets;
  for (int i = 1; i <= RECENT_TARGETS; ++i) {
    const QString path = m_profile.value(QStringLiteral("Recent File List/File%1").arg(i)).toString();
    if (!path.isEmpty()) targets << path;
  }
  return targets;
}

void CMainFrame::RememberTarget(const QString& path) {
  if (path.isEmpty()) return;
  QStringList targets = RecentTargets();
  targets.removeAll(path);
  targets.prepend(path);
  for (int i = 1; i <= RECENT_TARGETS; ++i) {
    const QString key = QStringLiteral("Recent File List/File%1").arg(i);
    if (i <= targets.size()) {
      m_profile.setValue(key, targets[i - 1]);
    } else {
      m_profile.remove(key);
    }
  }
}

void CMainFrame::FillRecentMenu() {
  m_pRecentMenu->clear();
  const QStringList targets = RecentTargets();
  for (int i = 0; i < targets.size(); ++i) {
    QAction* action = m_pRecentMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(targets[i]));
    const QString path = targets[i];
    connect(action, &QAction::triggered, this, [this, path] { OfferFile(path); });
  }
  m_pRecentMenu->setEnabled(!targets.isEmpty() && m_pView->OnUpdateSelectFiles());
}

void CMainFrame::OfferDropped(const QString& path) {
  if (!m_pView->OnUpdateSelectFiles()) return;
  const QString page = ResultsTable::PageToOffer(path);
  if (page.isEmpty()) {
    statusBar()->showMessage(QStringLiteral("No web page to test in %1").arg(path), 8000);
    return;
  }
  if (QFileInfo(path).isDir()) m_pFrame->offeredChoices = TestChoices{true, true, false};
  OfferFile(page);
  m_pFrame->offeredChoices.reset();
}

void CMainFrame::OnTestStarted(bool full) {
  m_bTested = true;
  RememberTarget(FromCore(m_pView->Settings().GetString("FileSel", "Starter", "")));
  m_bFullRows = full;
  m_pRunTime = std::make_unique<QElapsedTimer>();
  m_pRunTime->start();
  const CProgressDlg* progress = m_pView->ProgressWindow();
  m_nRunPages = progress ? progress->m_wndFileBar.Upper() : 0;
  m_pFrame->PlaceProgress(full);
  m_pModel->SetShowClasses(full);
  m_pResults->setColumnHidden(COL_LINE, !full);
  if (!full) {
    // A standard test's rows have no classes to choose from.
    m_pClassGroup->actions().first()->setChecked(true);
    m_pFilter->SetClass(std::nullopt);
  }
  m_pClassGroup->setEnabled(full);
  if (full) m_pFilterBar->show();
}

void CMainFrame::OnTestEnded() {
  if (!m_bFullRows || !m_pView->FullCheck()) return;
  const CFullCheck& check = *m_pView->FullCheck();
  const CResultRows& rows = m_pView->Rows();
  int64_t broken = 0, moved = 0, unverified = 0;
  for (int row = 0; row < rows.GetItemCount(); ++row) {
    switch (rows.GetItemDetails(row).cls) {
      case CheckClass::Broken: ++broken; break;
      case CheckClass::Moved: ++moved; break;
      case CheckClass::NotVerified: ++unverified; break;
      case CheckClass::Ok: break;
    }
  }
  const double seconds = m_pRunTime ? static_cast<double>(m_pRunTime->elapsed()) / 1000.0 : 0.0;
  const bool complete = m_panes[1]->text() == QLatin1String("Search Complete");
  const QLocale locale;
  Strip()->ShowTotals(
      QStringLiteral("%1%2 links in %3 pages: %4 broken, %5 moved, %6 not verified, %7 skipped; %8 s")
          .arg(complete ? QString() : QStringLiteral("Stopped. "))
          .arg(locale.toString(static_cast<qlonglong>(check.LinksFound())))
          .arg(locale.toString(m_nRunPages))
          .arg(locale.toString(static_cast<qlonglong>(broken)))
          .arg(locale.toString(static_cast<qlonglong>(moved)))
          .arg(locale.toString(static_cast<qlonglong>(unverified)))
          .arg(locale.toString(static_cast<qlonglong>(check.LinksSkipped())))
          .arg(locale.toString(seconds, 'f', 1)));
  m_pStripDock->show();
}

ProgressStrip* CMainFrame::Strip() {
  if (m_pStrip) return m_pStrip;
  m_pStripDock = new QDockWidget(QStringLiteral("Progress"), this);
  m_pStripDock->setObjectName(QStringLiteral("progress"));
  m_pStripDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
  m_pStripDock->setTitleBarWidget(new QWidget(m_pStripDock));
  m_pStrip = new ProgressStrip(m_pStripDock);
  m_pStripDock->setWidget(m_pStrip);
  addDockWidget(Qt::BottomDockWidgetArea, m_pStripDock);
  m_pStripDock->hide();
  return m_pStrip;
}

void CMainFrame::UpdateCommands() {
  const bool running = m_pView->IsTestRunning();
  if (running != m_bWasRunning) {
    m_bWasRunning = running;
    if (running) {
      OnTestStarted(m_pView->FullCheck() && m_pView->FullCheck()->Running());
    } else {
      OnTestEnded();
    }
    UpdateHint();
  }
  UpdateToolTips();
  m_pSelectFiles->setEnabled(m_pView->OnUpdateSelectFiles());
  m_pStop->setEnabled(m_pView->OnUpdateStopTest());
  m_pExport->setEnabled(m_pView->OnUpdateExport());
  m_pRepair->setEnabled(m_pView->OnUpdateRepair());
  m_pViewToolBar->setChecked(!m_pToolBar->isHidden());
  m_pViewStatusBar->setChecked(!statusBar()->isHidden());
}

QProgressBar* CMainFrame::CreateActivityBar() {
  if (m_pActivityBar) return m_pActivityBar;
  m_pActivityBar = new QProgressBar(statusBar());
  m_pActivityBar->setTextVisible(false);
  m_pActivityBar->setRange(0, 1);
  m_pActivityBar->setValue(0);
  PlaceActivityBar();
  m_pActivityBar->show();
  m_pActivityBar->raise();
  return m_pActivityBar;
}

void CMainFrame::PlaceActivityBar() {
  if (!m_pActivityBar) return;
  const QRect pane = m_panes[3]->geometry();
  m_pActivityBar->setGeometry(pane.adjusted(1, 1, -1, -1));
}

void CMainFrame::NextPane(bool forward) {
  (void)forward;  // two panes: either way is the other one
  if (m_pResults->hasFocus()) {
    m_pLog->setFocus(Qt::TabFocusReason);
  } else {
    m_pResults->setFocus(Qt::TabFocusReason);
  }
}

ResultsPrinter& CMainFrame::Printer() {
  if (!m_pPrinter) m_pPrinter = std::make_unique<ResultsPrinter>(m_pView->Rows(), this);
  return *m_pPrinter;
}

// ---------------------------------------------------------------------------
// The rows' commands

void CMainFrame::CreateRowActions() {
  auto make = [this](const char* text, const char* prompt, auto handler) {
    auto* action = new QAction(QString::fromLatin1(text), this);
    action->setStatusTip(QString::fromLatin1(prompt));
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  m_pOpenPage = make("&Open Page at Line", "Open the page in your editor at the link's line",
                     [this] { OpenPage(CurrentRow()); });
  m_pOpenLink = make("Open Link in &Browser", "Open where the link leads",
                     [this] { OpenUrl(LinkTarget(m_pView->Rows(), CurrentRow(), SiteRoot())); });
  m_pUseArchived = make("Use &Archived Copy", "Open the archived copy of the link in your browser",
                        [this] {
                          const int row = CurrentRow();
                          if (row < 0) return;
                          OpenUrl(QUrl(FromCore(m_pView->Rows().GetItemDetails(row).archiveUrl),
                                       QUrl::StrictMode));
                        });
  m_pCopyUrl = make("Copy &URL", "Copy the link as written in the page", [this] {
    QStringList urls;
    for (int row : SelectedRows()) urls << FromCore(m_pView->Rows().GetItemText(row, COL_URL));
    QGuiApplication::clipboard()->setText(urls.join(QLatin1Char('\n')));
  });
  m_pCopyRows = make("&Copy Rows\tCtrl+C", "Copy the selected rows as tab-separated text", [this] {
    QGuiApplication::clipboard()->setText(RowsAsText(m_pView->Rows(), SelectedRows(), m_bFullRows));
  });
  m_pCopyRows->setShortcut(QKeySequence::Copy);
  m_pCopyRows->setShortcutContext(Qt::WidgetShortcut);
  m_pResults->addAction(m_pCopyRows);
  m_pCheckAgain = make("Check &Again", "Run the last test again", [this] { CheckAgain(); });
  m_pSkipLink = make("&Skip This Link", "Do not test this link in later full checks", [this] {
    AddSkipPattern(SkipLinkPattern(m_pView->Rows().GetItemText(CurrentRow(), COL_URL)));
  });
  m_pSkipHost = make("Skip This &Host", "Do not test links to this host in later full checks",
                     [this] { AddSkipPattern(SkipHostPattern(LinkTarget(m_pView->Rows(), CurrentRow(), SiteRoot())));
                     });

  // Ctrl+C works whenever rows are selected, not only after the menu showed.
  connect(m_pResults->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    const bool selected = m_pResults->selectionModel()->hasSelection();
    m_pCopyRows->setEnabled(selected);
    m_pCopyUrl->setEnabled(selected);
  });

  m_pRowMenu = new QMenu(this);
  m_pRowMenu->addAction(m_pOpenPage);
  m_pRowMenu->addAction(m_pOpenLink);
  m_pRowMenu->addAction(m_pUseArchived);
  m_pRowMenu->addSeparator();
  m_pRowMenu->addAction(m_pCopyUrl);
  m_pRowMenu->addAction(m_pCopyRows);
  m_pRowMenu->addSeparator();
  m_pRowMenu->addAction(m_pCheckAgain);
  m_pRowMenu->addAction(m_pSkipLink);
  m_pRowMenu->addAction(m_pSkipHost);
  m_pResults->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(m_pResults, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    RowMenu()->popup(m_pResults->viewport()->mapToGlobal(at));
  });
  connect(m_pResults, &QAbstractItemView::doubleClicked, this,
          [this](const QModelIndex& index) { OpenPage(m_pFilter->mapToSource(index).row()); });
}

QMenu* CMainFrame::RowMenu() {
  UpdateRowActions();
  return m_pRowMenu;
}

void CMainFrame::UpdateRowActions() {
  const int row = CurrentRow();
  const bool selected = !SelectedRows().empty();
  const CResultRows& rows = m_pView->Rows();
  m_pOpenPage->setEnabled(row >= 0 && !rows.GetItemText(row, COL_FILE).empty());
  const QUrl target = LinkTarget(rows, row, SiteRoot());
  m_pOpenLink->setEnabled(target.isValid());
  // Archived copies are looked up by the full check only.
  m_pUseArchived->setVisible(m_bFullRows);
  m_pUseArchived->setEnabled(row >= 0 && !rows.GetItemDetails(row).archiveUrl.empty());
  m_pCopyUrl->setEnabled(selected);
  m_pCopyRows->setEnabled(selected);
  m_pCheckAgain->setEnabled(!m_pView->IsTestRunning() &&
                            !m_pView->Settings().GetString("FileSel", "Starter", "").empty());
  // Skip patterns are the full check's.
  m_pSkipLink->setEnabled(row >= 0 && m_bFullRows);
  m_pSkipHost->setEnabled(row >= 0 && m_bFullRows && !SkipHostPattern(target).empty());
}

std::vector<int> CMainFrame::SelectedRows() const {
  QModelIndexList shown = m_pResults->selectionModel()->selectedRows();
  std::sort(shown.begin(), shown.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<int> rows;
  for (const QModelIndex& index : shown) rows.push_back(m_pFilter->mapToSource(index).row());
  return rows;
}

int CMainFrame::CurrentRow() const {
  const QModelIndex current = m_pFilter->mapToSource(m_pResults->currentIndex());
  return current.isValid() ? current.row() : -1;
}

void CMainFrame::OpenPage(int row) {
  const CResultRows& rows = m_pView->Rows();
  if (row < 0 || row >= rows.GetItemCount()) return;
  // A crawled page is not a file to edit: it opens in the browser.
  const std::string& crawled = rows.GetItemText(row, COL_FILE);
  if (IsCrawlAddress(crawled)) return OpenUrl(QUrl(FromCore(crawled)));
  const QString page = QFileInfo(FromCore(rows.GetItemText(row, COL_FILE))).absoluteFilePath();
  const QStringList command =
      EditorCommand(qEnvironmentVariable("VISUAL"), qEnvironmentVariable("EDITOR"), page,
                    rows.GetItemDetails(row).line);
  if (!command.isEmpty()) {
    if (startHook) return startHook(command);
    if (QProcess::startDetached(command.first(), command.mid(1))) return;
  }
  OpenUrl(QUrl::fromLocalFile(page));
}

void CMainFrame::OpenUrl(const QUrl& url) {
  if (!url.isValid()) return;
  if (openUrlHook) return openUrlHook(url);
  if (!QDesktopServices::openUrl(url))
    statusBar()->showMessage(QStringLiteral("No program opens %1").arg(url.toDisplayString()), 5000);
}

void CMainFrame::CheckAgain() {
  CSettingsStore& settings = m_pView->Settings();
  const std::string path = settings.GetString("FileSel", "Starter", "");
  if (path.empty() || m_pView->IsTestRunning()) return;
  TestChoices choices;
  choices.recurse = settings.GetInt("FileSel", "Recurse", 0) != 0;
  choices.allFiles = settings.GetInt("FileSel", "AllFiles", 0) != 0;
  choices.filter = settings.GetInt("FileSel", "Filter", 0) != 0;
  FullCheckOptions full = m_pView->GetFullCheckOptions();
  full.enabled = settings.GetInt("FileSel", "FullCheck", 0) != 0;
  m_pView->StartTest(path, choices, full);
}

void CMainFrame::AddSkipPattern(const std::string& pattern) {
  if (pattern.empty()) return;
  FullCheckOptions options = m_pView->GetFullCheckOptions();
  std::vector<std::string>& patterns = options.skipPatterns;
  if (std::find(patterns.begin(), patterns.end(), pattern) == patterns.end()) {
    patterns.push_back(pattern);
    CSkipList check;
    if (!check.Compile(patterns)) return;
    m_pView->Settings().SetString("Settings", "SkipLinks", JoinPatternLines(patterns));
    m_pView->SetFullCheckOptions(options);
  }
  statusBar()->showMessage(
      QStringLiteral("Later full checks skip links matching %1 (see Preferences)").arg(FromCore(pattern)),
      8000);
}

// ---------------------------------------------------------------------------
// Closing

bool CMainFrame::OnClose() {
  if (!ConfirmQuit(m_pView->Rows(), *m_pFrame)) {
    UpdateCommands();
    return false;
  }
  std::array<int, 4> widths{};
  for (int col = 0; col < 4; ++col) widths[col] = m_pResults->columnWidth(col);
  StoreColumnWidths(*m_app.m_pSettings, widths);
  m_profile.sync();
  return true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (OnClose()) {
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace linkward

// CMainFrame: Linkward's main window. Menu, accelerators, toolbar, the status
// bar's four panes, and a two-row splitter with the results list on top and
// the log pane below. It remembers its placement, the height of the results
// pane and the column widths, and asks before quitting with unrepaired rows.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QStringList>
#include <QUrl>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "app/MainFrameRules.h"
#include "gui/ResultsTable.h"

class QAction;
class QActionGroup;
class QDockWidget;
class QElapsedTimer;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QSettings;
class QSplitter;
class QStackedWidget;
class QTimer;
class QTableView;
class QToolBar;

namespace linkward {

class CLinkwardApp;
class CLinkwardDoc;
class CLinkwardView;
class IEventLoop;
class LogPane;
class ProgressStrip;
class TargetGroups;
class QtFrame;
class ResultsFilter;
class ResultsModel;
class ResultsPrinter;

constexpr const char* CONNECTION_PANE_TEXT =
    "Connection Status                                         ";
constexpr const char* METHOD_PANE_TEXT = "HTTP Method Status                 ";
constexpr const char* IDLE_PROMPT = "For Help, press F1";

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  // profile: the program's profile ("Screen"/"High"). scratchDir: where the
  // view keeps its scratch copies.
  CMainFrame(CLinkwardApp& app, QSettings& profile, IEventLoop& loop, std::string scratchDir,
             QWidget* parent = nullptr);
  ~CMainFrame() override;

  CLinkwardView& View() { return *m_pView; }
  QtFrame& Frame() { return *m_pFrame; }
  ResultsModel* Model() const { return m_pModel; }
  // The rows as the list shows them: filtered and in the order chosen.
  ResultsFilter* Filter() const { return m_pFilter; }
  QToolBar* FilterBar() const { return m_pFilterBar; }
  QLineEdit* FilterEdit() const { return m_pFilterEdit; }
  // The class toggles: all, Broken, Moved, Not Verified.
  QList<QAction*> ClassActions() const;
  QLabel* RowCountLabel() const { return m_pRowCount; }
  // Whether the rows shown are a full check's.
  bool FullRows() const { return m_bFullRows; }
  QTableView* ResultsView() const { return m_pResults; }
  LogPane* Log() const { return m_pLog; }
  QSplitter* Splitter() const { return m_pSplitter; }
  QToolBar* ToolBar() const { return m_pToolBar; }
  QLabel* Pane(int pane) const { return m_panes[pane]; }
  QProgressBar* ActivityBar() const { return m_pActivityBar; }
  // The placement chosen before the window was shown.

  // The commands, as the menu and toolbar give them.
  QAction* SelectFilesAction() const { return m_pSelectFiles; }
  QAction* ExportAction() const { return m_pExport; }
  QAction* RepairAction() const { return m_pRepair; }
  QAction* PrintAction() const { return m_pPrint; }
  QAction* PreferencesAction() const { return m_pPreferences; }
  QAction* StopAction() const { return m_pStop; }

  // The rows' commands, as the list's context menu gives them.
  QAction* OpenPageAction() const { return m_pOpenPage; }
  QAction* OpenLinkAction() const { return m_pOpenLink; }
  QAction* UseArchivedAction() const { return m_pUseArchived; }
  QAction* CopyUrlAction() const { return m_pCopyUrl; }
  QAction* CopyRowsAction() const { return m_pCopyRows; }
  QAction* CheckAgainAction() const { return m_pCheckAgain; }
  QAction* SkipLinkAction() const { return m_pSkipLink; }
  QAction* SkipHostAction() const { return m_pSkipHost; }
  // The context menu as it stands for the current row (shown by a right click).
  QMenu* RowMenu();
  // Instead of starting a program or opening a URL on the desktop (tests).
  std::function<void(const QStringList& command)> startHook;
  std::function<void(const QUrl& url)> openUrlHook;

  // Opens Select File(s) on path (a file given on the command line, as
  // "Open With" does); the test starts only when the user says OK.
  void OfferFile(const QString& path);
  // A file or folder dropped on the window: Select File(s) offers its page,
  // with the sub-directories for a folder.
  void OfferDropped(const QString& path);
  // The targets tested last, newest first (at most RECENT_TARGETS).
  QStringList RecentTargets() const;
  QMenu* RecentMenu() const { return m_pRecentMenu; }
  static constexpr int RECENT_TARGETS = 4;
  // The full check's progress and, after it, its totals: docked under the
  // list (made when first asked for, hidden for a standard test).
  ProgressStrip* Strip();
  QDockWidget* StripDock() const { return m_pStripDock; }
  // View > Group by Target, and the grouped rows it shows in the list's place.
  QAction* GroupByTargetAction() const { return m_pGroupByTarget; }
  TargetGroups* GroupView() const { return m_pGroupView; }
  // Refreshes the enabled state of the commands from the view.
  void UpdateCommands();
  // Creates the activity bar over pane 3 (once).
  QProgressBar* CreateActivityBar();
  // The column set-up of the results list; runs once, when the window is
  // first shown and the list has its width.
  void OnInitialUpdate();
  // Closes after the quit question; false when the window stays open.
  bool OnClose();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PreCreateWindow();
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  void OnCreateClient();
  void OnWindowPosChanged();
  void PlaceActivityBar();
  void NextPane(bool forward);
  void CreateFilterBar();
  // A test began (full: a full check) or ended: what the list offers follows.
  void OnTestStarted(bool full);
  void OnTestEnded();
  void OnHeaderClicked(int column);
  void UpdateRowCount();
  void CreateRowActions();
  void UpdateRowActions();
  // The core rows selected, in the order shown; the current row (-1: none).
  std::vector<int> SelectedRows() const;
  int CurrentRow() const;
  void OpenPage(int row);
  void OpenUrl(const QUrl& url);
  void CheckAgain();
  void AddSkipPattern(const std::string& pattern);
  void UpdateHint();
  // Where links from "/" start: the full check's root, else the folder of
  // the page tested last.
  QString SiteRoot() const;
  void UpdateToolTips();
  void RememberTarget(const QString& path);
  void FillRecentMenu();
  ResultsPrinter& Printer();

  CLinkwardApp& m_app;
  QSettings& m_profile;
  std::unique_ptr<QtFrame> m_pFrame;
  std::unique_ptr<CLinkwardDoc> m_pDoc;
  std::unique_ptr<CLinkwardView> m_pView;
  std::unique_ptr<ResultsPrinter> m_pPrinter;
  WindowPlacement m_initialPlacement;

  QSplitter* m_pSplitter = nullptr;
  ResultsTable* m_pResults = nullptr;
  ResultsModel* m_pModel = nullptr;
  LogPane* m_pLog = nullptr;
  QToolBar* m_pToolBar = nullptr;
  std::array<QLabel*, 4> m_panes{};
  QPointer<QProgressBar> m_pActivityBar;
  bool m_bColumnsReady = false;
  ResultsFilter* m_pFilter = nullptr;
  QToolBar* m_pFilterBar = nullptr;
  QLineEdit* m_pFilterEdit = nullptr;
  QActionGroup* m_pClassGroup = nullptr;
  QLabel* m_pRowCount = nullptr;
  QAction* m_pFind = nullptr;
  QAction* m_pOpenPage = nullptr;
  QAction* m_pOpenLink = nullptr;
  QAction* m_pUseArchived = nullptr;
  QAction* m_pCopyUrl = nullptr;
  QAction* m_pCopyRows = nullptr;
  QAction* m_pCheckAgain = nullptr;
  QAction* m_pSkipLink = nullptr;
  QAction* m_pSkipHost = nullptr;
  QMenu* m_pRowMenu = nullptr;
  QMenu* m_pRecentMenu = nullptr;
  bool m_bTested = false;  // a test has run in this session
  QDockWidget* m_pStripDock = nullptr;
  ProgressStrip* m_pStrip = nullptr;
  std::unique_ptr<QElapsedTimer> m_pRunTime;
  int m_nRunPages = 0;
  QStackedWidget* m_pTop = nullptr;
  TargetGroups* m_pGroupView = nullptr;
  QAction* m_pGroupByTarget = nullptr;
  QTimer* m_pGroupTimer = nullptr;
  int m_nSortColumn = -1;
  Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
  bool m_bWasRunning = false;
  bool m_bFullRows = false;

  QAction* m_pSelectFiles = nullptr;
  QAction* m_pExport = nullptr;
  QAction* m_pRepair = nullptr;
  QAction* m_pPrint = nullptr;
  QAction* m_pPrintPreview = nullptr;
  QAction* m_pPrintSetup = nullptr;
  QAction* m_pExit = nullptr;
  QAction* m_pViewToolBar = nullptr;
  QAction* m_pViewStatusBar = nullptr;
  QAction* m_pPreferences = nullptr;
  QAction* m_pStop = nullptr;
  QAction* m_pHelpTopics = nullptr;
  QAction* m_pAbout = nullptr;
};

}  // namespace linkward

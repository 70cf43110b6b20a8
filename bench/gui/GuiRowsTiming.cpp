// Timed run: 100,000 result rows and 100,000 log lines added to the desktop
// program's main window the way a test adds them (row, reason, site name;
// one log line per link), with the event loop turning in between as it does
// between ticks. Prints the time spent adding and the longest single turn of
// the event loop (what a user would feel as a stall). Figures, not asserts.
//
//   QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$(mktemp -d) gui_rows_timing [rows]
#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "TimedWindow.h"
#include "engine/LinkwardView.h"
#include "gui/LinkwardGuiApp.h"
#include "gui/LogPane.h"
#include "gui/MainFrame.h"
#include "gui/QtFrame.h"
#include "gui/ResultsModel.h"

using namespace linkward;

int main(int argc, char* argv[]) {
  QApplication qapp(argc, argv);
  const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  QTemporaryDir dir;
  const std::unique_ptr<CLinkwardGuiApp> app = ShowTimedWindow(dir);
  if (!app) return 1;
  CMainFrame& main = *app->MainFrame();
  CLinkwardView& view = main.View();

  // Ten links per tick: the most a test can start in a tick is one, so this
  // is ten times harder than a real run.
  constexpr int PER_TURN = 10;
  QElapsedTimer total;
  QElapsedTimer turn;
  qint64 addNs = 0;
  qint64 longestTurnNs = 0;
  qint64 firstTurnsNs = 0;  // the first 1,000 turns
  qint64 lastTurnsNs = 0;   // the last 1,000 turns
  const int turns = rows / PER_TURN;
  total.start();
  for (int i = 0; i < rows; ++i) {
    turn.start();
    const std::string n = std::to_string(i);
    view.AddResultText("http://host" + n + ".example/page/" + n + ".html", RowStep::Url);
    view.AddResultText("HTTP Code 404 Not Found", RowStep::Reason);
    view.AddResultText("Anchor text of link " + n, RowStep::Site);
    view.AppendLog("Testing: /srv/www/site/page" + n + ".htm");
    addNs += turn.nsecsElapsed();
    if ((i + 1) % PER_TURN == 0) {
      turn.start();
      QApplication::processEvents();
      const qint64 ns = turn.nsecsElapsed();
      longestTurnNs = std::max(longestTurnNs, ns);
      const int index = (i + 1) / PER_TURN - 1;
      if (index < 1000) firstTurnsNs += ns;
      if (index >= turns - 1000) lastTurnsNs += ns;
    }
  }
  turn.start();
  main.ResultsView()->scrollToBottom();
  QApplication::processEvents();
  const qint64 finalNs = turn.nsecsElapsed();
  const qint64 totalMs = total.elapsed();

  std::printf("rows added:            %d (model rows %d, log lines %d)\n", rows,
              main.Model()->rowCount(), main.Log()->blockCount());
  std::printf("time spent adding:     %.1f ms (%.2f us per row with its log line)\n", addNs / 1e6,
              addNs / 1e3 / rows);
  std::printf("longest event-loop turn (paint, log flush): %.1f ms\n", longestTurnNs / 1e6);
  std::printf("mean turn, first 1,000: %.2f ms; last 1,000: %.2f ms\n", firstTurnsNs / 1e9,
              lastTurnsNs / 1e9);
  std::printf("scroll to the last row: %.1f ms\n", finalNs / 1e6);
  std::printf("whole run:             %lld ms\n", static_cast<long long>(totalMs));
  main.Frame().messageBoxHook = [](const std::string&, BoxStyle) { return Answer::Yes; };
  app->ExitInstance();
  return 0;
}

// Timed run: a full check of a site through the desktop program's main
// window, as Select File(s) starts it, while a 5 ms timer measures how long
// the event loop is kept from turning. Prints the run's length, the longest
// gap between two firings of the timer beyond its interval (what a user would
// feel as a stall) and how many gaps exceeded 50 ms. Figures, not asserts.
// With a delay after the end (seconds) the window stays up to be looked at.
//
//   fullcheck_server SITE &     # serves SITE/index.html's links on loopback
//   XDG_CONFIG_HOME=$(mktemp -d) gui_fullcheck_timing SITE/index.html [linger]
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "TimedWindow.h"
#include "engine/LinkwardView.h"
#include "gui/LinkwardGuiApp.h"
#include "gui/MainFrame.h"
#include "gui/QtFrame.h"

using namespace linkward;

namespace {

// Times every event delivery; remembers the longest and what received it.
class TimedApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    if (++m_depth > 1) {
      const bool handled = QApplication::notify(receiver, event);
      --m_depth;
      return handled;
    }
    QElapsedTimer t;
    t.start();
    const int type = event->type();
    const char* name = receiver->metaObject()->className();
    const bool handled = QApplication::notify(receiver, event);
    const qint64 ns = t.nsecsElapsed();
    --m_depth;
    if (ns > longestNs) {
      longestNs = ns;
      longestType = type;
      longestReceiver = name;
    }
    return handled;
  }
  qint64 longestNs = 0;
  int longestType = 0;
  const char* longestReceiver = "";

 private:
  int m_depth = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
  TimedApplication qapp(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: gui_fullcheck_timing PAGE [linger seconds]\n");
    return 2;
  }
  const int linger = argc > 2 ? std::atoi(argv[2]) : 0;
  QTemporaryDir dir;
  const std::unique_ptr<CLinkwardGuiApp> app = ShowTimedWindow(dir);
  if (!app) return 1;
  CMainFrame& main = *app->MainFrame();
  CLinkwardView& view = main.View();

  constexpr int INTERVAL_MS = 5;
  QElapsedTimer run;
  QElapsedTimer gap;
  qint64 longestNs = 0;
  int over50 = 0;
  int firings = 0;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 late = gap.nsecsElapsed() - INTERVAL_MS * 1000000LL;
    gap.start();
    ++firings;
    longestNs = std::max(longestNs, late);
    if (late > 50000000LL) {
      ++over50;
      std::printf("  stall of %.1f ms ending %lld ms after the start\n", late / 1e6,
                  static_cast<long long>(run.elapsed()));
    }
    if (!view.IsTestRunning()) {
      ticker.stop();
      std::printf(
          "full check: %lld ms, %d rows; longest stall %.1f ms, %d stalls over 50 ms, %d "
          "timer firings\n",
          static_cast<long long>(run.elapsed()), view.Rows().GetItemCount(), longestNs / 1e6,
          over50, firings);
      std::printf("longest event delivery: %.1f ms, event type %d to a %s\n", qapp.longestNs / 1e6,
                  qapp.longestType, qapp.longestReceiver);
      std::fflush(stdout);
      QTimer::singleShot(linger * 1000, &qapp, &QApplication::quit);
    }
  });

  FullCheckOptions full = view.GetFullCheckOptions();
  full.enabled = true;
  run.start();
  view.StartTest(argv[1], {false, true, false}, full);
  if (!view.IsTestRunning()) return 1;
  gap.start();
  ticker.start(INTERVAL_MS);
  const int status = qapp.exec();
  app->ExitInstance();
  return status;
}

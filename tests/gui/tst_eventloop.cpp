// The Qt event loop port: timers by id that restart when set again and drop
// a pending expiry when killed, and socket watches that report data as
// SocketEvent::Read and the peer's close once as SocketEvent::Close. (Its
// readiness watches carry the full check in the main window's test.)
#include <sys/socket.h>
#include <unistd.h>

#include "GuiTest.h"
#include "gui/QtEventLoop.h"

using namespace linkward;

class TestEventLoop : public QObject {
  Q_OBJECT

 private slots:
  // The replacement fires, repeatedly, until killed. Only a lower bound on
  // time: a busy machine delays timers but cannot make this fail; the first
  // countdown is far longer than any stall. Then a pending expiry is dropped
  // when its timer is killed.
  void aTimerSetAgainRestartsFiresUntilKilledAndDropsAPendingExpiry() {
    QtEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    loop.SetTimer(1, 600000, [](int) {});
    QTest::qWait(100);
    const qint64 replacedAt = clock.elapsed();
    QList<qint64> fired;
    loop.SetTimer(1, 150, [&](int id) {
      QCOMPARE(id, 1);
      fired << clock.elapsed();
      if (fired.size() == 3) loop.KillTimer(1);
    });
    QTRY_COMPARE(fired.size(), 3);
    QTest::qWait(200);
    QCOMPARE(fired.size(), 3);
    QVERIFY(!loop.HasTimer(1));
    // From the replacement, not the first setting; a little slack for rounding.
    QVERIFY2(fired[0] - replacedAt >= 142, qPrintable(QString::number(fired[0] - replacedAt)));

    // Both expire in the same turn; the first handler kills the second timer.
    int second = 0;
    loop.SetTimer(1, 5, [&](int) {
      fired << 0;
      loop.KillTimer(1);
      loop.KillTimer(2);
    });
    loop.SetTimer(2, 5, [&](int) { ++second; });
    QThread::msleep(30);
    QTRY_COMPARE(fired.size(), 4);
    QTest::qWait(50);
    QCOMPARE(second, 0);
  }

  // The handler removes its own watch and closes the socket on the close.
  void socketReportsDataThenCloseOnce() {
    int fds[2];
    QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    QtEventLoop loop;
    QList<int> events;
    loop.WatchSocket(fds[0], [&](int fd, int event, int error) {
      QCOMPARE(fd, fds[0]);
      QCOMPARE(error, 0);
      events << event;
      char buffer[16];
      if (event == SocketEvent::Read) QVERIFY(::recv(fd, buffer, sizeof buffer, 0) > 0);
      if (event == SocketEvent::Close) {
        loop.UnwatchSocket(fd);
        ::close(fd);
      }
    });
    QCOMPARE(::send(fds[1], "reply", 5, 0), 5);
    QTRY_COMPARE(events, QList<int>{SocketEvent::Read});
    ::close(fds[1]);
    QTRY_COMPARE(events, (QList<int>{SocketEvent::Read, SocketEvent::Close}));
    QTest::qWait(50);
    QCOMPARE(events.size(), 2);
    QCOMPARE(loop.WatchCount(), 0);
  }
};

LINKWARD_TEST_MAIN(TestEventLoop)
#include "tst_eventloop.moc"

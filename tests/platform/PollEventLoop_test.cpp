#include "platform/PollEventLoop.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <vector>

using namespace linkward;

namespace {

class VirtualLoopTest : public ::testing::Test {
 protected:
  CPollEventLoop loop{true};
  std::vector<int64_t> fired;  // the loop time of every expiry
  IEventLoop::TimerFn Record() {
    return [this](int) { fired.push_back(loop.NowMs()); };
  }
};

TEST_F(VirtualLoopTest, PeriodicTimersJumpVirtualTimeAndRestartWhenSetAgain) {
  loop.SetTimer(103, 100, Record());
  loop.RunFor(350);
  EXPECT_EQ(fired, (std::vector<int64_t>{100, 200, 300}));
  loop.SetTimer(103, 100, Record());  // restarts the countdown at 350
  loop.RunFor(60);
  loop.SetTimer(103, 100, Record());  // and again at 410
  loop.RunFor(100);
  EXPECT_EQ(fired.back(), 510);
  loop.KillTimer(103);
  EXPECT_FALSE(loop.HasTimer(103));
  EXPECT_FALSE(loop.RunOnce());  // nothing left to wait for
  // An hour of loop time passes at once: no socket is watched.
  loop.SetTimer(105, 3'600'000, Record());
  ASSERT_TRUE(loop.RunOnce());
  EXPECT_EQ(fired.back(), 510 + 3'600'000);
}

TEST_F(VirtualLoopTest, HandlersMayKillOrReplaceTheirOwnOrAnotherTimer) {
  std::vector<int> ids;
  // 1 and 2 are both due at 100; whichever fires first kills the other.
  auto killOther = [&](int id) {
    ids.push_back(id);
    loop.KillTimer(id == 1 ? 2 : 1);
  };
  loop.SetTimer(1, 100, killOther);
  loop.SetTimer(2, 100, killOther);
  int count = 0;
  loop.SetTimer(7, 10, [&](int id) {
    if (++count == 2) loop.KillTimer(id);
  });
  loop.SetTimer(8, 10, [&](int id) {
    fired.push_back(loop.NowMs());
    loop.SetTimer(id, 50, Record());  // from now on a 50 ms timer with the recorder
  });
  loop.RunFor(350);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(ids, std::vector<int>(3, ids.at(0)));
  EXPECT_EQ(fired, (std::vector<int64_t>{10, 60, 110, 160, 210, 260, 310}));
}

TEST_F(VirtualLoopTest, RunUntilStopsWhenDoneAndQuitStopsEarly) {
  loop.SetTimer(1, 10, Record());
  loop.RunUntil([&] { return fired.size() == 5; });
  EXPECT_EQ(loop.NowMs(), 50);
  loop.SetTimer(2, 1, [&](int) { loop.Quit(); });
  loop.RunUntil([] { return false; });
  EXPECT_EQ(loop.NowMs(), 51);
  EXPECT_EQ(fired.size(), 5u);
}

class SocketWatchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
  void TearDown() override {
    for (int fd : fds)
      if (fd >= 0) ::close(fd);
  }
  void CloseEnd(int i) {
    ::close(fds[i]);
    fds[i] = -1;
  }
  // Records (fd, event) pairs and drains what is readable.
  IEventLoop::SocketFn Recorder() {
    return [this](int fd, int event, int error) {
      events.push_back({fd, event});
      EXPECT_EQ(error, 0);
      char buf[16];
      if (event == SocketEvent::Read) ::recv(fd, buf, sizeof buf, 0);
    };
  }
  int fds[2] = {-1, -1};
  std::vector<std::vector<int>> events;
};

TEST_F(SocketWatchTest, DataWaitingBeforeTheCloseIsReadFirstThenOneCloseOnly) {
  CPollEventLoop loop(true);
  loop.WatchSocket(fds[0], Recorder());
  ::send(fds[1], "x", 1, 0);
  CloseEnd(1);
  loop.RunFor(50);
  EXPECT_FALSE(loop.RunOnce(20));  // SocketEvent::Close is delivered once per watch
  EXPECT_EQ(events, (std::vector<std::vector<int>>{{fds[0], SocketEvent::Read},
                                                   {fds[0], SocketEvent::Close}}));
  EXPECT_EQ(loop.WatchCount(), 1);
}

TEST_F(SocketWatchTest, SocketNotificationGoesBeforeADueTimer) {
  CPollEventLoop loop;
  std::vector<int> order;
  loop.SetTimer(1, 1, [&](int id) {
    order.push_back(0);
    loop.KillTimer(id);
  });
  loop.WatchSocket(fds[0], [&](int fd, int, int) {
    order.push_back(1);
    loop.UnwatchSocket(fd);
  });
  ::send(fds[1], "x", 1, 0);
  ::usleep(5000);  // the timer is due too when the loop looks
  loop.RunFor(20);
  EXPECT_EQ(order, (std::vector<int>{1, 0}));
}

TEST_F(SocketWatchTest, HandlerMayDestroyItsOwnerAndCloseItsDescriptor) {
  CPollEventLoop loop(true);
  struct Owner {
    CPollEventLoop& loop;
    int fd;
    ~Owner() {
      loop.UnwatchSocket(fd);
      ::close(fd);
    }
  };
  std::unique_ptr<Owner> owner(new Owner{loop, fds[0]});
  fds[0] = -1;
  int calls = 0;
  // The callback's captures live in the loop's copy; the handler frees the
  // owner and with it the watch that holds the callback.
  loop.WatchSocket(owner->fd, [&, big = std::vector<int>(64, 7)](int, int, int) {
    ++calls;
    owner.reset();
    EXPECT_EQ(big[63], 7);  // still readable after the watch is gone
  });
  ::send(fds[1], "x", 1, 0);
  ASSERT_TRUE(loop.RunOnce(1000));
  EXPECT_FALSE(loop.RunOnce(20));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(loop.WatchCount(), 0);
}

TEST_F(SocketWatchTest, WatchedSocketAdvancesTheVirtualClockByRealTimeOnly) {
  CPollEventLoop loop(true);
  loop.WatchSocket(fds[0], [](int, int, int) {});
  bool fired = false;
  loop.SetTimer(1, 10'000, [&](int) { fired = true; });
  // While a socket is watched the loop waits for real: 20 ms pass, not 10 s.
  EXPECT_FALSE(loop.RunOnce(20));
  EXPECT_FALSE(fired);
  EXPECT_GE(loop.NowMs(), 20);
  EXPECT_LT(loop.NowMs(), 10'000);
  loop.UnwatchSocket(fds[0]);  // with no watch left the clock jumps to the expiry
  ASSERT_TRUE(loop.RunOnce());
  EXPECT_TRUE(fired);
  EXPECT_EQ(loop.NowMs(), 10'000);
}

}  // namespace

TEST_F(SocketWatchTest, ReadinessWatchesReportWhatHoldsForAsLongAsItHolds) {
  struct Row {
    const char* name;
    int asked;
    bool sendData;
    bool closePeer;
    int reported;  // 0: nothing within the wait
  } rows[] = {
      {"writable", SocketEvent::Writable, false, false, SocketEvent::Writable},
      {"nothing to read", SocketEvent::Readable, false, false, 0},
      {"data waiting", SocketEvent::Readable, true, false, SocketEvent::Readable},
      {"both, data waiting", SocketEvent::Readable | SocketEvent::Writable, true, false,
       SocketEvent::Readable | SocketEvent::Writable},
      {"peer gone", SocketEvent::Readable, false, true, SocketEvent::Readable | SocketEvent::Error},
      {"errors only, peer gone", 0, false, true, SocketEvent::Error},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TearDown();
    SetUp();
    CPollEventLoop loop;
    std::vector<int> seen;
    loop.WatchReadiness(fds[0], row.asked, [&](int, int event, int) { seen.push_back(event); });
    if (row.sendData) ::send(fds[1], "x", 1, 0);
    if (row.closePeer) CloseEnd(1);
    loop.RunOnce(20);
    loop.RunOnce(20);  // level-triggered: nothing was read, so it is told again
    EXPECT_EQ(seen, row.reported ? std::vector<int>(2, row.reported) : std::vector<int>{});
    // Asking again replaces the watch; removing it silences it.
    loop.WatchReadiness(fds[0], SocketEvent::Writable, [&](int, int, int) { seen.push_back(-1); });
    loop.UnwatchSocket(fds[0]);
    EXPECT_FALSE(loop.RunOnce(0));
    EXPECT_EQ(loop.WatchCount(), 0);
  }
}

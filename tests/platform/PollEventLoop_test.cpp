#include "platform/PollEventLoop.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <utility>
#include <vector>

namespace {

struct Fired {
  int id;
  int64_t at;
};

class VirtualLoopTest : public ::testing::Test {
 protected:
  CPollEventLoop loop{true};
  std::vector<Fired> fired;

  IEventLoop::TimerFn Record() {
    return [this](int id) { fired.push_back({id, loop.NowMs()}); };
  }
};

TEST_F(VirtualLoopTest, PeriodicTimerFiresEveryPeriodOnVirtualTime) {
  loop.SetTimer(103, 100, Record());
  loop.RunFor(350);
  ASSERT_EQ(fired.size(), 3u);
  EXPECT_EQ(fired[0].at, 100);
  EXPECT_EQ(fired[1].at, 200);
  EXPECT_EQ(fired[2].at, 300);
  EXPECT_EQ(loop.NowMs(), 350);
}

TEST_F(VirtualLoopTest, LongWaitsJumpTheClockWithoutSleeping) {
  // An hour of loop time passes at once: no socket is watched.
  loop.SetTimer(105, 3'600'000, Record());
  ASSERT_TRUE(loop.RunOnce());
  ASSERT_EQ(fired.size(), 1u);
  EXPECT_EQ(fired[0].at, 3'600'000);
}

TEST_F(VirtualLoopTest, SettingATimerAgainReplacesItsCountdown) {
  loop.SetTimer(105, 100, Record());
  loop.RunFor(60);
  loop.SetTimer(105, 100, Record());  // restarts at 60
  loop.RunFor(100);
  ASSERT_EQ(fired.size(), 1u);
  EXPECT_EQ(fired[0].at, 160);
}

TEST_F(VirtualLoopTest, KillStopsATimerForGood) {
  loop.SetTimer(103, 10, Record());
  loop.RunFor(25);
  loop.KillTimer(103);
  loop.RunFor(100);
  EXPECT_EQ(fired.size(), 2u);
  EXPECT_FALSE(loop.HasTimer(103));
  EXPECT_FALSE(loop.RunOnce());  // nothing left to wait for
}

TEST_F(VirtualLoopTest, KillInAHandlerDropsAnotherTimersDueExpiry) {
  // Both are due at 100; whichever fires first kills the other.
  auto killOther = [this](int id) {
    fired.push_back({id, loop.NowMs()});
    loop.KillTimer(id == 1 ? 2 : 1);
  };
  loop.SetTimer(1, 100, killOther);
  loop.SetTimer(2, 100, killOther);
  loop.RunFor(1000);
  ASSERT_EQ(fired.size(), 10u);
  for (const Fired& f : fired) EXPECT_EQ(f.id, fired[0].id);
}

TEST_F(VirtualLoopTest, HandlerMayKillOrReplaceItsOwnTimer) {
  int count = 0;
  loop.SetTimer(7, 10, [&](int id) {
    if (++count == 2) loop.KillTimer(id);
  });
  loop.SetTimer(8, 10, [&](int id) {
    fired.push_back({id, loop.NowMs()});
    loop.SetTimer(id, 50, Record());  // from now on a 50 ms timer with the recorder
  });
  loop.RunFor(200);
  EXPECT_EQ(count, 2);
  ASSERT_EQ(fired.size(), 4u);
  EXPECT_EQ(fired[0].at, 10);
  EXPECT_EQ(fired[1].at, 60);
  EXPECT_EQ(fired[3].at, 160);
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

TEST(PollEventLoop, RealTimeTimerFires) {
  CPollEventLoop loop;
  int64_t start = loop.NowMs();
  int64_t at = -1;
  loop.SetTimer(1, 5, [&](int id) {
    at = loop.NowMs();
    loop.KillTimer(id);
  });
  ASSERT_TRUE(loop.RunOnce(5000));
  EXPECT_GE(at - start, 5);
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

  int fds[2] = {-1, -1};
  std::vector<std::pair<int, int>> events;  // (fd, event)
};

TEST_F(SocketWatchTest, ReadThenCloseOnceThenNothing) {
  CPollEventLoop loop(true);
  loop.WatchSocket(fds[0], [&](int fd, int event, int error) {
    events.emplace_back(fd, event);
    EXPECT_EQ(error, 0);
    if (event == FD_READ) {
      char buf[16];
      EXPECT_EQ(::recv(fd, buf, sizeof buf, 0), 5);
    }
  });
  ASSERT_EQ(::send(fds[1], "hello", 5, 0), 5);
  ASSERT_TRUE(loop.RunOnce(1000));
  CloseEnd(1);
  ASSERT_TRUE(loop.RunOnce(1000));
  EXPECT_FALSE(loop.RunOnce(20));  // FD_CLOSE is delivered once per watch
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0], std::make_pair(fds[0], FD_READ));
  EXPECT_EQ(events[1], std::make_pair(fds[0], FD_CLOSE));
  EXPECT_EQ(loop.WatchCount(), 1);
}

TEST_F(SocketWatchTest, DataWaitingBeforeTheCloseIsReadFirst) {
  CPollEventLoop loop;
  loop.WatchSocket(fds[0], [&](int fd, int event, int) {
    events.emplace_back(fd, event);
    char buf[16];
    if (event == FD_READ) ::recv(fd, buf, sizeof buf, 0);
  });
  ::send(fds[1], "x", 1, 0);
  CloseEnd(1);
  loop.RunFor(50);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].second, FD_READ);
  EXPECT_EQ(events[1].second, FD_CLOSE);
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
    int* calls;
    ~Owner() {
      loop.UnwatchSocket(fd);
      ::close(fd);
    }
  };
  int calls = 0;
  std::unique_ptr<Owner> owner(new Owner{loop, fds[0], &calls});
  fds[0] = -1;
  // The callback's captures live in the loop's copy; the handler frees the
  // owner and with it the watch that holds the callback.
  loop.WatchSocket(owner->fd, [&owner, big = std::vector<int>(64, 7)](int, int, int) {
    ++*owner->calls;
    owner.reset();
    EXPECT_EQ(big[63], 7);  // still readable after the watch is gone
  });
  ::send(fds[1], "x", 1, 0);
  ASSERT_TRUE(loop.RunOnce(1000));
  EXPECT_FALSE(loop.RunOnce(20));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(loop.WatchCount(), 0);
}

TEST(PollEventLoopVirtual, WatchedSocketAdvancesTheClockByRealTimeOnly) {
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  CPollEventLoop loop(true);
  loop.WatchSocket(fds[0], [](int, int, int) {});
  bool fired = false;
  loop.SetTimer(1, 10'000, [&](int) { fired = true; });
  // While a socket is watched the loop waits for real: 20 ms pass, not 10 s.
  EXPECT_FALSE(loop.RunOnce(20));
  EXPECT_FALSE(fired);
  EXPECT_GE(loop.NowMs(), 20);
  EXPECT_LT(loop.NowMs(), 10'000);
  // With no watch left the clock jumps straight to the expiry.
  loop.UnwatchSocket(fds[0]);
  ASSERT_TRUE(loop.RunOnce());
  EXPECT_TRUE(fired);
  EXPECT_EQ(loop.NowMs(), 10'000);
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace

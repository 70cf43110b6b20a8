#include "platform/PollEventLoop.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>
#include <vector>

using namespace linkward;

namespace {

using Times = std::vector<int64_t>;

// Window-timer rules on virtual time: periodic, killed or replaced by their
// own or another handler (setting again restarts the countdown); while no
// socket is watched the clock jumps to the next expiry.
TEST(VirtualLoop, HandlersKillOrReplaceTimersAndTimeJumpsToTheNextExpiry) {
  CPollEventLoop loop(true);
  Times fired;  // the loop time of each expiry of 8
  std::vector<int> ids;
  // 1 and 2 are both due at 100; whichever fires first kills the other.
  const auto killOther = [&](int id) {
    ids.push_back(id);
    loop.KillTimer(id == 1 ? 2 : 1);
  };
  loop.SetTimer(1, 100, killOther);
  loop.SetTimer(2, 100, killOther);
  int count = 0;
  loop.SetTimer(7, 10, [&](int id) {
    if (++count == 2) loop.KillTimer(id);
  });
  loop.SetTimer(8, 10, [&](int id) {  // from now on a 50 ms timer that records
    fired.push_back(loop.NowMs());
    loop.SetTimer(id, 50, [&](int) { fired.push_back(loop.NowMs()); });
  });
  loop.RunUntil([&] { return fired.size() == 7; });
  EXPECT_EQ(fired, (Times{10, 60, 110, 160, 210, 260, 310}));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(ids, std::vector<int>(3, ids.at(0)));
  for (int id : {1, 2, 8}) loop.KillTimer(id);
  loop.SetTimer(9, 3'600'000, [&](int) { loop.Quit(); });
  loop.RunUntil([] { return false; });
  EXPECT_EQ(loop.NowMs(), 310 + 3'600'000);  // an hour passes at once
  loop.KillTimer(9);
  EXPECT_FALSE(loop.RunOnce());  // nothing left to wait for
}

class SocketWatchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
  void TearDown() override {
    for (int fd : fds)
      if (fd >= 0) ::close(fd);
  }
  void CloseEnd(int i) { ::close(std::exchange(fds[i], -1)); }
  int fds[2] = {-1, -1};
};

// Readiness watches (WatchReadiness) are driven by libcurl in the full check's
// tests, which run on this loop against loopback servers.

// Data waiting before the close is read first, then one Close per watch;
// socket notifications go before a timer due at the same time.
TEST_F(SocketWatchTest, DataBeforeTheCloseThenOneCloseAndSocketsBeforeADueTimer) {
  CPollEventLoop loop;
  std::vector<std::pair<int, int>> events;  // (fd, event); a timer: (-1, id)
  loop.WatchSocket(fds[0], [&](int fd, int event, int error) {
    events.push_back({fd, event});
    EXPECT_EQ(error, 0);
    char buf[16];
    if (event == SocketEvent::Read) ::recv(fd, buf, sizeof buf, 0);
  });
  loop.SetTimer(1, 1, [&](int id) {
    events.push_back({-1, id});
    loop.KillTimer(id);
  });
  ::send(fds[1], "x", 1, 0);
  CloseEnd(1);
  ::usleep(5000);  // the timer is due too when the loop first looks
  loop.RunFor(50);
  EXPECT_EQ(events, (std::vector<std::pair<int, int>>{
                        {fds[0], SocketEvent::Read}, {fds[0], SocketEvent::Close}, {-1, 1}}));
  EXPECT_EQ(loop.WatchCount(), 1);
}

// The handler unwatches and closes its descriptor, which frees the callback
// and its captures (as an owner's destructor would); they must outlive the call.
TEST_F(SocketWatchTest, HandlerMayRemoveItsOwnWatchAndCloseItsDescriptor) {
  CPollEventLoop loop;
  int calls = 0;
  loop.WatchSocket(fds[0], [&, big = std::vector<int>(64, 7)](int fd, int, int) {
    ++calls;
    loop.UnwatchSocket(fd);
    CloseEnd(0);
    EXPECT_EQ(big[63], 7);
  });
  ::send(fds[1], "x", 1, 0);
  ASSERT_TRUE(loop.RunOnce(1000));
  EXPECT_FALSE(loop.RunOnce(20));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(loop.WatchCount(), 0);
}

}  // namespace

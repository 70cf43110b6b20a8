#include "net/SocketWnd.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "platform/PollEventLoop.h"
#include "support/LoopbackServer.h"

using namespace linkward;

namespace {

int OpenDescriptorCount() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
}

class SocketWndTest : public ::testing::Test {
 protected:
  ~SocketWndTest() override {
    CSocketWnd::SetResolver(nullptr);
    CSocketWnd::SetThreadStarter(nullptr);
    CSocketWnd::SetInterruptCheck(nullptr);
  }
  // Names the fake resolver knows, all on loopback; it records every lookup.
  // No test depends on this machine's resolver.
  void FakeResolver() {
    CSocketWnd::SetResolver([this](const std::string& host, uint32_t* address) {
      std::lock_guard lock(lookupMutex);
      lookups.push_back(host);
      if (host != "9gag.com" && host != "163.com" && host != "1und1.de") return false;
      *address = htonl(INADDR_LOOPBACK);
      return true;
    });
  }
  std::vector<std::string> Lookups() {
    std::lock_guard lock(lookupMutex);
    return lookups;
  }
  std::mutex lookupMutex;
  std::vector<std::string> lookups;
  CPollEventLoop loop;
  std::vector<std::vector<int>> notices;  // {fd, event, error}
  std::unique_ptr<CSocketWnd> MakeSocket() {
    return std::make_unique<CSocketWnd>(loop, [this](int fd, int event, int error) {
      notices.push_back({fd, event, error});
    });
  }
};

TEST_F(SocketWndTest, FailedConnectsGiveTheirCodesAndLeakNothing) {
  FakeResolver();
  FullListener full;
  const std::string refused = std::to_string(LoopbackServer::UnusedPort());
  const struct {
    const char* host;
    std::string port;
    int waitMs;
    unsigned code;
  } cases[] = {
      {"", "80", 1000, 10001},
      {"   ", "80", 1000, 10001},
      {"127.0.0.1", "0", 1000, 10001},
      {"127.0.0.1", "abc", 1000, 10001},
      {"nohost.invalid", "80", 5000, 10002},
      {"nohost.invalid", "80", 0, 10002},  // unbounded lookups take the direct path
      {"127.0.0.1", refused, 2000, 10004},
      {"127.0.0.1", full.port, 200, 10005},
  };
  int before = OpenDescriptorCount();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("host '") + c.host + "' port '" + c.port + "'");
    auto socket = MakeSocket();
    EXPECT_EQ(socket->Connect(c.host, c.port.c_str(), c.waitMs), c.code);
    EXPECT_EQ(socket->Handle(), CSocketWnd::kNoSocket);
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(SocketWndTest, HostIsNumericOnlyWhenInetAtonTakesTheWholeText) {
  FakeResolver();
  LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 200 OK\r\n\r\n"));
  const struct {
    const char* host;
    int waitMs;
    unsigned code;
    std::vector<std::string> lookups;
  } cases[] = {
      {"9gag.com", 2000, 0, {"9gag.com"}},
      {"163.com", 0, 0, {"163.com"}},
      {"1und1.de", 2000, 0, {"1und1.de"}},
      {"127.0.0.1", 2000, 0, {}},
      {"   127.0.0.1", 2000, 0, {}},  // leading blanks are skipped
      {"127.1", 2000, 0, {}},         // inet_aton's short form of 127.0.0.1
      {"127.0.0.1x", 2000, 10002, {"127.0.0.1x"}},
      {"127.0.0.1 x", 2000, 10002, {"127.0.0.1 x"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host);
    lookups.clear();
    auto socket = MakeSocket();
    EXPECT_EQ(socket->Connect(c.host, server.PortText().c_str(), c.waitMs), c.code);
    EXPECT_EQ(Lookups(), c.lookups);
  }
}

TEST_F(SocketWndTest, LookupWithoutAThreadOrInterruptedEndsWithoutWaiting) {
  FullListener full;
  std::vector<int> starts;
  CSocketWnd::SetThreadStarter([&](std::function<void()>) {
    starts.push_back(1);
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  });
  auto socket = MakeSocket();
  EXPECT_EQ(socket->Connect("example.com", "80", 5000), 10002u);
  EXPECT_EQ(starts.size(), 1u);

  // Asked to stop: a lookup that never ends and a connect that gets no answer
  // both give up, within the bound of 60 s that they would otherwise wait.
  CSocketWnd::SetThreadStarter(nullptr);
  auto release = std::make_shared<std::promise<void>>();
  std::shared_future<void> released = release->get_future().share();
  CSocketWnd::SetResolver([released](const std::string&, uint32_t*) {
    released.wait();
    return false;
  });
  CSocketWnd::SetInterruptCheck([] { return true; });
  EXPECT_EQ(socket->Connect("example.com", "80", 60000), CSocketWnd::kConnectInterrupted);
  EXPECT_EQ(socket->Connect("127.0.0.1", full.port.c_str(), 60000),
            CSocketWnd::kConnectInterrupted);
  EXPECT_EQ(socket->Handle(), CSocketWnd::kNoSocket);
  release->set_value();
}

TEST_F(SocketWndTest, RelaysEveryReadAndOneCloseUnchanged) {
  const struct {
    LoopbackServer::Script script;
    const char* received;
  } cases[] = {
      {LoopbackServer::Greet("220 ready\r\n"), "220 ready\r\n"},  // no request needed
      {LoopbackServer::ReplyInSegments({"HTTP/1.0 2", "00 OK\r\n\r\n"}, 50),
       "HTTP/1.0 200 OK\r\n\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.received);
    LoopbackServer server(c.script);
    notices.clear();
    auto socket = MakeSocket();
    ASSERT_EQ(socket->Connect("127.0.0.1", server.PortText().c_str(), 2000), 0u);
    EXPECT_EQ(socket->AsyncSelect(SocketEvent::Read | SocketEvent::Close), 0);
    socket->Send("GET / HTTP/1.0\r\n\r\n", 18, 0);
    std::string received;
    loop.RunUntil([&] {
      char buf[64];
      int n = notices.empty() || notices.back()[1] != SocketEvent::Read
                  ? 0
                  : socket->Receive(buf, sizeof buf, 0);
      if (n > 0) received.append(buf, static_cast<size_t>(n));
      return !notices.empty() && notices.back()[1] == SocketEvent::Close;
    });
    EXPECT_EQ(received, c.received);
    EXPECT_EQ(notices.front(), (std::vector<int>{socket->Handle(), SocketEvent::Read, 0}));
    EXPECT_EQ(notices.back(), (std::vector<int>{socket->Handle(), SocketEvent::Close, 0}));
    for (size_t i = 0; i + 1 < notices.size(); ++i) EXPECT_EQ(notices[i][1], SocketEvent::Read);
    char buf[8];
    EXPECT_EQ(socket->Receive(buf, sizeof buf, 0), 0);  // non-blocking: answers at once
    EXPECT_EQ(socket->Close(), 0);
    EXPECT_EQ(socket->Handle(), CSocketWnd::kNoSocket);
  }
}

TEST_F(SocketWndTest, DestroyingASocketEndsItsWatchEvenInsideItsNotification) {
  LoopbackServer holding(LoopbackServer::ReplyAndHold("x"));
  auto socket = MakeSocket();
  auto idle = MakeSocket();
  EXPECT_EQ(CSocketWnd::InstanceCount(), 2);
  ASSERT_EQ(socket->Connect("127.0.0.1", holding.PortText().c_str(), 2000), 0u);
  socket->AsyncSelect(SocketEvent::Read | SocketEvent::Close);
  EXPECT_EQ(loop.WatchCount(), 1);
  socket.reset();
  EXPECT_EQ(loop.WatchCount(), 0);
  EXPECT_EQ(CSocketWnd::InstanceCount(), 1);
  EXPECT_TRUE(notices.empty());
  // Without a socket nothing is watched or sent; Receive fails as the platform does.
  char buf[512];
  EXPECT_EQ(idle->AsyncSelect(SocketEvent::Read | SocketEvent::Close), 0);
  EXPECT_EQ(idle->Send("x", 1, 0), 0);
  EXPECT_EQ(loop.WatchCount(), 0);
  EXPECT_LT(idle->Receive(buf, sizeof buf, 0), 0);
  idle.reset();

  // What the results view does after every reply.
  LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 200 OK\r\n\r\n"));
  std::vector<int> events;
  socket = std::make_unique<CSocketWnd>(loop, [&](int, int event, int) {
    events.push_back(event);
    socket->Receive(buf, sizeof buf, 0);
    socket->Close();
    socket.reset();
  });
  ASSERT_EQ(socket->Connect("127.0.0.1", server.PortText().c_str(), 2000), 0u);
  socket->AsyncSelect(SocketEvent::Read | SocketEvent::Close);
  socket->Send("GET / HTTP/1.0\r\n\r\n", 18, 0);
  loop.RunUntil([&] { return socket == nullptr; });
  EXPECT_EQ(events, std::vector<int>{SocketEvent::Read});
  EXPECT_EQ(loop.WatchCount(), 0);
  EXPECT_EQ(CSocketWnd::InstanceCount(), 0);
}

TEST_F(SocketWndTest, SendToAClosedPeerFailsWithoutSigpipe) {
  LoopbackServer server(LoopbackServer::CloseWithoutReply());
  auto socket = MakeSocket();
  ASSERT_EQ(socket->Connect("127.0.0.1", server.PortText().c_str(), 2000), 0u);
  socket->Send("GET / HTTP/1.0\r\n\r\n", 18, 0);
  ASSERT_TRUE(server.WaitForRequests(1, 5000));
  char buf[16];
  ASSERT_EQ(socket->Receive(buf, sizeof buf, 0), 0);  // the server has closed
  // With SIGPIPE at its default action a raised signal would end this program.
  auto previous = std::signal(SIGPIPE, SIG_DFL);
  std::string block(65536, 'x');
  int result = 0;
  for (int i = 0; i < 20 && result >= 0; ++i)
    result = socket->Send(block.data(), static_cast<int>(block.size()), 0);
  int error = errno;
  std::signal(SIGPIPE, previous);
  EXPECT_LT(result, 0);
  EXPECT_TRUE(error == EPIPE || error == ECONNRESET) << error;
}

TEST_F(SocketWndTest, ConnectingAgainClosesTheFirstSocket) {
  // The server waits long for a request, so a recorded empty request within
  // the test's time means the client closed that connection.
  LoopbackServer::Script script = LoopbackServer::CloseWithoutReply();
  script.requestTimeoutMs = 60'000;
  LoopbackServer server(script);
  auto socket = MakeSocket();
  ASSERT_EQ(socket->Connect("127.0.0.1", server.PortText().c_str(), 2000), 0u);
  ASSERT_EQ(socket->Connect("127.0.0.1", server.PortText().c_str(), 2000), 0u);
  ASSERT_TRUE(server.WaitForRequests(1, 30'000));
  EXPECT_EQ(server.Requests()[0], "");
}

}  // namespace

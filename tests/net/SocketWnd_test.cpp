#include "net/SocketWnd.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "platform/PollEventLoop.h"
#include "support/LoopbackServer.h"

namespace {

constexpr unsigned kInvalidPortOrName = 10001;
constexpr unsigned kHostNotFound = 10002;
constexpr unsigned kConnectFailed = 10004;
constexpr unsigned kTookTooLong = 10005;

int OpenDescriptorCount() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
}

struct Notice {
  int fd;
  int event;
  int error;
};

class SocketWndTest : public ::testing::Test {
 protected:
  CPollEventLoop loop;
  std::vector<Notice> notices;

  std::unique_ptr<CSocketWnd> MakeSocket() {
    return std::make_unique<CSocketWnd>(loop, [this](int fd, int event, int error) {
      notices.push_back({fd, event, error});
    });
  }
};

TEST_F(SocketWndTest, ConnectsAndSendsExactlyTheGivenBytes) {
  LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 200 OK\r\n\r\n"));
  auto socket = MakeSocket();
  ASSERT_EQ(socket->Connect("127.0.0.1", server.PortText().c_str(), 2000), 0u);
  ASSERT_NE(socket->Handle(), INVALID_SOCKET);
  const std::string line = "GET /a b?c HTTP/1.0";
  EXPECT_EQ(socket->Send(line.data(), static_cast<int>(line.size()), 0), 19);
  EXPECT_EQ(socket->Send("\r\n", 2, 0), 2);
  EXPECT_EQ(socket->Send("\r\n", 2, 0), 2);
  ASSERT_TRUE(server.WaitForRequests(1, 5000));
  EXPECT_EQ(server.Requests()[0], "GET /a b?c HTTP/1.0\r\n\r\n");

  // Still blocking before AsyncSelect: the whole reply can be waited for.
  char reply[64] = {};
  EXPECT_EQ(socket->Receive(reply, sizeof reply - 1, MSG_WAITALL), 19);
  EXPECT_STREQ(reply, "HTTP/1.0 200 OK\r\n\r\n");
  EXPECT_EQ(socket->Close(), 0);
  EXPECT_EQ(socket->Handle(), INVALID_SOCKET);
}

TEST_F(SocketWndTest, LeadingSpacesOfTheHostAreSkipped) {
  LoopbackServer server(LoopbackServer::CloseWithoutReply());
  auto socket = MakeSocket();
  EXPECT_EQ(socket->Connect("   127.0.0.1", server.PortText().c_str(), 2000), 0u);
  EXPECT_TRUE(server.WaitForRequests(1, 5000));
}

TEST_F(SocketWndTest, InvalidHostOrPortFailsWithoutANetworkCall) {
  struct Case {
    const char* host;
    const char* port;
  };
  const Case cases[] = {
      {"", "80"}, {"   ", "80"}, {"127.0.0.1", "0"}, {"127.0.0.1", "abc"}, {"127.0.0.1", ""},
  };
  int before = OpenDescriptorCount();
  for (const Case& c : cases) {
    auto socket = MakeSocket();
    EXPECT_EQ(socket->Connect(c.host, c.port, 1000), kInvalidPortOrName)
        << "host '" << c.host << "' port '" << c.port << "'";
    EXPECT_EQ(socket->Handle(), INVALID_SOCKET);
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(SocketWndTest, NameThatCannotBeResolvedGives10002) {
  auto socket = MakeSocket();
  EXPECT_EQ(socket->Connect("nohost.invalid", "80", 5000), kHostNotFound);
  EXPECT_EQ(socket->Handle(), INVALID_SOCKET);
  // Unbounded lookups take the direct path.
  EXPECT_EQ(socket->Connect("nohost.invalid", "80", 0), kHostNotFound);
}

TEST_F(SocketWndTest, LocalhostIsLookedUpByName) {
  LoopbackServer server(LoopbackServer::CloseWithoutReply());
  auto socket = MakeSocket();
  EXPECT_EQ(socket->Connect("localhost", server.PortText().c_str(), 5000), 0u);
  EXPECT_TRUE(server.WaitForRequests(1, 5000));
}

TEST_F(SocketWndTest, RefusedOrImpossibleConnectGives10004AndLeaksNothing) {
  const std::string port = std::to_string(LoopbackServer::UnusedPort());
  int before = OpenDescriptorCount();
  auto socket = MakeSocket();
  EXPECT_EQ(socket->Connect("127.0.0.1", port.c_str(), 2000), kConnectFailed);
  // Not a dotted address: the all-ones address, which cannot be connected to.
  EXPECT_EQ(socket->Connect("1.2.3.x", port.c_str(), 2000), kConnectFailed);
  EXPECT_EQ(socket->Handle(), INVALID_SOCKET);
  EXPECT_EQ(OpenDescriptorCount(), before);
}

// A listener that never accepts, its queue filled: a further connect gets no
// answer to its handshake and waits.
class FullListener {
 public:
  FullListener() {
    m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof address;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listen, 0) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &len) != 0) {
      return;
    }
    m_port = ntohs(address.sin_port);
    for (int i = 0; i < 4; ++i) {
      int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
      m_fillers.push_back(fd);
    }
  }
  ~FullListener() {
    for (int fd : m_fillers) ::close(fd);
    ::close(m_listen);
  }
  std::string PortText() const { return std::to_string(m_port); }

 private:
  int m_listen = -1;
  int m_port = 0;
  std::vector<int> m_fillers;
};

TEST_F(SocketWndTest, ConnectThatGetsNoAnswerIsBoundedBy10005) {
  FullListener listener;
  auto socket = MakeSocket();
  int before = OpenDescriptorCount();
  EXPECT_EQ(socket->Connect("127.0.0.1", listener.PortText().c_str(), 200), kTookTooLong);
  EXPECT_EQ(socket->Handle(), INVALID_SOCKET);
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(SocketWndTest, RelaysReadAndCloseUnchanged) {
  LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"));
  auto socket = MakeSocket();
  ASSERT_EQ(socket->Connect("127.0.0.1", server.PortText().c_str(), 2000), 0u);
  EXPECT_EQ(socket->AsyncSelect(FD_READ | FD_CLOSE), 0);
  socket->Send("GET / HTTP/1.0\r\n\r\n", 18, 0);
  const int fd = socket->Handle();

  loop.RunUntil([&] { return !notices.empty(); });
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].fd, fd);
  EXPECT_EQ(notices[0].event, FD_READ);
  char buf[512];
  EXPECT_EQ(socket->Receive(buf, sizeof buf, 0), 26);

  loop.RunUntil([&] { return notices.size() == 2; });
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[1].event, FD_CLOSE);
  EXPECT_EQ(notices[1].error, 0);
  // Non-blocking now: an empty, closed socket answers at once.
  EXPECT_EQ(socket->Receive(buf, sizeof buf, 0), 0);
}

TEST_F(SocketWndTest, GreetingArrivesWithoutARequest) {
  LoopbackServer server(LoopbackServer::Greet("220 ready\r\n"));
  auto socket = MakeSocket();
  ASSERT_EQ(socket->Connect("127.0.0.1", server.PortText().c_str(), 2000), 0u);
  socket->AsyncSelect(FD_READ | FD_CLOSE);
  loop.RunUntil([&] { return !notices.empty(); });
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].event, FD_READ);
  char buf[64] = {};
  EXPECT_EQ(socket->Receive(buf, sizeof buf - 1, 0), 11);
  EXPECT_STREQ(buf, "220 ready\r\n");
}

TEST_F(SocketWndTest, SegmentedReplyIsReadWholeBeforeTheClose) {
  LoopbackServer server(LoopbackServer::ReplyInSegments({"HTTP/1.0 2", "00 OK\r\n\r\n"}, 50));
  auto socket = MakeSocket();
  ASSERT_EQ(socket->Connect("127.0.0.1", server.PortText().c_str(), 2000), 0u);
  socket->AsyncSelect(FD_READ | FD_CLOSE);
  socket->Send("GET / HTTP/1.0\r\n\r\n", 18, 0);
  std::string received;
  loop.RunUntil([&] {
    if (!notices.empty() && notices.back().event == FD_READ) {
      char buf[64];
      int n = socket->Receive(buf, sizeof buf, 0);
      if (n > 0) received.append(buf, static_cast<size_t>(n));
    }
    return !notices.empty() && notices.back().event == FD_CLOSE;
  });
  EXPECT_EQ(received, "HTTP/1.0 200 OK\r\n\r\n");
  EXPECT_EQ(notices.front().event, FD_READ);
  EXPECT_EQ(std::count_if(notices.begin(), notices.end(),
                          [](const Notice& n) { return n.event == FD_CLOSE; }),
            1);
}

TEST_F(SocketWndTest, ParentMayDestroyTheSocketInsideTheNotification) {
  LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 200 OK\r\n\r\n"));
  std::unique_ptr<CSocketWnd> socket;
  std::vector<int> events;
  socket = std::make_unique<CSocketWnd>(loop, [&](int, int event, int) {
    events.push_back(event);
    char buf[512];
    socket->Receive(buf, sizeof buf, 0);
    socket->Close();
    socket.reset();  // what the results view does after every reply
  });
  ASSERT_EQ(socket->Connect("127.0.0.1", server.PortText().c_str(), 2000), 0u);
  socket->AsyncSelect(FD_READ | FD_CLOSE);
  socket->Send("GET / HTTP/1.0\r\n\r\n", 18, 0);
  loop.RunUntil([&] { return socket == nullptr; });
  EXPECT_EQ(events, std::vector<int>{FD_READ});
  EXPECT_EQ(loop.WatchCount(), 0);
  EXPECT_EQ(CSocketWnd::InstanceCount(), 0);
}

TEST_F(SocketWndTest, DestroyingAWatchedSocketEndsItsWatch) {
  LoopbackServer server(LoopbackServer::ReplyAndHold("x"));
  {
    auto socket = MakeSocket();
    ASSERT_EQ(socket->Connect("127.0.0.1", server.PortText().c_str(), 2000), 0u);
    socket->AsyncSelect(FD_READ | FD_CLOSE);
    EXPECT_EQ(loop.WatchCount(), 1);
  }
  EXPECT_EQ(loop.WatchCount(), 0);
  EXPECT_TRUE(notices.empty());
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
  for (int i = 0; i < 20 && result >= 0; ++i) {
    result = socket->Send(block.data(), static_cast<int>(block.size()), 0);
  }
  int error = errno;
  std::signal(SIGPIPE, previous);
  EXPECT_LT(result, 0);
  EXPECT_TRUE(error == EPIPE || error == ECONNRESET) << error;
}

TEST_F(SocketWndTest, OperationsWithoutASocket) {
  auto socket = MakeSocket();
  EXPECT_EQ(socket->AsyncSelect(FD_READ | FD_CLOSE), 0);
  EXPECT_EQ(socket->Send("x", 1, 0), 0);
  EXPECT_EQ(loop.WatchCount(), 0);
  char buf[4];
  EXPECT_LT(socket->Receive(buf, sizeof buf, 0), 0);  // handed to the platform as it is
}

TEST_F(SocketWndTest, InstanceCountFollowsLiveObjects) {
  EXPECT_EQ(CSocketWnd::InstanceCount(), 0);
  {
    auto first = MakeSocket();
    auto second = MakeSocket();
    EXPECT_EQ(CSocketWnd::InstanceCount(), 2);
    first.reset();
    EXPECT_EQ(CSocketWnd::InstanceCount(), 1);
  }
  EXPECT_EQ(CSocketWnd::InstanceCount(), 0);
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

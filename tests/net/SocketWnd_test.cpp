// The socket's own contract. How the probe uses it (replies read in pieces,
// closes relayed, a greeting read without a request, the socket destroyed
// inside its notification at the end of every link) is checked through whole
// test runs in tests/engine.
#include "net/SocketWnd.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <future>
#include <memory>
#include <system_error>
#include <tuple>

#include "platform/PollEventLoop.h"
#include "support/LoopbackServer.h"

using namespace linkward;

namespace {

class SocketWndTest : public ::testing::Test {
 protected:
  // A resolver that knows two names, both on loopback: no test depends on
  // this machine's resolver, and a host that connects without being one of
  // them was taken as numeric.
  SocketWndTest() {
    CSocketWnd::SetResolver([](const std::string& host, uint32_t* address) {
      *address = htonl(INADDR_LOOPBACK);
      return host == "9gag.com" || host == "163.com";
    });
  }
  ~SocketWndTest() override {
    CSocketWnd::SetResolver(nullptr);
    CSocketWnd::SetThreadStarter(nullptr);
    CSocketWnd::SetInterruptCheck(nullptr);
  }
  CPollEventLoop loop;
};

TEST_F(SocketWndTest, ConnectGivesItsCodeAndLeaksNoDescriptor) {
  auto full = LoopbackServer::NeverAccepting();
  const std::string refused = std::to_string(LoopbackServer::UnusedPort());
  const std::filesystem::path fds = "/proc/self/fd";
  const auto before = std::distance(std::filesystem::directory_iterator(fds), {});
  auto server = std::make_unique<LoopbackServer>(LoopbackServer::Reply("HTTP/1.0 200 OK\r\n\r\n"));
  const std::string ok = server->PortText();
  // host, port, wait limit, Connect's result
  // clang-format off
  const std::tuple<std::string, std::string, int, unsigned> cases[] = {
      // No host (blanks are skipped), no port; a name not found, with a bound
      // and without (0: looked up directly); refused; no answer within the bound.
      {"   ", "80", 1000, 10001}, {"127.0.0.1", "abc", 1000, 10001},
      {"nohost.invalid", "80", 5000, 10002}, {"nohost.invalid", "80", 0, 10002},
      {"127.0.0.1", refused, 2000, 10004}, {"127.0.0.1", full.PortText(), 200, 10005},
      // A host is numeric only when inet_aton takes its whole text (leading
      // blanks skipped; "127.1" is its short form of 127.0.0.1).
      {"9gag.com", ok, 2000, 0}, {"163.com", ok, 0, 0}, {"127.0.0.1", ok, 2000, 0},
      {"   127.0.0.1", ok, 2000, 0}, {"127.1", ok, 2000, 0},
      {"127.0.0.1x", ok, 2000, 10002}, {"127.0.0.1 x", ok, 2000, 10002}};
  // clang-format on
  for (const auto& [host, port, waitMs, code] : cases) {
    SCOPED_TRACE("host '" + host + "' port '" + port + "'");
    CSocketWnd socket(loop, nullptr);  // nothing to relay: it is never watched
    EXPECT_EQ(socket.Connect(host.c_str(), port.c_str(), waitMs), code);
    EXPECT_EQ(socket.Handle() == CSocketWnd::kNoSocket, code != 0);
  }
  server.reset();  // closes its side of every connection
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(fds), {}), before);
}

TEST_F(SocketWndTest, LookupWithoutAThreadOrInterruptedEndsWithoutWaiting) {
  // A name the resolver knows, on a port nothing listens on: 10004 had it
  // been looked up.
  CSocketWnd::SetThreadStarter([](std::function<void()>) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  });
  CSocketWnd socket(loop, nullptr);
  EXPECT_EQ(socket.Connect("9gag.com", std::to_string(LoopbackServer::UnusedPort()).c_str(), 5000),
            10002u);

  // Asked to stop, a lookup that never ends gives up within the bound of 60 s
  // it would otherwise wait. (A connect that gets no answer: the terminal
  // face's Ctrl-C test.)
  CSocketWnd::SetThreadStarter(nullptr);
  auto release = std::make_shared<std::promise<void>>();
  CSocketWnd::SetResolver([released = release->get_future().share()](const std::string&, auto) {
    released.wait();
    return false;
  });
  CSocketWnd::SetInterruptCheck([] { return true; });
  EXPECT_EQ(socket.Connect("example.com", "80", 60000), CSocketWnd::kConnectInterrupted);
  EXPECT_EQ(socket.Handle(), CSocketWnd::kNoSocket);
  release->set_value();
}

TEST_F(SocketWndTest, SendToAClosedPeerFailsWithoutSigpipe) {
  LoopbackServer server(LoopbackServer::CloseWithoutReply());
  auto socket = std::make_unique<CSocketWnd>(loop, nullptr);
  ASSERT_EQ(socket->Connect("127.0.0.1", server.PortText().c_str(), 2000), 0u);
  char buf[16];
  // Blocking: until the server has closed (300 ms without a request).
  ASSERT_EQ(socket->Receive(buf, sizeof buf, 0), 0);
  // With SIGPIPE at its default action a raised signal would end this program.
  auto previous = std::signal(SIGPIPE, SIG_DFL);
  const std::string block(65536, 'x');
  int result = 0;
  for (int i = 0; i < 20 && result >= 0; ++i) result = socket->Send(block.data(), 65536, 0);
  const int error = errno;
  std::signal(SIGPIPE, previous);
  EXPECT_LT(result, 0);
  EXPECT_TRUE(error == EPIPE || error == ECONNRESET) << error;
  // A socket destroyed while watched leaves no watch behind (the probe
  // destroys its socket inside the socket's own notification).
  EXPECT_EQ(socket->AsyncSelect(SocketEvent::Read | SocketEvent::Close), 0);
  EXPECT_EQ(loop.WatchCount(), 1);
  socket.reset();
  EXPECT_EQ(loop.WatchCount(), 0);
}

}  // namespace

// The probe's own cost, without tick pacing: connect, ask for notifications,
// send the request the way the probe does (line, CR LF, CR LF), wait for the
// reply through the poll loop, read and drain it, close. The server is a
// thread of this program on 127.0.0.1 that reads the request, answers
// "HTTP/1.0 200 OK" and closes. Goal: 2,000 probes per second or more on one
// core (see items_per_second).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "net/SocketWnd.h"
#include "platform/PollEventLoop.h"

namespace {

class OkServer {
 public:
  OkServer() {
    m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof address;
    ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(m_listen, 128);
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &len);
    m_port = std::to_string(ntohs(address.sin_port));
    m_thread = std::thread([this] { Serve(); });
  }
  ~OkServer() {
    m_stop = true;
    m_thread.join();
    ::close(m_listen);
  }
  const char* Port() const { return m_port.c_str(); }

 private:
  void Serve() {
    static const char kReply[] = "HTTP/1.0 200 OK\r\n\r\n";
    while (!m_stop) {
      pollfd p{m_listen, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      int fd = ::accept(m_listen, nullptr, nullptr);
      if (fd < 0) continue;
      std::string request;
      char buf[1024];
      while (request.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<size_t>(n));
      }
      ::send(fd, kReply, sizeof kReply - 1, MSG_NOSIGNAL);
      ::close(fd);
    }
  }

  int m_listen = -1;
  std::string m_port;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

void BM_Probe(benchmark::State& state) {
  OkServer server;
  CPollEventLoop loop;
  const std::string line = "GET /index.html HTTP/1.0";
  int64_t failures = 0;

  for (auto _ : state) {
    std::unique_ptr<CSocketWnd> socket;
    bool done = false;
    unsigned status = 0;
    socket = std::make_unique<CSocketWnd>(loop, [&](int, int event, int) {
      if (event == FD_READ) {
        char reply[514] = {};
        socket->Receive(reply, 512, 0);
        char drain[512];
        while (socket->Receive(drain, sizeof drain, 0) > 0) {
        }
        char word[514];
        std::sscanf(reply, "%513s%u", word, &status);
      }
      socket->Close();
      socket.reset();
      done = true;
    });
    if (socket->Connect("127.0.0.1", server.Port(), 5000) != 0) {
      ++failures;
      continue;
    }
    socket->AsyncSelect(FD_READ | FD_CLOSE);
    socket->Send(line.data(), static_cast<int>(line.size()), 0);
    socket->Send("\r\n", 2, 0);
    socket->Send("\r\n", 2, 0);
    loop.RunUntil([&] { return done; });
    if (status != 200) ++failures;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["failures"] = static_cast<double>(failures);
}
BENCHMARK(BM_Probe)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();

#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

// A socket listening on 127.0.0.1 at an ephemeral port, or -1.
int ListenOnLoopback(int* port, int backlog = 64) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int on = 1;
  if (backlog > 0) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof address;
  auto* sa = reinterpret_cast<sockaddr*>(&address);
  if (fd < 0 || ::bind(fd, sa, len) != 0 || ::listen(fd, backlog) != 0 ||
      ::getsockname(fd, sa, &len) != 0) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

bool SendAll(int fd, const std::string& bytes) {
  for (size_t sent = 0; sent < bytes.size();) {
    ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

LoopbackServer::Script LoopbackServer::ReplyInSegments(std::vector<std::string> segments,
                                                       int delayMs) {
  Script script;
  script.segments = std::move(segments);
  script.segmentDelayMs = delayMs;
  return script;
}

LoopbackServer::Script LoopbackServer::ReplyAndHold(std::string bytes) {
  Script script = Reply(std::move(bytes));
  script.closeAfterReply = false;
  return script;
}

LoopbackServer::Script LoopbackServer::Greet(std::string greeting) {
  Script script;
  script.greeting = std::move(greeting);
  return script;
}

LoopbackServer::Script LoopbackServer::ReplyAndStream(std::string bytes) {
  Script script = Reply(std::move(bytes));
  script.streamBlock = std::string(65536, 'x');
  return script;
}

LoopbackServer::LoopbackServer(Script script) : LoopbackServer([script](int) { return script; }) {}

LoopbackServer::LoopbackServer(std::function<Script(int index)> scriptFor)
    : m_scriptFor(std::move(scriptFor)) {
  if (::pipe2(m_nWake, O_CLOEXEC) != 0) return;
  m_nListen = ListenOnLoopback(&m_nPort);
  if (m_nListen >= 0) m_acceptThread = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  if (m_nWake[1] >= 0) ::close(m_nWake[1]);  // every poll on the read end wakes up
  if (m_acceptThread.joinable()) m_acceptThread.join();
  for (std::thread& t : m_connThreads) t.join();  // no thread adds any more
  if (m_nListen >= 0) ::close(m_nListen);
  if (m_nWake[0] >= 0) ::close(m_nWake[0]);
}

int LoopbackServer::Wait(int fd, int ms) const {
  for (;;) {
    pollfd fds[2] = {{m_nWake[0], POLLIN, 0}, {fd, POLLIN, 0}};
    int n = ::poll(fds, fd < 0 ? 1 : 2, ms);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 || fds[0].revents != 0 ? -1 : n;
  }
}

void LoopbackServer::AcceptLoop() {
  for (int index = 0; Wait(m_nListen, -1) > 0;) {
    int fd = ::accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(m_mutex);
    m_requests.emplace_back();
    m_endings.emplace_back();
    m_connThreads.emplace_back([this, fd, i = index++] { Serve(fd, i); });
  }
}

void LoopbackServer::Serve(int fd, int index) {
  // A client that stops reading must not keep the destructor waiting for ever.
  timeval sendLimit{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
  Script script = m_scriptFor(index);
  if (!script.greeting.empty()) SendAll(fd, script.greeting);

  std::string request;
  char buf[4096];
  using Clock = std::chrono::steady_clock;
  auto until = Clock::now() + std::chrono::milliseconds(script.requestTimeoutMs);
  while (request.find("\r\n\r\n") == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (left.count() <= 0 || Wait(fd, static_cast<int>(left.count())) <= 0) break;
    ssize_t got = ::recv(fd, buf, sizeof buf, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    request.append(buf, static_cast<size_t>(got));
  }
  {
    std::lock_guard lock(m_mutex);
    m_requests[static_cast<size_t>(index)] = request;
    ++m_nRecorded;
  }
  m_recorded.notify_all();

  if (script.replyFor) script.segments = {script.replyFor(request)};
  for (size_t i = 0; i < script.segments.size(); ++i) {
    if (i > 0 && script.segmentDelayMs > 0 && Wait(-1, script.segmentDelayMs) != 0) break;
    SendAll(fd, script.segments[i]);
  }
  while (!script.streamBlock.empty() && Wait(-1, 0) == 0 && SendAll(fd, script.streamBlock)) {
  }
  if (!script.closeAfterReply) {
    // Hold until the client goes, and record how it went.
    std::string ending;
    while (ending.empty() && Wait(fd, -1) > 0) {
      ssize_t got = ::recv(fd, buf, sizeof buf, 0);
      if (got == 0) ending = "closed";
      if (got < 0 && errno != EINTR) ending = errno == ECONNRESET ? "reset" : "error";
    }
    std::lock_guard lock(m_mutex);
    m_endings[static_cast<size_t>(index)] = ending;
  }
  m_recorded.notify_all();
  ::close(fd);
}

int LoopbackServer::ConnectionCount() const {
  std::lock_guard lock(m_mutex);
  return static_cast<int>(m_requests.size());
}

std::vector<std::string> LoopbackServer::Requests() const {
  std::lock_guard lock(m_mutex);
  return m_requests;
}

bool LoopbackServer::WaitForRequests(int n, int timeoutMs) const {
  std::unique_lock lock(m_mutex);
  return m_recorded.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return m_nRecorded >= n; });
}

std::string LoopbackServer::WaitForEnding(int index, int timeoutMs) const {
  const auto i = static_cast<size_t>(index);
  std::unique_lock lock(m_mutex);
  bool ended = m_recorded.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [&] { return i < m_endings.size() && !m_endings[i].empty(); });
  return ended ? m_endings[i] : "";
}

int LoopbackServer::UnusedPort() {
  int port = 0;
  int fd = ListenOnLoopback(&port);
  if (fd < 0) return 0;
  ::close(fd);
  return port;
}

FullListener::FullListener() {
  int listenPort = 0;
  int fd = ListenOnLoopback(&listenPort, 0);
  if (fd < 0) return;
  m_fds.push_back(fd);
  port = std::to_string(listenPort);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(listenPort));
  for (int i = 0; i < 4; ++i) {
    m_fds.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    ::connect(m_fds.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
}

FullListener::~FullListener() {
  for (int fd : m_fds) ::close(fd);
}

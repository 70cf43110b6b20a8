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

int ListenOnLoopback(int* port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t len = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 64) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &len) != 0) {
    ::close(fd);
    return -1;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

bool SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

LoopbackServer::Script LoopbackServer::Reply(std::string bytes) {
  return ReplyInSegments({std::move(bytes)}, 0);
}

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

LoopbackServer::Script LoopbackServer::CloseWithoutReply() {
  return Script{};
}

LoopbackServer::Script LoopbackServer::NeverAnswer() {
  return ReplyAndHold("");
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
  if (m_nListen < 0) {
    m_nPort = 0;
    return;
  }
  m_acceptThread = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  if (m_nWake[1] >= 0) ::close(m_nWake[1]);  // every poll on the read end wakes up
  if (m_acceptThread.joinable()) m_acceptThread.join();
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(m_mutex);
    threads.swap(m_connThreads);
  }
  for (std::thread& t : threads) t.join();
  if (m_nListen >= 0) ::close(m_nListen);
  if (m_nWake[0] >= 0) ::close(m_nWake[0]);
}

void LoopbackServer::AcceptLoop() {
  for (int index = 0;;) {
    pollfd fds[2] = {{m_nListen, POLLIN, 0}, {m_nWake[0], POLLIN, 0}};
    int n = ::poll(fds, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || fds[1].revents != 0) return;
    int fd = ::accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(m_mutex);
    m_requests.emplace_back();
    m_endings.emplace_back();
    m_connThreads.emplace_back([this, fd, i = index++] { Serve(fd, i); });
  }
}

bool LoopbackServer::PauseMs(int ms) const {
  pollfd wake{m_nWake[0], POLLIN, 0};
  return ::poll(&wake, 1, ms) == 0;
}

void LoopbackServer::Serve(int fd, int index) {
  // A client that stops reading must not keep the destructor waiting for ever.
  timeval sendLimit{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
  Script script = m_scriptFor(index);
  if (!script.greeting.empty()) SendAll(fd, script.greeting);

  std::string request;
  auto until =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(script.requestTimeoutMs);
  while (request.find("\r\n\r\n") == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    until - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) break;
    pollfd fds[2] = {{fd, POLLIN, 0}, {m_nWake[0], POLLIN, 0}};
    int n = ::poll(fds, 2, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || fds[1].revents != 0) break;
    char buf[4096];
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

  std::vector<std::string> segments = script.segments;
  if (script.replyFor) segments = {script.replyFor(request)};
  for (size_t i = 0; i < segments.size(); ++i) {
    if (i > 0 && script.segmentDelayMs > 0 && !PauseMs(script.segmentDelayMs)) break;
    SendAll(fd, segments[i]);
  }
  if (!script.streamBlock.empty()) {
    while (PauseMs(0) && SendAll(fd, script.streamBlock)) {
    }
  }
  if (!script.closeAfterReply) {
    // Hold until the client goes, and record how it went.
    std::string ending;
    while (ending.empty()) {
      pollfd fds[2] = {{fd, POLLIN, 0}, {m_nWake[0], POLLIN, 0}};
      int n = ::poll(fds, 2, -1);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || fds[1].revents != 0) break;
      char buf[4096];
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
  std::unique_lock lock(m_mutex);
  auto ended = [&] {
    return static_cast<size_t>(index) < m_endings.size() &&
           !m_endings[static_cast<size_t>(index)].empty();
  };
  if (!m_recorded.wait_for(lock, std::chrono::milliseconds(timeoutMs), ended)) return "";
  return m_endings[static_cast<size_t>(index)];
}

int LoopbackServer::UnusedPort() {
  int port = 0;
  int fd = ListenOnLoopback(&port);
  if (fd < 0) return 0;
  ::close(fd);
  return port;
}

FullListener::FullListener() : m_nListen(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof address;
  auto* sa = reinterpret_cast<sockaddr*>(&address);
  if (::bind(m_nListen, sa, len) != 0 || ::listen(m_nListen, 0) != 0 ||
      ::getsockname(m_nListen, sa, &len) != 0)
    return;
  port = std::to_string(ntohs(address.sin_port));
  for (int i = 0; i < 4; ++i) {
    m_fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    ::connect(m_fillers.back(), sa, len);
  }
}

FullListener::~FullListener() {
  for (int fd : m_fillers) ::close(fd);
  ::close(m_nListen);
}

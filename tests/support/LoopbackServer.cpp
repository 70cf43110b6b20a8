#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

// A socket listening on 127.0.0.1 at an ephemeral port, or -1; *address
// gets its address.
int ListenOnLoopback(sockaddr_in* address, int backlog = 64) {
  *address = {AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};  // the port is chosen by bind
  socklen_t len = sizeof *address;
  auto* sa = reinterpret_cast<sockaddr*>(address);
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && (::bind(fd, sa, len) != 0 || ::listen(fd, backlog) != 0 ||
                  ::getsockname(fd, sa, &len) != 0)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Bounds the blocking sends or receives (and accepts) of fd.
void Limit(int fd, int option, int ms) {
  timeval limit{ms / 1000, ms % 1000 * 1000};
  ::setsockopt(fd, SOL_SOCKET, option, &limit, sizeof limit);
}

// On a blocking socket send() returns early only at the send limit or an error.
bool SendAll(int fd, const std::string& bytes) {
  return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

}  // namespace

LoopbackServer::LoopbackServer(Script script) : LoopbackServer([script](int) { return script; }) {}

LoopbackServer::LoopbackServer(std::function<Script(int index)> scriptFor)
    : m_scriptFor(std::move(scriptFor)) {
  sockaddr_in address;
  if ((m_nListen = ListenOnLoopback(&address, m_scriptFor ? 64 : 0)) < 0) return;
  m_nPort = ntohs(address.sin_port);
  if (!m_scriptFor) {  // never accepts: one connection fills the queue of a backlog of 0
    m_nFiller = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::connect(m_nFiller, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return;
  }
  Limit(m_nListen, SO_RCVTIMEO, 50);  // accept returns at least that often
  m_acceptThread = std::thread([this] {
    while (!m_bStop) {
      int fd = ::accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::lock_guard lock(m_mutex);
      m_requests.emplace_back();
      m_endings.emplace_back();
      m_connThreads.emplace_back([this, fd, i = m_requests.size() - 1] { Serve(fd, i); });
    }
  });
}

LoopbackServer::~LoopbackServer() {
  m_bStop = true;
  if (m_acceptThread.joinable()) m_acceptThread.join();
  for (std::thread& t : m_connThreads) t.join();  // no thread adds any more
  if (m_nListen >= 0) ::close(m_nListen);
  if (m_nFiller >= 0) ::close(m_nFiller);
}

void LoopbackServer::Serve(int fd, size_t index) {
  Limit(fd, SO_SNDTIMEO, 2000);  // a client that stops reading must not hold the destructor
  Limit(fd, SO_RCVTIMEO, 300);   // nor one that sends no request
  Script script = m_scriptFor(static_cast<int>(index));
  SendAll(fd, script.greeting);
  std::string request;
  char buf[4096];
  for (ssize_t got;
       request.find("\r\n\r\n") == std::string::npos && (got = ::recv(fd, buf, sizeof buf, 0)) > 0;)
    request.append(buf, static_cast<size_t>(got));
  {
    std::lock_guard lock(m_mutex);
    m_requests[index] = request;
    ++m_nRecorded;
  }
  m_recorded.notify_all();

  if (script.replyFor) script.reply = {script.replyFor(request)};
  for (size_t i = 0; i < script.reply.size() && !m_bStop; ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(script.delayMs));
    SendAll(fd, script.reply[i]);
  }
  while (script.endless && !m_bStop && SendAll(fd, std::string(65536, 'x'))) {
  }
  if (script.hold) {
    // Hold until the client goes, and record how it went.
    Limit(fd, SO_RCVTIMEO, 50);
    std::string ending;
    while (ending.empty() && !m_bStop) {
      ssize_t got = ::recv(fd, buf, sizeof buf, 0);
      if (got == 0) ending = "closed";
      if (got < 0 && errno != EAGAIN && errno != EINTR)
        ending = errno == ECONNRESET ? "reset" : "error";
    }
    std::lock_guard lock(m_mutex);
    m_endings[index] = ending;
  }
  m_recorded.notify_all();
  ::close(fd);
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
  sockaddr_in address;
  int fd = ListenOnLoopback(&address);
  ::close(fd);
  return fd < 0 ? 0 : ntohs(address.sin_port);
}

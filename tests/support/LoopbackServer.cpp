#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

Listener::Listener(const std::string& address, int port, Serve serve) : m_serve(std::move(serve)) {
  // Writes to a client that has gone (one that refused a certificate) must
  // fail, not end the process.
  ::signal(SIGPIPE, SIG_IGN);
  sockaddr_in sa{AF_INET, htons(uint16_t(port)), {}, {}};
  ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  auto* any = reinterpret_cast<sockaddr*>(&sa);
  socklen_t len = sizeof sa;
  m_nListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int on = 1;
  ::setsockopt(m_nListen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (::bind(m_nListen, any, len) != 0 || ::listen(m_nListen, m_serve ? 256 : 0) != 0 ||
      ::getsockname(m_nListen, any, &len) != 0)
    return;  // Port() stays 0
  m_nPort = ntohs(sa.sin_port);
  if (!m_serve) {  // one connection fills the queue of a backlog of 0
    m_nFiller = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::connect(m_nFiller, any, len);
    return;
  }
  m_acceptThread = std::thread([this] {
    for (;;) {
      int fd = ::accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC);
      std::lock_guard lock(m_mutex);
      if (m_bStop && fd >= 0) ::close(fd);
      if (m_bStop) return;
      if (fd < 0) continue;
      m_fds.push_back(fd);
      m_nMaxOpen = std::max(m_nMaxOpen.load(), int(m_fds.size()));  // changes under the lock only
      m_threads.emplace_back([this, fd, index = m_nAccepted++] {
        m_serve(fd, index);
        std::lock_guard lock(m_mutex);
        m_fds.erase(std::find(m_fds.begin(), m_fds.end(), fd));
        // Counted closed before the descriptor is, so a client never sees a
        // connection closed that the listener still counts open.
        ::close(fd);
      });
    }
  });
}

Listener::~Listener() {
  {
    std::lock_guard lock(m_mutex);
    m_bStop = true;
    // Wakes the accept and every blocked read or write.
    ::shutdown(m_nListen, SHUT_RDWR);
    for (int fd : m_fds) ::shutdown(fd, SHUT_RDWR);
  }
  if (m_acceptThread.joinable()) m_acceptThread.join();
  for (std::thread& thread : m_threads) thread.join();  // no thread adds any more
  ::close(m_nListen);
  ::close(m_nFiller);
}

LoopbackServer::LoopbackServer(Script script) : LoopbackServer([script](int) { return script; }) {}

LoopbackServer::LoopbackServer(std::function<Script(int index)> scriptFor)
    : m_scriptFor(std::move(scriptFor)),
      m_listener(
          "127.0.0.1", 0,
          m_scriptFor ? [this](int fd, int index) { Serve(fd, index); } : Listener::Serve()) {}

void LoopbackServer::Serve(int fd, int index) {
  timeval limit{0, 300000};  // a client that sends no request
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  auto send = [fd](const std::string& bytes) {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
  };
  Script script = m_scriptFor(index);
  std::string request;
  char buf[4096];
  for (ssize_t got;
       request.find("\r\n\r\n") == std::string::npos && (got = ::recv(fd, buf, sizeof buf, 0)) > 0;)
    request.append(buf, static_cast<size_t>(got));
  {
    std::lock_guard lock(m_mutex);
    m_requests.resize(std::max(m_requests.size(), size_t(index) + 1));
    m_requests[size_t(index)] = request;
  }
  if (script.replyFor) script.reply = {script.replyFor(request)};
  for (size_t i = 0; i < script.reply.size(); ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(script.delayMs));
    send(script.reply[i]);
  }
  while (script.endless && send(std::string(65536, 'x'))) continue;
  // Hold until the client goes (or the server stops), and record how it went.
  while (script.hold) {
    const ssize_t got = ::recv(fd, buf, sizeof buf, 0);
    const int error = errno;
    if (got > 0 || (got < 0 && (error == EAGAIN || error == EINTR))) continue;
    std::lock_guard lock(m_mutex);
    m_endings[index] = got == 0 ? "closed" : error == ECONNRESET ? "reset" : "error";
    m_ended.notify_all();
    break;
  }
}

std::string LoopbackServer::WaitForEnding(int index, int timeoutMs) const {
  std::unique_lock lock(m_mutex);
  bool ended = m_ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return m_endings.count(index) > 0; });
  return ended ? m_endings.at(index) : "";
}

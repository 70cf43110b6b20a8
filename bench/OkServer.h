// A server on 127.0.0.1 for the benchmarks: it answers every request with
// "HTTP/1.0 200 OK" and closes. It runs on a thread of its own.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

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
    m_nPort = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
  }
  ~OkServer() {
    m_stop = true;
    m_thread.join();
    ::close(m_listen);
  }
  int Port() const { return m_nPort; }
  std::string PortText() const { return std::to_string(m_nPort); }

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
  int m_nPort = 0;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

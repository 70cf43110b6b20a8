// CSocketWnd: the program's one network object, a TCP client socket whose
// notifications (readable, closed) are relayed, unchanged, to its parent, the
// results view. One is created for every probe and destroyed when the link is
// done.
//
// Threading: used on the event loop's thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/EventLoop.h"

namespace linkward {

class CSocketWnd {
 public:
  // The handle while no socket is held (Winsock's INVALID_SOCKET).
  static constexpr int kNoSocket = -1;
  // Connect's result when the interrupt check asked it to stop waiting.
  static constexpr unsigned kConnectInterrupted = 1;

  // Receives (socket, event, error) exactly as the watch delivers them. The
  // parent may destroy this object from inside the call.
  using ParentNotify = std::function<void(int fd, int event, int error)>;

  CSocketWnd(IEventLoop& loop, ParentNotify parent);
  ~CSocketWnd();  // closes a socket still held

  static int InstanceCount();

  // Looks a host name up: true and its first IPv4 address (network byte
  // order) in *address, or false when the name is not found. Runs on a
  // thread of its own while Connect waits.
  using Resolver = std::function<bool(const std::string& host, uint32_t* address)>;
  // Runs job on a new thread; throws std::system_error when none can start.
  using ThreadStarter = std::function<void(std::function<void()> job)>;
  // Replace the name lookup and the thread start (tests); an empty function
  // restores the system's (getaddrinfo, a detached std::thread).
  static void SetResolver(Resolver resolver);
  static void SetThreadStarter(ThreadStarter starter);
  // Asked at least every 100 ms while Connect waits for a lookup or a
  // connect; when it answers true, Connect gives up and returns
  // kConnectInterrupted. Empty: never asked.
  static void SetInterruptCheck(std::function<bool()> check);

  // Resolves host and connects to it, synchronously but bounded by timeoutMs
  // (resolution and connect together; timeoutMs <= 0 means no bound).
  // Leading spaces of host are skipped; a host is a numeric address only when
  // inet_aton accepts its whole text, every other host is looked up by name.
  // Returns 0 on success (the socket is then held, see Handle()),
  // kConnectInterrupted, or a failure code: 10001 empty host or port 0, 10002
  // name not found or no thread to look it up, 10003 no socket, 10004
  // connect failed, 10005 the bound ran out first.
  unsigned Connect(const char* host, const char* port, int timeoutMs);

  // Makes the socket non-blocking and watches it for SocketEvent::Read | Close.
  // Returns 0, also when no socket is held.
  int AsyncSelect(long events);
  // send() with MSG_NOSIGNAL added; returns 0 when no socket is held.
  int Send(const void* buf, int len, int flags);
  // recv(); the platform's result.
  int Receive(void* buf, int size, int flags);
  // Stops the watch and closes the socket; the handle is then kNoSocket.
  int Close();

  int Handle() const { return m_hSocket; }

 private:
  IEventLoop& m_loop;
  ParentNotify m_parent;
  int m_hSocket = kNoSocket;
  bool m_bWatched = false;
  static int s_nInstances;
};

}  // namespace linkward

// The event loop on poll(2), for the terminal face and for tests.
//
// With virtual time, the loop never sleeps while no socket is watched: it
// moves its clock straight to the next timer expiry. While sockets are
// watched it waits for real and moves its clock by the real time waited, so a
// test with real loopback servers behaves as in real time.
#pragma once

#include <functional>
#include <map>
#include <vector>

#include "platform/EventLoop.h"

namespace linkward {

class CPollEventLoop : public IEventLoop {
 public:
  explicit CPollEventLoop(bool virtualTime = false);

  void SetTimer(int id, int periodMs, TimerFn fn) override;
  void KillTimer(int id) override;
  void WatchSocket(int fd, SocketFn fn) override;
  void UnwatchSocket(int fd) override;
  void WatchReadiness(int fd, int events, SocketFn fn) override;
  int64_t NowMs() const override;

  // Waits for and delivers at most one event (a timer expiry or a socket
  // notification), waiting no longer than maxWaitMs (-1: no limit). Returns
  // false when nothing was delivered.
  bool RunOnce(int maxWaitMs = -1);
  // Runs until done() is true (checked before every wait) or Quit() is called.
  void RunUntil(const std::function<bool()>& done);
  // Runs for ms of the loop's own time.
  void RunFor(int64_t ms);
  void Quit() { m_bQuit = true; }
  bool HasTimer(int id) const { return m_timers.count(id) != 0; }
  int WatchCount() const { return static_cast<int>(m_watches.size()); }

 private:
  struct Timer {
    int periodMs;
    int64_t due;
    uint64_t generation;
    TimerFn fn;
  };
  struct Watch {
    SocketFn fn;
    bool closeDelivered = false;
    int readiness = 0;  // a readiness watch: SocketEvent::Readable/SocketEvent::Writable, plus kRaw
  };
  static constexpr int kRaw = 1;

  bool m_bVirtual;
  int64_t m_nVirtualNow = 0;
  bool m_bQuit = false;
  uint64_t m_nGeneration = 0;
  std::map<int, Timer> m_timers;
  std::map<int, Watch> m_watches;
  int m_nLastFd = -1;  // the descriptor delivered last, so ready ones take turns
};

}  // namespace linkward

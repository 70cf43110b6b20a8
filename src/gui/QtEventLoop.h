// The event loop port on Qt: one QTimer per timer id and one QSocketNotifier
// per watched socket, all on the GUI thread. Qt keeps dispatching them while a
// modal dialog or message box is open, so a running test goes on under it.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <map>
#include <memory>

#include "platform/EventLoop.h"

class QTimer;
class QSocketNotifier;

namespace linkward {

class QtEventLoop : public QObject, public IEventLoop {
  Q_OBJECT

 public:
  explicit QtEventLoop(QObject* parent = nullptr);
  ~QtEventLoop() override;

  void SetTimer(int id, int periodMs, TimerFn fn) override;
  void KillTimer(int id) override;
  void WatchSocket(int fd, SocketFn fn) override;
  void UnwatchSocket(int fd) override;
  void WatchReadiness(int fd, int events, SocketFn fn) override;
  int64_t NowMs() const override;

  bool HasTimer(int id) const { return m_timers.count(id) != 0; }
  int WatchCount() const { return static_cast<int>(m_watches.size()); }

 private:
  struct Timer {
    QTimer* timer = nullptr;
    TimerFn fn;
    uint64_t generation = 0;
  };
  struct Watch {
    QSocketNotifier* notifier = nullptr;
    SocketFn fn;
    uint64_t generation = 0;
    bool closeDelivered = false;
    // A readiness watch: one notifier per kind asked for (Read, Write,
    // Exception), delivered as SocketEvent::Readable, SocketEvent::Writable and SocketEvent::Error.
    QSocketNotifier* writeNotifier = nullptr;
    QSocketNotifier* errorNotifier = nullptr;
    bool readiness = false;
  };

  void OnTimeout(int id, uint64_t generation);
  void OnReadable(int fd, uint64_t generation);
  void OnReady(int fd, uint64_t generation, int event);

  QElapsedTimer m_clock;
  uint64_t m_nGeneration = 0;
  std::map<int, Timer> m_timers;
  std::map<int, Watch> m_watches;
};

}  // namespace linkward

#include "gui/QtEventLoop.h"

#include <QSocketNotifier>
#include <QTimer>

namespace linkward {

QtEventLoop::QtEventLoop(QObject* parent) : QObject(parent) {
  m_clock.start();
}

QtEventLoop::~QtEventLoop() {
  for (auto& [id, timer] : m_timers) delete timer.timer;
  for (auto& [fd, watch] : m_watches) {
    delete watch.notifier;
    delete watch.writeNotifier;
    delete watch.errorNotifier;
  }
}

void QtEventLoop::SetTimer(int id, int periodMs, TimerFn fn) {
  Timer& entry = m_timers[id];
  if (!entry.timer) {
    entry.timer = new QTimer(this);
    entry.timer->setTimerType(Qt::PreciseTimer);
  }
  // A new generation makes an expiry of the replaced countdown that is already
  // queued harmless.
  entry.generation = ++m_nGeneration;
  entry.fn = std::move(fn);
  entry.timer->disconnect(this);
  const uint64_t generation = entry.generation;
  connect(entry.timer, &QTimer::timeout, this,
          [this, id, generation] { OnTimeout(id, generation); });
  entry.timer->start(periodMs < 0 ? 0 : periodMs);
}

void QtEventLoop::KillTimer(int id) {
  auto it = m_timers.find(id);
  if (it == m_timers.end()) return;
  it->second.timer->stop();
  // The handler may be running right now (a timer killing itself), so the
  // QTimer is deleted later, never under its own signal.
  it->second.timer->disconnect(this);
  it->second.timer->deleteLater();
  m_timers.erase(it);
}

void QtEventLoop::OnTimeout(int id, uint64_t generation) {
  auto it = m_timers.find(id);
  if (it == m_timers.end() || it->second.generation != generation) return;
  // Copy: the handler may kill or replace this very timer.
  TimerFn fn = it->second.fn;
  if (fn) fn(id);
}

void QtEventLoop::WatchSocket(int fd, SocketFn fn) {
  UnwatchSocket(fd);
  Watch& watch = m_watches[fd];
  watch.fn = std::move(fn);
  watch.generation = ++m_nGeneration;
  watch.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  const uint64_t generation = watch.generation;
  connect(watch.notifier, &QSocketNotifier::activated, this,
          [this, fd, generation] { OnReadable(fd, generation); });
  watch.notifier->setEnabled(true);
}

void QtEventLoop::WatchReadiness(int fd, int events, SocketFn fn) {
  UnwatchSocket(fd);
  Watch& watch = m_watches[fd];
  watch.fn = std::move(fn);
  watch.generation = ++m_nGeneration;
  watch.readiness = true;
  const uint64_t generation = watch.generation;
  auto make = [this, fd, generation](QSocketNotifier::Type type, int event) {
    auto* notifier = new QSocketNotifier(fd, type, this);
    connect(notifier, &QSocketNotifier::activated, this,
            [this, fd, generation, event] { OnReady(fd, generation, event); });
    notifier->setEnabled(true);
    return notifier;
  };
  if (events & SocketEvent::Readable)
    watch.notifier = make(QSocketNotifier::Read, SocketEvent::Readable);
  if (events & SocketEvent::Writable)
    watch.writeNotifier = make(QSocketNotifier::Write, SocketEvent::Writable);
  watch.errorNotifier = make(QSocketNotifier::Exception, SocketEvent::Error);
}

void QtEventLoop::UnwatchSocket(int fd) {
  auto it = m_watches.find(fd);
  if (it == m_watches.end()) return;
  for (QSocketNotifier* notifier :
       {it->second.notifier, it->second.writeNotifier, it->second.errorNotifier}) {
    if (!notifier) continue;
    notifier->setEnabled(false);
    notifier->disconnect(this);
    // Never deleted under its own signal.
    notifier->deleteLater();
  }
  m_watches.erase(it);
}

void QtEventLoop::OnReady(int fd, uint64_t generation, int event) {
  auto it = m_watches.find(fd);
  if (it == m_watches.end() || it->second.generation != generation) return;
  // Level-triggered: the notifier fires again while the condition holds.
  SocketFn fn = it->second.fn;
  fn(fd, event, 0);
}

void QtEventLoop::OnReadable(int fd, uint64_t generation) {
  auto it = m_watches.find(fd);
  if (it == m_watches.end() || it->second.generation != generation) return;
  QSocketNotifier* notifier = it->second.notifier;
  // No second notice for the same descriptor while this one is delivered.
  notifier->setEnabled(false);
  int error = 0;
  const int event = ClassifyReadable(fd, &error);
  if (event == 0) {
    notifier->setEnabled(true);
    return;
  }
  if (event == SocketEvent::Close) it->second.closeDelivered = true;
  SocketFn fn = it->second.fn;
  fn(fd, event, error);
  // The handler may have removed the watch, closed the descriptor, or watched
  // a new socket under the same number.
  it = m_watches.find(fd);
  if (it == m_watches.end() || it->second.generation != generation) return;
  if (!it->second.closeDelivered) it->second.notifier->setEnabled(true);
}

int64_t QtEventLoop::NowMs() const {
  return m_clock.elapsed();
}

}  // namespace linkward

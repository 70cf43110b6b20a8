#include "platform/PollEventLoop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>

namespace linkward {

namespace {

int64_t RealNowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int ClampWait(int64_t ms) {
  if (ms < 0) return 0;
  return static_cast<int>(std::min<int64_t>(ms, 1 << 30));
}

}  // namespace

CPollEventLoop::CPollEventLoop(bool virtualTime) : m_bVirtual(virtualTime) {}

void CPollEventLoop::SetTimer(int id, int periodMs, TimerFn fn) {
  // A zero period would keep the timer due forever and starve everything else.
  int period = std::max(periodMs, 1);
  m_timers[id] = Timer{period, NowMs() + period, ++m_nGeneration, std::move(fn)};
}

void CPollEventLoop::KillTimer(int id) {
  m_timers.erase(id);
}

void CPollEventLoop::WatchSocket(int fd, SocketFn fn) {
  m_watches[fd] = Watch{std::move(fn)};
}

void CPollEventLoop::WatchReadiness(int fd, int events, SocketFn fn) {
  Watch watch{std::move(fn)};
  watch.readiness = kRaw | (events & (SocketEvent::Readable | SocketEvent::Writable));
  m_watches[fd] = std::move(watch);
}

void CPollEventLoop::UnwatchSocket(int fd) {
  m_watches.erase(fd);
}

int64_t CPollEventLoop::NowMs() const {
  return m_bVirtual ? m_nVirtualNow : RealNowMs();
}

bool CPollEventLoop::RunOnce(int maxWaitMs) {
  std::optional<int64_t> deadline;
  if (maxWaitMs >= 0) deadline = NowMs() + maxWaitMs;

  // Delivers the first ready descriptor that still has something to say,
  // starting after the one delivered last so that busy descriptors take turns.
  auto deliverReady = [this](const std::vector<pollfd>& fds) {
    size_t start = 0;
    while (start < fds.size() && fds[start].fd <= m_nLastFd) ++start;
    for (size_t i = 0; i < fds.size(); ++i) {
      const pollfd& p = fds[(start + i) % fds.size()];
      if (p.revents == 0) continue;
      auto it = m_watches.find(p.fd);
      if (it == m_watches.end() || it->second.closeDelivered) continue;
      int error = 0;
      int event = 0;
      if (it->second.readiness != 0) {
        const int wanted = it->second.readiness;
        if ((p.revents & (POLLIN | POLLHUP)) && (wanted & SocketEvent::Readable))
          event |= SocketEvent::Readable;
        if ((p.revents & POLLOUT) && (wanted & SocketEvent::Writable))
          event |= SocketEvent::Writable;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) event |= SocketEvent::Error;
      } else {
        event = ClassifyReadable(p.fd, &error);
        if (event == SocketEvent::Close) it->second.closeDelivered = true;
      }
      if (event == 0) continue;
      m_nLastFd = p.fd;
      // The handler may remove this watch or destroy the callback's owner.
      SocketFn fn = it->second.fn;
      fn(p.fd, event, error);
      return true;
    }
    return false;
  };

  for (;;) {
    // Socket notifications go before timers, as posted messages go before
    // timer messages in a window's queue.
    std::vector<pollfd> fds;
    fds.reserve(m_watches.size());
    for (const auto& [fd, watch] : m_watches) {
      if (watch.closeDelivered) continue;
      short events = watch.readiness == 0 ? POLLIN : 0;
      if (watch.readiness & SocketEvent::Readable) events |= POLLIN;
      if (watch.readiness & SocketEvent::Writable) events |= POLLOUT;
      fds.push_back(pollfd{fd, events, 0});
    }
    if (!fds.empty() && ::poll(fds.data(), fds.size(), 0) > 0 && deliverReady(fds)) return true;

    // The earliest due timer; killing or replacing a timer in a handler is
    // seen here because the map is read afresh for every delivery.
    int64_t now = NowMs();
    auto next = m_timers.end();
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
      if (next == m_timers.end() || it->second.due < next->second.due) next = it;
    }
    if (next != m_timers.end() && next->second.due <= now) {
      Timer& timer = next->second;
      // At most one expiry is pending per timer: a late loop does not catch up.
      timer.due += timer.periodMs;
      if (timer.due <= now) timer.due = now + timer.periodMs;
      TimerFn fn = timer.fn;
      fn(next->first);
      return true;
    }

    std::optional<int64_t> wakeAt;
    if (next != m_timers.end()) wakeAt = next->second.due;
    if (deadline && (!wakeAt || *deadline < *wakeAt)) wakeAt = deadline;
    if (deadline && now >= *deadline) return false;
    if (!wakeAt && fds.empty()) return false;  // nothing could ever happen

    if (fds.empty()) {
      if (m_bVirtual) {
        m_nVirtualNow = *wakeAt;
      } else {
        ::poll(nullptr, 0, ClampWait(*wakeAt - now));
      }
      continue;
    }

    int timeout = wakeAt ? ClampWait(*wakeAt - now) : -1;
    auto before = std::chrono::steady_clock::now();
    int n = ::poll(fds.data(), fds.size(), timeout);
    if (m_bVirtual) {
      auto waited = std::chrono::steady_clock::now() - before;
      m_nVirtualNow += std::chrono::duration_cast<std::chrono::milliseconds>(waited).count();
      // A poll that ran out waited its whole timeout, whatever the clock's rounding.
      if (n == 0 && wakeAt) m_nVirtualNow = std::max(m_nVirtualNow, *wakeAt);
    }
    if (n > 0 && deliverReady(fds)) return true;
  }
}

void CPollEventLoop::RunUntil(const std::function<bool()>& done) {
  while (!m_bQuit && !done()) {
    if (!RunOnce(-1)) break;  // nothing left that could ever make done() true
  }
  m_bQuit = false;
}

void CPollEventLoop::RunFor(int64_t ms) {
  const int64_t end = NowMs() + ms;
  while (!m_bQuit) {
    int64_t left = end - NowMs();
    if (left < 0) break;
    if (!RunOnce(ClampWait(left)) && NowMs() >= end) break;
  }
  m_bQuit = false;
}

}  // namespace linkward

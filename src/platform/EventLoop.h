// The event loop port: what the core asks of a face to be driven in time.
//
// Timers work like window timers: each has an id, setting a timer that is
// already running replaces its countdown, and killing a timer also drops an
// expiry that has not been delivered yet. A timer keeps firing every period
// until it is killed.
//
// Socket watches report, for a watched descriptor, "readable with data
// waiting" as FD_READ and "end of stream, hang-up or error" as FD_CLOSE.
// FD_CLOSE is delivered at most once per watch. Every delivery happens on the
// loop's own thread, one at a time; a handler may kill timers, remove watches
// (its own included) and close the descriptor.
//
// Readiness watches (WatchReadiness) are the raw kind a transfer library
// needs: they report, level-triggered, whichever of FD_READABLE, FD_WRITABLE
// and FD_ERROR hold for the descriptor, as a mask in the event argument (the
// error argument is 0), for as long as the watch stands. Watching a descriptor
// again replaces its watch, of either kind; UnwatchSocket removes either kind.
#pragma once

#include <cstdint>
#include <functional>

namespace linkward {

constexpr int FD_READ = 1;
constexpr int FD_CLOSE = 32;
// Readiness watches: what to wait for, and what is reported.
constexpr int FD_READABLE = 0x100;
constexpr int FD_WRITABLE = 0x200;
constexpr int FD_ERROR = 0x400;  // reported whatever was asked (error or hang-up)

class IEventLoop {
 public:
  using TimerFn = std::function<void(int id)>;
  using SocketFn = std::function<void(int fd, int event, int error)>;

  virtual ~IEventLoop() = default;

  virtual void SetTimer(int id, int periodMs, TimerFn fn) = 0;
  virtual void KillTimer(int id) = 0;

  virtual void WatchSocket(int fd, SocketFn fn) = 0;
  virtual void UnwatchSocket(int fd) = 0;
  // events: FD_READABLE and/or FD_WRITABLE (0 watches for errors only).
  virtual void WatchReadiness(int fd, int events, SocketFn fn) = 0;

  // Milliseconds on a monotonic clock; virtual time in loops that simulate it.
  virtual int64_t NowMs() const = 0;
};

// Tells what a readable descriptor means: FD_READ when at least one byte is
// waiting, FD_CLOSE (with *error set from the socket, 0 for an orderly close)
// when the peer has closed or the socket failed. Returns 0 when nothing is
// waiting after all. Reads nothing (peeks one byte).
int ClassifyReadable(int fd, int* error);

}  // namespace linkward

// The event loop port: what the core asks of a face to be driven in time.
//
// Timers work like window timers: each has an id, setting a timer that is
// already running replaces its countdown, and killing a timer also drops an
// expiry that has not been delivered yet. A timer keeps firing every period
// until it is killed.
//
// Socket watches report, for a watched descriptor, "readable with data
// waiting" as SocketEvent::Read and "end of stream, hang-up or error" as
// SocketEvent::Close. Close is delivered at most once per watch. Every
// delivery happens on the loop's own thread, one at a time; a handler may kill
// timers, remove watches (its own included) and close the descriptor.
//
// Readiness watches (WatchReadiness) are the raw kind a transfer library
// needs: they report, level-triggered, whichever of SocketEvent::Readable,
// Writable and Error hold for the descriptor, as a mask in the event argument
// (the error argument is 0), for as long as the watch stands. Watching a
// descriptor again replaces its watch, of either kind; UnwatchSocket removes
// either kind.
#pragma once

#include <cstdint>
#include <functional>

namespace linkward {

// The events a socket handler receives.
struct SocketEvent {
  // Socket watches; the values are Winsock's FD_READ and FD_CLOSE.
  static constexpr int Read = 1;
  static constexpr int Close = 32;
  // Readiness watches: what to wait for, and what is reported.
  static constexpr int Readable = 0x100;
  static constexpr int Writable = 0x200;
  static constexpr int Error = 0x400;  // reported whatever was asked (error or hang-up)
};

class IEventLoop {
 public:
  using TimerFn = std::function<void(int id)>;
  using SocketFn = std::function<void(int fd, int event, int error)>;

  virtual ~IEventLoop() = default;

  virtual void SetTimer(int id, int periodMs, TimerFn fn) = 0;
  virtual void KillTimer(int id) = 0;

  virtual void WatchSocket(int fd, SocketFn fn) = 0;
  virtual void UnwatchSocket(int fd) = 0;
  // events: SocketEvent::Readable and/or Writable (0 watches for errors only).
  virtual void WatchReadiness(int fd, int events, SocketFn fn) = 0;

  // Milliseconds on a monotonic clock; virtual time in loops that simulate it.
  virtual int64_t NowMs() const = 0;
};

// Tells what a readable descriptor means: SocketEvent::Read when at least one
// byte is waiting, SocketEvent::Close (with *error set from the socket, 0 for
// an orderly close) when the peer has closed or the socket failed. Returns 0
// when nothing is waiting after all. Reads nothing (peeks one byte).
int ClassifyReadable(int fd, int* error);

}  // namespace linkward

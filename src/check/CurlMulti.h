// CCurlMulti: one libcurl multi handle driven by the event loop port.
//
// It watches the descriptors libcurl asks for (readiness watches), runs
// libcurl's one timer as a one-shot loop timer with the id it is given, lets
// libcurl act on what the loop reports, and hands each finished transfer to
// the done handler: the easy handle, its CURLINFO_PRIVATE pointer (read before
// any handler of the round runs) and its result. After a round's finished
// transfers, the after handler runs (if any).
//
// A handler may destroy the owner (and so this object): the rest of the round
// is then dropped. Interrupt() from within a handler drops the rest of the
// round too, the after handler included. Remove the easy handles before the
// destructor, which closes the cached connections, removes every watch and
// kills the timer.
//
// Threading: the loop's thread only.
#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/EventLoop.h"

namespace linkward {

class CCurlMulti {
 public:
  using DoneFn = std::function<void(CURL* easy, void* data, CURLcode result)>;
  using AfterFn = std::function<void()>;

  CCurlMulti(IEventLoop& loop, int timerId, DoneFn done, AfterFn after = {});
  ~CCurlMulti();
  CCurlMulti(const CCurlMulti&) = delete;
  CCurlMulti& operator=(const CCurlMulti&) = delete;

  CURLM* Handle() const { return m_multi; }  // for curl_multi_setopt
  CURLMcode Add(CURL* easy) { return curl_multi_add_handle(m_multi, easy); }
  void Remove(CURL* easy) { curl_multi_remove_handle(m_multi, easy); }
  // Drops the finished transfers of the current round not yet handed over.
  void Interrupt() { ++m_round; }

 private:
  static int SocketCallback(CURL*, curl_socket_t fd, int what, void* userp, void*);
  static int TimerCallback(CURLM*, long ms, void* userp);
  void Drive(curl_socket_t fd, int mask);

  IEventLoop& m_loop;
  const int m_timerId;
  DoneFn m_done;
  AfterFn m_after;
  CURLM* m_multi = nullptr;
  std::vector<int> m_watched;  // descriptors libcurl has asked to be watched
  uint64_t m_round = 0;
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace linkward

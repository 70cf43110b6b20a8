#include "check/CurlMulti.h"

#include <algorithm>
#include <utility>

namespace linkward {

CCurlMulti::CCurlMulti(IEventLoop& loop, int timerId, DoneFn done, AfterFn after)
    : m_loop(loop), m_timerId(timerId), m_done(std::move(done)), m_after(std::move(after)) {
  // libcurl is set up before its first handle (the owners set it up only after
  // their members, this one included, are made).
  static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  (void)initialised;
  m_multi = curl_multi_init();
  curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CCurlMulti::SocketCallback);
  curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
  curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CCurlMulti::TimerCallback);
  curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
}

CCurlMulti::~CCurlMulti() {
  *m_alive = false;
  curl_multi_cleanup(m_multi);  // closes the cached connections, removing their watches
  for (int fd : m_watched) m_loop.UnwatchSocket(fd);
  m_loop.KillTimer(m_timerId);
}

// libcurl asks for a descriptor to be watched for what, or no longer.
int CCurlMulti::SocketCallback(CURL*, curl_socket_t fd, int what, void* userp, void*) {
  auto* self = static_cast<CCurlMulti*>(userp);
  if (what == CURL_POLL_REMOVE) {
    self->m_loop.UnwatchSocket(fd);
    self->m_watched.erase(std::remove(self->m_watched.begin(), self->m_watched.end(), fd),
                          self->m_watched.end());
    return 0;
  }
  int events = 0;
  if (what == CURL_POLL_IN || what == CURL_POLL_INOUT) events |= SocketEvent::Readable;
  if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT) events |= SocketEvent::Writable;
  if (std::find(self->m_watched.begin(), self->m_watched.end(), fd) == self->m_watched.end())
    self->m_watched.push_back(fd);
  self->m_loop.WatchReadiness(fd, events, [self](int s, int event, int) {
    int mask = 0;
    if (event & SocketEvent::Readable) mask |= CURL_CSELECT_IN;
    if (event & SocketEvent::Writable) mask |= CURL_CSELECT_OUT;
    if (event & SocketEvent::Error) mask |= CURL_CSELECT_ERR;
    self->Drive(s, mask);
  });
  return 0;
}

// libcurl asks for its one timer to be set (ms >= 0) or stopped (-1).
int CCurlMulti::TimerCallback(CURLM*, long ms, void* userp) {
  auto* self = static_cast<CCurlMulti*>(userp);
  if (ms < 0) {
    self->m_loop.KillTimer(self->m_timerId);
  } else {
    self->m_loop.SetTimer(self->m_timerId, int(std::min<long>(ms, 1 << 30)), [self](int id) {
      self->m_loop.KillTimer(id);  // one shot
      self->Drive(CURL_SOCKET_TIMEOUT, 0);
    });
  }
  return 0;
}

// Lets libcurl act on a descriptor or its timer, then hands over what finished.
void CCurlMulti::Drive(curl_socket_t fd, int mask) {
  std::shared_ptr<bool> living = m_alive;
  int running = 0;
  curl_multi_socket_action(m_multi, fd, mask, &running);
  struct Finished {
    CURL* easy;
    void* data;
    CURLcode result;
  };
  std::vector<Finished> finished;
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(m_multi, &left)) {
    if (msg->msg != CURLMSG_DONE) continue;
    void* data = nullptr;
    curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &data);
    finished.push_back({msg->easy_handle, data, msg->data.result});
  }
  const uint64_t round = ++m_round;
  for (const Finished& f : finished) {
    if (!*living || m_round != round) return;  // the owner is gone, or dropped the round
    m_done(f.easy, f.data, f.result);
  }
  if (*living && m_round == round && m_after) m_after();
}

}  // namespace linkward

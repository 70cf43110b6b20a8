#include "check/NameProbe.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace linkward {

NameAnswer SystemNameLookup(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
  if (found) ::freeaddrinfo(found);
  switch (rc) {
    case 0: return NameAnswer::Found;
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
    case EAI_FAIL:
      return NameAnswer::Missing;
    default:
      return NameAnswer::Temporary;
  }
}

// What the lookup threads share with the loop: the answers not taken yet and
// the socket pair that wakes the loop. The last owner closes the pair.
struct CNameProbe::Channel {
  std::mutex mutex;
  std::vector<std::pair<std::string, NameAnswer>> answers;
  int fds[2] = {-1, -1};  // [0] watched by the loop, [1] written by the threads

  ~Channel() {
    for (int fd : fds)
      if (fd >= 0) ::close(fd);
  }
  void Post(std::string name, NameAnswer answer) {
    {
      std::lock_guard lock(mutex);
      answers.emplace_back(std::move(name), answer);
    }
    char byte = 1;
    (void)!::send(fds[1], &byte, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
  }
};

CNameProbe::CNameProbe(IEventLoop& loop, NameLookupFn lookup, DoneFn done)
    : m_loop(loop),
      m_lookup(lookup ? std::move(lookup) : NameLookupFn(SystemNameLookup)),
      m_done(std::move(done)),
      m_pChannel(std::make_shared<Channel>()) {}

CNameProbe::~CNameProbe() {
  *m_pAlive = false;
  m_loop.KillTimer(kFallbackTimerId);
  if (m_bWatching) m_loop.UnwatchSocket(m_pChannel->fds[0]);
}

void CNameProbe::Probe(const std::string& name) {
  Channel& channel = *m_pChannel;
  if (!m_bWatching) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel.fds) != 0) {
      channel.fds[0] = channel.fds[1] = -1;
    } else {
      m_loop.WatchSocket(channel.fds[0], [this](int, int event, int) {
        if (event == SocketEvent::Read) OnReadable();
      });
      m_bWatching = true;
    }
  }
  if (m_bWatching) {
    try {
      std::thread([channel = m_pChannel, lookup = m_lookup, name] {
        channel->Post(name, lookup(name));
      }).detach();
      return;
    } catch (const std::system_error&) {
    }
  }
  // No thread or no wake-up: the name counts as failed for a time.
  if (m_bWatching) {
    channel.Post(name, NameAnswer::Temporary);
    return;
  }
  m_unanswered.push_back(name);
  m_loop.SetTimer(kFallbackTimerId, 0, [this](int id) {
    m_loop.KillTimer(id);
    std::vector<std::string> names;
    names.swap(m_unanswered);
    Deliver(names, NameAnswer::Temporary);
  });
}

void CNameProbe::Deliver(const std::vector<std::string>& names, NameAnswer answer) {
  std::shared_ptr<bool> living = m_pAlive;
  for (const std::string& name : names) {
    if (!*living) return;  // a callback destroyed the probe
    m_done(name, answer);
  }
}

void CNameProbe::OnReadable() {
  char drain[64];
  while (::recv(m_pChannel->fds[0], drain, sizeof drain, MSG_DONTWAIT) > 0) {
  }
  std::vector<std::pair<std::string, NameAnswer>> answers;
  {
    std::lock_guard lock(m_pChannel->mutex);
    answers.swap(m_pChannel->answers);
  }
  std::shared_ptr<bool> living = m_pAlive;
  for (const auto& [name, answer] : answers) {
    if (!*living) return;  // a callback destroyed the probe
    m_done(name, answer);
  }
}

}  // namespace linkward

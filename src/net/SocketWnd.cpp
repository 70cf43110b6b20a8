#include "net/SocketWnd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace linkward {

int CSocketWnd::s_nInstances = 0;

namespace {

constexpr unsigned kInvalidPortOrName = 10001;
constexpr unsigned kHostNotFound = 10002;
constexpr unsigned kNoSocket = 10003;
constexpr unsigned kConnectFailed = 10004;
constexpr unsigned kTookTooLong = 10005;

// Time left of a bound set at construction; -1 means no bound.
class Bound {
 public:
  explicit Bound(int ms) : m_ms(ms), m_start(std::chrono::steady_clock::now()) {}
  int LeftMs() const {
    if (m_ms <= 0) return -1;
    auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - m_start)
                     .count();
    return spent >= m_ms ? 0 : static_cast<int>(m_ms - spent);
  }
  bool RanOut() const { return LeftMs() == 0; }

 private:
  int m_ms;
  std::chrono::steady_clock::time_point m_start;
};

enum class Lookup { kFound, kNotFound, kTimedOut, kInterrupted };

constexpr int kSliceMs = 100;  // longest wait between two interrupt checks

CSocketWnd::Resolver g_resolver;
CSocketWnd::ThreadStarter g_threadStarter;
std::function<bool()> g_interruptCheck;

bool Interrupted() {
  return g_interruptCheck && g_interruptCheck();
}

// The next wait: what is left of the bound, at most one slice.
int SliceOf(int leftMs) {
  return leftMs < 0 ? kSliceMs : std::min(leftMs, kSliceMs);
}

// A lookup in flight, shared by the caller and the thread doing it, so a
// caller that stops waiting leaves the thread nothing freed to write into.
struct PendingLookup {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool found = false;
  uint32_t address = 0;
};

bool SystemResolve(const std::string& host, uint32_t* address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) {
    return false;
  }
  *address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(result);
  return true;
}

CSocketWnd::Resolver CurrentResolver() {
  return g_resolver ? g_resolver : CSocketWnd::Resolver(SystemResolve);
}

// Resolves host to its first IPv4 address, waiting no longer than the bound.
// A lookup thread that cannot be started counts as a name not found.
Lookup Resolve(const char* host, const Bound& bound, in_addr* address) {
  CSocketWnd::Resolver resolver = CurrentResolver();
  uint32_t found = 0;
  if (bound.LeftMs() < 0) {
    if (!resolver(host, &found)) return Lookup::kNotFound;
    address->s_addr = found;
    return Lookup::kFound;
  }

  auto pending = std::make_shared<PendingLookup>();
  auto job = [pending, resolver, name = std::string(host)] {
    uint32_t result = 0;
    bool ok = resolver(name, &result);
    std::lock_guard lock(pending->mutex);
    pending->found = ok;
    pending->address = result;
    pending->done = true;
    pending->finished.notify_all();
  };
  try {
    if (g_threadStarter) {
      g_threadStarter(job);
    } else {
      std::thread(job).detach();
    }
  } catch (const std::system_error&) {
    return Lookup::kNotFound;
  }

  std::unique_lock lock(pending->mutex);
  while (!pending->done) {
    int left = bound.LeftMs();
    if (left == 0) return Lookup::kTimedOut;
    if (Interrupted()) return Lookup::kInterrupted;
    pending->finished.wait_for(lock, std::chrono::milliseconds(SliceOf(left)));
  }
  if (!pending->found) return Lookup::kNotFound;
  address->s_addr = pending->address;
  return Lookup::kFound;
}

// True when inet_aton accepts the whole text as an IPv4 address (glibc's
// would also take an address followed by a blank and anything).
bool IsNumericAddress(const char* host, in_addr* address) {
  return std::strpbrk(host, " \t\n\v\f\r") == nullptr && ::inet_aton(host, address) != 0;
}

bool SetBlocking(int fd, bool blocking) {
  int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0) return false;
  flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return ::fcntl(fd, F_SETFL, flags) == 0;
}

// Connects the non-blocking socket fd, waiting no longer than the bound.
// Returns 0, kConnectFailed, kTookTooLong or CSocketWnd::kConnectInterrupted.
unsigned ConnectWithin(int fd, const sockaddr_in& address, const Bound& bound) {
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return 0;
  if (errno != EINPROGRESS && errno != EINTR) return kConnectFailed;
  for (;;) {
    int left = bound.LeftMs();
    if (left == 0) return kTookTooLong;
    if (Interrupted()) return CSocketWnd::kConnectInterrupted;
    pollfd p{fd, POLLOUT, 0};
    int n = ::poll(&p, 1, SliceOf(left));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return kConnectFailed;
    if (n == 0) continue;
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) {
      return kConnectFailed;
    }
    return 0;
  }
}

}  // namespace

CSocketWnd::CSocketWnd(IEventLoop& loop, ParentNotify parent)
    : m_loop(loop), m_parent(std::move(parent)) {
  // The first instance would start the socket library; POSIX sockets need no
  // start-up, so the count is all that is kept.
  ++s_nInstances;
}

CSocketWnd::~CSocketWnd() {
  --s_nInstances;
  if (m_hSocket != CSocketWnd::kNoSocket) Close();
}

int CSocketWnd::InstanceCount() {
  return s_nInstances;
}

void CSocketWnd::SetResolver(Resolver resolver) {
  g_resolver = std::move(resolver);
}

void CSocketWnd::SetThreadStarter(ThreadStarter starter) {
  g_threadStarter = std::move(starter);
}

void CSocketWnd::SetInterruptCheck(std::function<bool()> check) {
  g_interruptCheck = std::move(check);
}

unsigned CSocketWnd::Connect(const char* host, const char* port, int timeoutMs) {
  Bound bound(timeoutMs);
  int nPort = std::atoi(port != nullptr ? port : "");
  const char* name = host != nullptr ? host : "";
  while (*name == ' ') ++name;
  if (*name == '\0' || nPort == 0) return kInvalidPortOrName;

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(nPort));
  if (!IsNumericAddress(name, &address.sin_addr)) {
    switch (Resolve(name, bound, &address.sin_addr)) {
      case Lookup::kFound:
        break;
      case Lookup::kNotFound:
        return kHostNotFound;
      case Lookup::kTimedOut:
        return kTookTooLong;
      case Lookup::kInterrupted:
        return CSocketWnd::kConnectInterrupted;
    }
    if (bound.RanOut()) return kTookTooLong;
  }

  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNoSocket;
  unsigned result = ConnectWithin(fd, address, bound);
  if (result == 0 && !SetBlocking(fd, true)) result = kConnectFailed;
  if (result != 0) {
    ::close(fd);
    return result;
  }

  // A second connect on the same object must not leak the first socket.
  if (m_hSocket != CSocketWnd::kNoSocket) Close();
  m_hSocket = fd;
  return 0;
}

int CSocketWnd::AsyncSelect(long events) {
  if (m_hSocket == CSocketWnd::kNoSocket) return 0;
  if (events == 0) {
    // An empty mask stops the notifications, as it does for the platform call.
    if (m_bWatched) m_loop.UnwatchSocket(m_hSocket);
    m_bWatched = false;
    return 0;
  }
  if (!SetBlocking(m_hSocket, false)) return -1;
  // The relay holds its own copy of the parent's callback and nothing of this
  // object, which the parent may destroy from inside the call.
  m_loop.WatchSocket(m_hSocket, [parent = m_parent](int fd, int event, int error) {
    ParentNotify notify = parent;
    notify(fd, event, error);
  });
  m_bWatched = true;
  return 0;
}

int CSocketWnd::Send(const void* buf, int len, int flags) {
  if (m_hSocket == CSocketWnd::kNoSocket) return 0;
  if (len < 0) {
    errno = EINVAL;
    return -1;
  }
  return static_cast<int>(::send(m_hSocket, buf, static_cast<size_t>(len), flags | MSG_NOSIGNAL));
}

int CSocketWnd::Receive(void* buf, int size, int flags) {
  if (size < 0) {
    errno = EINVAL;
    return -1;
  }
  return static_cast<int>(::recv(m_hSocket, buf, static_cast<size_t>(size), flags));
}

int CSocketWnd::Close() {
  if (m_bWatched) m_loop.UnwatchSocket(m_hSocket);
  m_bWatched = false;
  int result = ::close(m_hSocket);
  m_hSocket = CSocketWnd::kNoSocket;
  return result;
}

}  // namespace linkward

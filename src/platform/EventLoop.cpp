#include "platform/EventLoop.h"

#include <cerrno>
#include <sys/socket.h>

namespace linkward {

int ClassifyReadable(int fd, int* error) {
  *error = 0;
  char byte;
  ssize_t n;
  do {
    n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n > 0) return SocketEvent::Read;
  if (n == 0) return SocketEvent::Close;
  if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
  int soError = 0;
  socklen_t len = sizeof soError;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) == 0 && soError != 0) {
    *error = soError;
  } else {
    *error = errno;
  }
  return SocketEvent::Close;
}

}  // namespace linkward

// Serves the full check's remote site (see FullCheckSite.h) for timed runs of
// whole programs: writes its pages into DIR, prints "ready" once the 50 hosts
// listen, and on SIGTERM, SIGINT or end of input prints what the servers saw.
//
//   fullcheck_server DIR [PORT]
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "FullCheckSite.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: fullcheck_server DIR [PORT]\n");
    return 2;
  }
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  // Every thread started from here on leaves these signals to the wait below.
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  fullcheck::Servers servers(argc > 2 ? std::atoi(argv[2]) : 0);
  if (!servers.Ok() || !fullcheck::WriteSite(argv[1], servers.Port())) {
    std::fprintf(stderr, "cannot listen on 127.0.1.1..127.0.1.50 or write %s\n", argv[1]);
    return 1;
  }
  std::printf("ready %d\n", servers.Port());
  std::fflush(stdout);
  // Waits for a signal; a closed input counts as one.
  const int signalFd = [&] {
    int fds[2];
    if (::pipe(fds) != 0) std::exit(1);
    std::thread([stop, w = fds[1]] {
      int sig;
      sigwait(&stop, &sig);
      ::close(w);
    }).detach();
    return fds[0];
  }();
  pollfd waits[2] = {{signalFd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
  for (;;) {
    ::poll(waits, 2, -1);
    if (waits[0].revents) break;
    if (waits[1].revents) {
      char buffer[256];
      if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) break;
    }
  }
  std::printf("requests %d max_connections_per_host %d max_requests_per_url %d\n",
              servers.Requests(), servers.MaxOpenPerHost(), servers.MaxRequestsPerUrl());
  std::fflush(stdout);
  std::_Exit(0);  // the hosts may still hold connections a client left open
}

// Times the remote checker over the full check's remote site (see
// FullCheckSite.h): 1,000 links, 786 distinct addresses, 50 hosts, 50 ms per
// answer. Prints the time, what was found, and what the servers saw: the most
// connections one host had open at once and the most requests one address got.
//
//   remote_check_timing [--port P] [per-host [transfers]]
//
// With --port the site is served by fullcheck_server on port P (the
// servers' figures are then that program's to print), and every broken
// address found is printed.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "FullCheckSite.h"
#include "check/CheckOutcome.h"
#include "check/HttpChecker.h"
#include "platform/PollEventLoop.h"

using namespace linkward;

int main(int argc, char** argv) {
  int externalPort = 0;
  if (argc > 2 && std::string(argv[1]) == "--port") {
    externalPort = std::atoi(argv[2]);
    argc -= 2;
    argv += 2;
  }
  HttpCheckOptions options;
  if (argc > 1) options.maxPerHost = std::atoi(argv[1]);
  if (argc > 2) options.maxTransfers = std::atoi(argv[2]);
  std::unique_ptr<fullcheck::Servers> servers;
  if (!externalPort) {
    servers = std::make_unique<fullcheck::Servers>();
    if (!servers->Ok()) {
      std::fprintf(stderr, "cannot listen on 127.0.1.1..127.0.1.50\n");
      return 1;
    }
  }
  const int port = externalPort ? externalPort : servers->Port();
  CPollEventLoop loop;
  CHttpChecker checker(loop, options);
  int answered = 0, broken = 0, moved = 0, other = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int link = 0; link < fullcheck::kLinks; ++link) {
    const std::string url = fullcheck::Url(link, port);
    checker.Check(url, [&, url](const HttpOutcome& outcome) {
      ++answered;
      if (outcome.code == 404) {
        ++broken;
        if (externalPort) std::printf("broken %s\n", url.c_str());
      } else if (outcome.code == 301 && outcome.finalCode == 200) {
        ++moved;
      } else if (outcome.code != 200) {
        ++other;
      }
    });
  }
  loop.RunUntil([&] { return answered == fullcheck::kLinks; });
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("links %d (distinct %d) over %d hosts, %d ms per answer; per host %d, transfers %d\n",
              fullcheck::kLinks, fullcheck::kDistinct, fullcheck::kHosts, fullcheck::kDelayMs,
              options.maxPerHost, options.maxTransfers);
  std::printf("time %.3f s\n", seconds);
  std::printf("found: 404 %d (of 100), 301 %d (of 50), other %d\n", broken, moved, other);
  if (servers) {
    std::printf(
        "server: requests %d, connections %d, max connections per host %d, max requests per URL "
        "%d\n",
        servers->Requests(), servers->Connections(), servers->MaxOpenPerHost(),
        servers->MaxRequestsPerUrl());
  }
  return broken == 100 && moved == 50 && other == 0 ? 0 : 1;
}

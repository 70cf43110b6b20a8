// The probe's own cost, without tick pacing: connect, ask for notifications,
// send the request the way the probe does (request line, Host line, empty line), wait for the
// reply through the poll loop, read and drain it, close. The server is a
// thread of this program on 127.0.0.1 that reads the request, answers
// "HTTP/1.0 200 OK" and closes. Goal: 2,000 probes per second or more on one
// core (see items_per_second).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "OkServer.h"
#include "engine/UrlSplit.h"
#include "net/SocketWnd.h"
#include "platform/PollEventLoop.h"

using namespace linkward;

namespace {

void BM_Probe(benchmark::State& state) {
  OkServer server;
  CPollEventLoop loop;
  const std::string request =
      BuildRequest("/index.html", "127.0.0.1", server.PortText(), Scheme::Http);
  int64_t failures = 0;

  for (auto _ : state) {
    std::unique_ptr<CSocketWnd> socket;
    bool done = false;
    unsigned status = 0;
    socket = std::make_unique<CSocketWnd>(loop, [&](int, int event, int) {
      if (event == SocketEvent::Read) {
        char reply[514] = {};
        socket->Receive(reply, 512, 0);
        char drain[512];
        while (socket->Receive(drain, sizeof drain, 0) > 0) {
        }
        char word[514];
        std::sscanf(reply, "%513s%u", word, &status);
      }
      socket->Close();
      socket.reset();
      done = true;
    });
    if (socket->Connect("127.0.0.1", server.PortText().c_str(), 5000) != 0) {
      ++failures;
      continue;
    }
    socket->AsyncSelect(SocketEvent::Read | SocketEvent::Close);
    socket->Send(request.data(), static_cast<int>(request.size()), 0);
    loop.RunUntil([&] { return done; });
    if (status != 200) ++failures;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["failures"] = static_cast<double>(failures);
}
BENCHMARK(BM_Probe)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();

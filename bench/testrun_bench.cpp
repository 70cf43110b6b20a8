// A whole test run against a server on loopback, timed.
//
//   testrun_bench pace [LINKS]     real time: elapsed against the designed pace
//                                  (one 100 ms tick per link plus one per file)
//                                  and the processor time used meanwhile
//   testrun_bench memory           virtual time: peak memory after 1,000 and
//                                  after 100,000 links (100 files of 1,000)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "OkServer.h"
#include "engine/LinkwardView.h"
#include "platform/KeyStore.h"
#include "platform/PollEventLoop.h"
#include "settings/SettingsStore.h"

using namespace linkward;

namespace {

long PeakRssKb() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Bench {
  explicit Bench(bool virtualTime)
      : keys(dir + "/registry.db"), settings(keys, dir), loop(virtualTime) {
    IKeyStore::Key key;
    CSettingsStore::Disposition disposition{};
    settings.OpenRoot(&key, &disposition, CSettingsStore::kMachineRoot, "Software\\Linkward bench");
    settings.CloseKey(&key);
  }

  // files files of linksPerFile links each; returns the first file's path.
  std::string WriteSite(int files, int linksPerFile, int port) {
    ::mkdir((dir + "/site").c_str(), 0700);
    std::string first;
    for (int f = 0; f < files; ++f) {
      char name[64];
      std::snprintf(name, sizeof name, "/site/page%04d.htm", f);
      std::string path = dir + name;
      if (first.empty()) first = path;
      std::FILE* out = std::fopen(path.c_str(), "w");
      for (int i = 0; i < linksPerFile; ++i) {
        std::fprintf(out, "<a href=\"http://127.0.0.1:%d/p%d/%d\">Link %d</a>\n", port, f, i, i);
      }
      std::fclose(out);
    }
    return first;
  }

  void Run(const std::string& first, int allFiles) {
    CLinkwardView view(settings, frame, loop, dir);
    view.StartTest(first, {false, allFiles != 0, false});
    loop.RunUntil([&] { return !view.IsTestRunning(); });
  }

  static std::string MakeDir() {
    char pattern[] = "/tmp/lw-bench-XXXXXX";
    return ::mkdtemp(pattern);
  }

  std::string dir = MakeDir();
  CSqliteKeyStore keys;
  CSettingsStore settings;
  CPollEventLoop loop;
  IFrame frame;
};

int Pace(int links) {
  OkServer server;
  Bench bench(false);
  std::string first = bench.WriteSite(1, links, server.Port());
  double cpuBefore = CpuSeconds();
  auto start = std::chrono::steady_clock::now();
  bench.Run(first, 0);
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double cpu = CpuSeconds() - cpuBefore;
  double designed = (links + 1) * 0.1;  // a tick per link plus one for the file
  std::printf("links: %d\nelapsed: %.2f s\ndesigned pace: %.2f s\ndeviation: %+.2f %%\n", links,
              elapsed, designed, 100.0 * (elapsed - designed) / designed);
  std::printf("processor time: %.3f s (%.2f %% of one core; the loopback server included)\n", cpu,
              100.0 * cpu / elapsed);
  return 0;
}

int Memory() {
  OkServer server;
  long before = PeakRssKb();
  {
    Bench small(true);
    small.Run(small.WriteSite(1, 1000, server.Port()), 0);
  }
  long afterSmall = PeakRssKb();
  {
    Bench large(true);
    large.Run(large.WriteSite(100, 1000, server.Port()), 1);
  }
  long afterLarge = PeakRssKb();
  std::printf(
      "peak resident memory: at start %ld KB, after 1,000 links %ld KB, after 100,000 "
      "links %ld KB\n",
      before, afterSmall, afterLarge);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "pace";
  if (mode == "pace") return Pace(argc > 2 ? std::atoi(argv[2]) : 1000);
  if (mode == "memory") return Memory();
  std::fprintf(stderr, "usage: testrun_bench pace [LINKS] | memory\n");
  return 2;
}

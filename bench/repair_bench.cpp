// One file's repair: back up, copy with 10,000 rewritten lines, replace. The
// file holds 10,000 listed URLs spread over 100 MB (and a 10 MB file first, so
// that the peak resident size after each shows whether memory grows with the
// file). Goal: under 2 s for 100 MB, memory independent of file size.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/Frame.h"
#include "repair/RepairFiles.h"

using namespace linkward;

namespace {

constexpr int kUrls = 10000;

std::string Dir() {
  return "/tmp/linkward-repair-bench-" + std::to_string(getpid());
}
std::string Url(int i) {
  return "http://host" + std::to_string(i % 50) + ".example.org/gone/" + std::to_string(i) +
         ".html";
}

// Writes a file of about totalBytes: lines of ordinary text, every so many
// of them holding one of the listed URLs in order.
void MakeSource(const std::string& path, long totalBytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  const std::string filler =
      "<p>Some ordinary paragraph text of a web page, with <b>markup</b> and no links in "
      "it at all.</p>\r\n";
  const long lines = totalBytes / static_cast<long>(filler.size());
  const long every = lines / kUrls;
  int url = 0;
  for (long i = 0; i < lines; ++i) {
    if (url < kUrls && i % every == every / 2) {
      const std::string line = "<li><a href=\"" + Url(url++) + "\">A page that went away</a>\r\n";
      std::fwrite(line.data(), 1, line.size(), file);
    } else {
      std::fwrite(filler.data(), 1, filler.size(), file);
    }
  }
  std::fclose(file);
}

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void BM_RepairFile(benchmark::State& state) {
  const long megabytes = state.range(0);
  std::filesystem::create_directories(Dir());
  const std::string path = Dir() + "/site.htm";
  const std::string pristine = Dir() + "/pristine";
  MakeSource(pristine, megabytes * 1000 * 1000);
  IFrame frame;
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(Dir() + "/site.rep");
    std::filesystem::copy_file(pristine, path, std::filesystem::copy_options::overwrite_existing);
    state.ResumeTiming();
    CRepairFiles repair(frame);
    int found = repair.BeginFileRepair(path);
    for (int i = 0; i < kUrls; ++i)
      found += repair.RepairLinkLine(Url(i), path, RepairType::Comment);
    found += repair.EndFileRepair(path) != 0;
    if (found != kUrls + 2) state.SkipWithError("a URL was not found or a step failed");
  }
  state.counters["fileMB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
  state.counters["peakRssKB"] = static_cast<double>(PeakRssKb());
  std::filesystem::remove_all(Dir());
}

BENCHMARK(BM_RepairFile)
    ->Arg(10)
    ->Arg(100)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

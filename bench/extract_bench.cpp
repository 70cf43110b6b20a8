// Speed and memory of link extraction and of the directory walk.
//
// Extraction: a generated 100 MB page, once with 500,000 anchors and once with
// only 100, so that the link list's own growth can be told apart from the
// memory of the passes (which must not grow with the file). Discovery: a
// generated tree of 100,000 files in 1,000 directories.
#include <benchmark/benchmark.h>
#include <ftw.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/FileDiscovery.h"
#include "engine/LinkExtractor.h"

using namespace linkward;

namespace {

constexpr size_t kPageBytes = 100 * 1000 * 1000;
constexpr int kTreeDirs = 1000;
constexpr int kFilesPerDir = 100;

double PeakRssMb() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

const std::string& WorkDir() {
  static const std::string dir = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/lw-bench-XXXXXX";
    char* made = mkdtemp(pattern.data());
    return std::string(made ? made : "/tmp");
  }();
  return dir;
}

int RemoveEntry(const char* path, const struct stat*, int, FTW*) {
  return remove(path);
}

// Writes a page of about kPageBytes with `anchors` anchors spread evenly, in
// lines of ordinary text, streaming (the page is never held in memory).
std::string MakePage(const std::string& name, size_t anchors) {
  std::string path = WorkDir() + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return path;
  const std::string text =
      "<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor.</p>\r\n";
  size_t written = 0;
  size_t next = 0;
  const size_t every = kPageBytes / anchors;
  std::string block;
  for (size_t i = 0; written < kPageBytes; ++i) {
    block.clear();
    if (written >= next) {
      block += "<a href=\"http://host" + std::to_string(i % 97) + ".example/dir/page" +
               std::to_string(i) + ".html\">Page\t" + std::to_string(i) + "</a>\r\n";
      next += every;
    }
    block += text;
    std::fwrite(block.data(), 1, block.size(), f);
    written += block.size();
  }
  std::fclose(f);
  return path;
}

void ExtractPage(benchmark::State& state, const std::string& page) {
  const std::string scratch = WorkDir() + "/urltmp~2";
  struct stat st;
  stat(page.c_str(), &st);
  double before = PeakRssMb();
  size_t links = 0;
  for (auto _ : state) {
    StringList linkList, anchorList;
    ExtractLinksToLists(page, scratch, linkList, anchorList);
    links = linkList.size();
    benchmark::DoNotOptimize(linkList);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * st.st_size);
  state.counters["links"] = static_cast<double>(links);
  state.counters["page_MB"] = static_cast<double>(st.st_size) / 1e6;
  state.counters["peak_rss_before_MB"] = before;
  state.counters["peak_rss_after_MB"] = PeakRssMb();
}

void BM_ExtractFewLinks(benchmark::State& state) {
  static const std::string page = MakePage("few.html", 100);
  ExtractPage(state, page);
}

void BM_ExtractManyLinks(benchmark::State& state) {
  static const std::string page = MakePage("many.html", 500000);
  ExtractPage(state, page);
}

void BM_DiscoverTree(benchmark::State& state) {
  static const std::string root = [] {
    std::string top = WorkDir() + "/tree";
    mkdir(top.c_str(), 0755);
    for (int d = 0; d < kTreeDirs; ++d) {
      // Ten branches of a hundred directories, two levels deep.
      std::string branch = top + "/branch" + std::to_string(d / 100);
      mkdir(branch.c_str(), 0755);
      std::string dir = branch + "/dir" + std::to_string(d);
      mkdir(dir.c_str(), 0755);
      for (int f = 0; f < kFilesPerDir; ++f) {
        std::string file = dir + "/page" + std::to_string(f) + (f % 2 ? ".html" : ".gif");
        if (std::FILE* out = std::fopen(file.c_str(), "wb")) std::fclose(out);
      }
    }
    return top;
  }();
  size_t files = 0;
  for (auto _ : state) {
    StringList list;
    AddDirectoryTree(list, root, 0);
    files = list.size();
    benchmark::DoNotOptimize(list);
  }
  state.counters["files"] = static_cast<double>(files);
  state.counters["files_per_s"] =
      benchmark::Counter(static_cast<double>(files), benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_ExtractFewLinks)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ExtractManyLinks)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_DiscoverTree)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  nftw(WorkDir().c_str(), RemoveEntry, 64, FTW_DEPTH | FTW_PHYS);
  return 0;
}

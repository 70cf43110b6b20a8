// Speed of the full check's page parser on large pages: MB/s of HTML parsed
// and reduced to links and names. Two shapes: documentation-like markup (a
// link every ~80 bytes, headings with ids, tables) and link-sparse prose.
#include <benchmark/benchmark.h>

#include <string>

#include "check/PageParser.h"

using namespace linkward;

namespace {

std::string DocPage(size_t bytes) {
  std::string page =
      "<!DOCTYPE html><html><head><title>Manual</title>"
      "<link rel=stylesheet href=\"../style.css\"></head><body>\n";
  for (int i = 0; page.size() < bytes; ++i) {
    std::string n = std::to_string(i);
    page += "<h2 id=\"sec" + n + "\">Section " + n + "</h2>\n<p>The option <code>--x" + n +
            "</code> sets <a href=\"ref" + std::to_string(i % 50) + ".html#opt" + n +
            "\">the value</a> used by <a href=\"#sec" + std::to_string(i / 2) +
            "\">the parent</a> &amp; its children.</p>\n<table><tr><td>a</td><td><img src=\"img/" +
            n + ".png\" alt=\"figure " + n + "\"></td></tr></table>\n";
  }
  return page + "</body></html>\n";
}

std::string ProsePage(size_t bytes) {
  std::string page = "<html><body>\n";
  for (int i = 0; page.size() < bytes; ++i) {
    page +=
        "<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor "
        "incididunt ut labore et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud "
        "exercitation ullamco laboris nisi ut aliquip ex ea commodo consequat.</p>\n";
    if (i % 20 == 0) page += "<a href=\"p" + std::to_string(i) + ".html\">next</a>\n";
  }
  return page + "</body></html>\n";
}

void Run(benchmark::State& state, const std::string& page) {
  size_t links = 0;
  for (auto _ : state) {
    ParsedPage parsed = ParsePage(page.data(), page.size());
    links = parsed.links.size();
    benchmark::DoNotOptimize(links);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
  state.counters["links"] = static_cast<double>(links);
}

void BM_ParseDocPage(benchmark::State& state) {
  static const std::string page = DocPage(20u << 20);
  Run(state, page);
}
BENCHMARK(BM_ParseDocPage)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ParseProsePage(benchmark::State& state) {
  static const std::string page = ProsePage(20u << 20);
  Run(state, page);
}
BENCHMARK(BM_ParseProsePage)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();

// Export of 100,000 result rows in each report format (0 text, 1 HTML, 2 JSON,
// 3 CSV, 4 JUnit XML), written to a real file. Goal: well under 0.5 s per report.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "results/ReportWriter.h"
#include "results/ResultRows.h"

using namespace linkward;

namespace {

constexpr int kRows = 100000;

const CResultRows& Rows() {
  static CResultRows rows = [] {
    CResultRows made;
    for (int i = 0; i < kRows; ++i) {
      int row = made.InsertItem(i, "http://host" + std::to_string(i % 97) + ".example.org/page/" +
                                       std::to_string(i) + ".html?a=1&b=2");
      made.SetItemText(row, COL_REASON, "HTTP Code 404 Not Found");
      made.SetItemText(row, COL_SITE, "Site <" + std::to_string(i) + "> & \"more\"");
      made.SetItemText(row, COL_FILE, "/home/ada/web/section" + std::to_string(i / 25) + ".htm");
    }
    return made;
  }();
  return rows;
}

std::string ReportPath() {
  return "/tmp/linkward-export-bench-" + std::to_string(getpid());
}

void BM_Report(benchmark::State& state) {
  const CResultRows& rows = Rows();
  const IReportFormat& format = ReportFormat(static_cast<ExportFormat>(state.range(0)));
  ReportContext context;
  context.owner = ReportOwnerName();
  context.dateText = "Sunday, December 6, 2026, 22:26:25";
  long bytes = 0;
  for (auto _ : state) {
    std::FILE* file = std::fopen(ReportPath().c_str(), "w");
    format.Write(file, rows, context);
    bytes = std::ftell(file);
    std::fclose(file);
  }
  state.SetLabel(format.Extension());
  state.counters["rows"] = kRows;
  state.counters["MB"] = bytes / 1e6;
  unlink(ReportPath().c_str());
}

BENCHMARK(BM_Report)
    ->DenseRange(0, kExportFormatCount - 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// The text report: a "FILE: " line per file group, then one line per row with
// URL, Reason and Site Name separated by tabs; an empty line between groups.
#include "results/ReportBuffer.h"
#include "results/ReportWriter.h"
#include "results/ResultRows.h"

namespace linkward {

void WriteTextReport(std::FILE* file, const CResultRows& rows) {
  if (!file) return;
  ReportBuffer out(file);
  std::string previous;
  for (int i = 0; i < rows.GetItemCount(); ++i) {
    const std::string& path = rows.GetItemText(i, COL_FILE);
    if (path != previous) {
      previous = path;
      if (i > 0) out.Add("\n");
      out.Add("FILE: ");
      out.Add(path);
      out.Add("\n");
    }
    out.Add(rows.GetItemText(i, COL_URL));
    out.Add("\t");
    out.Add(rows.GetItemText(i, COL_REASON));
    out.Add("\t");
    out.Add(rows.GetItemText(i, COL_SITE));
    out.Add("\n");
  }
}

namespace {

class TextReport : public IReportFormat {
 public:
  const char* Extension() const override { return "txt"; }
  const char* SaveFilter() const override {
    return "Text Files (*.txt)|*.txt| All Files (*.*)|*.*||";
  }
  void Write(std::FILE* file, const CResultRows& rows, const ReportContext&) const override {
    WriteTextReport(file, rows);
  }
};

}  // namespace

const IReportFormat& TextReportFormat() {
  static const TextReport format;
  return format;
}

}  // namespace linkward

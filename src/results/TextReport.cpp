// The text report: a "FILE: " line per file group, then one line per row with
// URL, Reason and Site Name separated by tabs; an empty line between groups.
// The texts are written raw, but for a tab, CR or LF inside one: those are
// written as "\t", "\r" and "\n", so that one row stays one line of fields.
#include "results/ReportBuffer.h"
#include "results/ReportWriter.h"
#include "results/ResultRows.h"

namespace linkward {

namespace {

void AddField(ReportBuffer& out, const std::string& text) {
  if (text.find_first_of("\t\r\n") == std::string::npos) return out.Add(text);
  for (char c : text) {
    if (c == '\t') {
      out.Add("\\t");
    } else if (c == '\r') {
      out.Add("\\r");
    } else if (c == '\n') {
      out.Add("\\n");
    } else {
      out.Add(c);
    }
  }
}

}  // namespace

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
      AddField(out, path);
      out.Add("\n");
    }
    AddField(out, rows.GetItemText(i, COL_URL));
    out.Add("\t");
    AddField(out, rows.GetItemText(i, COL_REASON));
    out.Add("\t");
    AddField(out, rows.GetItemText(i, COL_SITE));
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

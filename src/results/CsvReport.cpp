// The CSV report (RFC 4180): the header row "URL,Reason,Site Name,File Name",
// then one record per row; every record ends in CR LF. A field holding a comma,
// a double quote, CR or LF is quoted, its quotes doubled. UTF-8 throughout.
// A full check's report has five more fields: "Line,Class,Target,History,
// Archive URL" (empty where unknown); it has no total, so that every record
// is a row.
#include "results/ReportBuffer.h"
#include "results/ReportWriter.h"
#include "results/ResultRows.h"

namespace linkward {

namespace {

void AddField(ReportBuffer& out, const std::string& text) {
  if (!IsValidUtf8(text)) return AddField(out, ValidUtf8(text));
  if (text.find_first_of(",\"\r\n") == std::string::npos) return out.Add(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  out.Add(quoted);
}

class CsvReport : public IReportFormat {
 public:
  const char* Extension() const override { return "csv"; }
  const char* SaveFilter() const override {
    return "CSV Files (*.csv)|*.csv| All Files (*.*)|*.*||";
  }
  void Write(std::FILE* file, const CResultRows& rows,
             const ReportContext& context) const override {
    ReportBuffer out(file);
    out.Add("URL,Reason,Site Name,File Name");
    out.Add(context.fullCheck ? ",Line,Class,Target,History,Archive URL\r\n" : "\r\n");
    for (int i = 0; i < rows.GetItemCount(); ++i) {
      for (int col : {COL_URL, COL_REASON, COL_SITE, COL_FILE}) {
        if (col != COL_URL) out.Add(',');
        AddField(out, rows.GetItemText(i, col));
      }
      if (context.fullCheck) {
        const RowDetails& details = rows.GetItemDetails(i);
        out.Add(',');
        if (details.line > 0) out.Add(std::to_string(details.line));
        out.Add(',');
        out.Add(CheckClassName(details.cls));
        out.Add(',');
        AddField(out, RowTarget(rows, i));
        out.Add(',');
        AddField(out, details.history);
        out.Add(',');
        AddField(out, details.archiveUrl);
      }
      out.Add("\r\n");
    }
  }
};

}  // namespace

const IReportFormat& CsvReportFormat() {
  static const CsvReport format;
  return format;
}

}  // namespace linkward

// The JSON report, one object with the array "rows", one object per row:
//
//   {"rows": [
//     {"url": "...", "reason": "...", "siteName": "...", "file": "...", "code": 404},
//     ...
//   ]}
//
// "code", "line", "finalUrl", "history" (what the check history says) and
// "archiveUrl" appear only where the row knows them. Strings
// are UTF-8 with '"', '\' and the control characters escaped.
//
// A full check's row adds "class" ("OK", "Moved", "Broken", "Not Verified")
// and "target" (the resolved target), then "history" and "archiveUrl" where
// known; after the rows the object "totals" holds the grand total:
// "linksChecked" and "pagesChecked" where known, "listed", "pagesListed",
// "broken", "moved", "notVerified" and "ok".
#include "results/ReportBuffer.h"
#include "results/ReportWriter.h"
#include "results/ResultRows.h"

namespace linkward {

namespace {

void AddJsonString(ReportBuffer& out, const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string quoted = "\"";
  for (size_t pos = 0; pos < text.size();) {
    char32_t c = 0;
    pos += DecodeUtf8(text, pos, &c);
    switch (c) {
      case '"':
        quoted += "\\\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '\b':
        quoted += "\\b";
        break;
      case '\f':
        quoted += "\\f";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      case '\t':
        quoted += "\\t";
        break;
      default:
        if (c < 0x20) {
          quoted += "\\u00";
          quoted += kHex[c >> 4];
          quoted += kHex[c & 0xF];
        } else {
          AppendUtf8(c, &quoted);
        }
    }
  }
  quoted += '"';
  out.Add(quoted);
}

void AddMember(ReportBuffer& out, const char* name, const std::string& text) {
  out.Add(name);
  AddJsonString(out, text);
}

class JsonReport : public IReportFormat {
 public:
  const char* Extension() const override { return "json"; }
  const char* SaveFilter() const override {
    return "JSON Files (*.json)|*.json| All Files (*.*)|*.*||";
  }
  void Write(std::FILE* file, const CResultRows& rows,
             const ReportContext& context) const override {
    ReportBuffer out(file);
    out.Add("{\"rows\": [");
    for (int i = 0; i < rows.GetItemCount(); ++i) {
      out.Add(i == 0 ? "\n" : ",\n");
      AddMember(out, "  {\"url\": ", rows.GetItemText(i, COL_URL));
      AddMember(out, ", \"reason\": ", rows.GetItemText(i, COL_REASON));
      AddMember(out, ", \"siteName\": ", rows.GetItemText(i, COL_SITE));
      AddMember(out, ", \"file\": ", rows.GetItemText(i, COL_FILE));
      const RowDetails& details = rows.GetItemDetails(i);
      if (details.code != 0) out.Add(", \"code\": " + std::to_string(details.code));
      if (details.line > 0) out.Add(", \"line\": " + std::to_string(details.line));
      if (!details.finalUrl.empty()) AddMember(out, ", \"finalUrl\": ", details.finalUrl);
      if (context.fullCheck) {
        AddMember(out, ", \"class\": ", CheckClassName(details.cls));
        AddMember(out, ", \"target\": ", RowTarget(rows, i));
        if (!details.history.empty()) AddMember(out, ", \"history\": ", details.history);
        if (!details.archiveUrl.empty()) AddMember(out, ", \"archiveUrl\": ", details.archiveUrl);
      }
      out.Add("}");
    }
    out.Add(rows.GetItemCount() > 0 ? "\n]" : "]");
    if (context.fullCheck) AddTotals(out, rows, context.totals);
    out.Add("}\n");
  }

 private:
  static void AddTotals(ReportBuffer& out, const CResultRows& rows, const ReportTotals& totals) {
    const RowCounts counts = CountRows(rows);
    auto number = [&out](const char* name, int64_t n) {
      out.Add(std::string(name) + std::to_string(n));
    };
    out.Add(",\n\"totals\": {");
    if (totals.linksChecked >= 0) number("\"linksChecked\": ", totals.linksChecked), out.Add(", ");
    if (totals.pagesChecked >= 0) number("\"pagesChecked\": ", totals.pagesChecked), out.Add(", ");
    number("\"listed\": ", counts.listed);
    number(", \"pagesListed\": ", counts.pagesListed);
    number(", \"broken\": ", counts.broken);
    number(", \"moved\": ", counts.moved);
    number(", \"notVerified\": ", counts.notVerified);
    number(", \"ok\": ", counts.ok);
    out.Add("}");
  }
};

}  // namespace

const IReportFormat& JsonReportFormat() {
  static const JsonReport format;
  return format;
}

}  // namespace linkward

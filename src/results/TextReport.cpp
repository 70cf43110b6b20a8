// The text report: a "FILE: " line per file group, then one line per row with
// URL, Reason and Site Name separated by tabs; an empty line between groups.
// The texts are written raw, but for a tab, CR or LF inside one: those are
// written as "\t", "\r" and "\n", so that one row stays one line of fields.
//
// A full check's row adds "line N", its class and its resolved target, then
// "history: ..." and "archived: ..." where known; after the last group an
// empty line and "TOTAL: " with the grand total. Grouped by target, a group is
// a "TARGET: " line with its count of links, then one line per row: the page
// and line, URL, Reason and class.
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

void AddKnown(ReportBuffer& out, const char* label, const std::string& text) {
  if (text.empty()) return;
  out.Add(label);
  AddField(out, text);
}

// The fields a full check's row adds, each after a tab.
void AddFullCheckFields(ReportBuffer& out, const CResultRows& rows, int row, bool withTarget) {
  const RowDetails& details = rows.GetItemDetails(row);
  out.Add("\t");
  out.Add(CheckClassName(details.cls));
  if (withTarget) {
    out.Add("\t");
    AddField(out, RowTarget(rows, row));
  }
  AddKnown(out, "\thistory: ", details.history);
  AddKnown(out, "\tarchived: ", details.archiveUrl);
}

void WriteByTarget(ReportBuffer& out, const CResultRows& rows) {
  bool first = true;
  for (const std::vector<int>& group : RowsByTarget(rows)) {
    if (!first) out.Add("\n");
    first = false;
    out.Add("TARGET: ");
    AddField(out, RowTarget(rows, group.front()));
    out.Add(" (" + std::to_string(group.size()) + (group.size() == 1 ? " link)\n" : " links)\n"));
    for (int row : group) {
      AddField(out, rows.GetItemText(row, COL_FILE));
      const int line = rows.GetItemDetails(row).line;
      if (line > 0) out.Add(":" + std::to_string(line));
      out.Add("\t");
      AddField(out, rows.GetItemText(row, COL_URL));
      out.Add("\t");
      AddField(out, rows.GetItemText(row, COL_REASON));
      AddFullCheckFields(out, rows, row, false);
      out.Add("\n");
    }
  }
}

}  // namespace

void WriteTextReport(std::FILE* file, const CResultRows& rows, const ReportContext& context) {
  if (!file) return;
  ReportBuffer out(file);
  if (context.fullCheck && context.group == ReportGroup::Target) {
    WriteByTarget(out, rows);
  } else {
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
      if (context.fullCheck) {
        const int line = rows.GetItemDetails(i).line;
        out.Add(line > 0 ? "\tline " + std::to_string(line) : std::string("\tline ?"));
        AddFullCheckFields(out, rows, i, true);
      }
      out.Add("\n");
    }
  }
  if (context.fullCheck) {
    if (rows.GetItemCount() > 0) out.Add("\n");
    out.Add("TOTAL: " + GrandTotalText(rows, context.totals) + "\n");
  }
}

namespace {

class TextReport : public IReportFormat {
 public:
  const char* Extension() const override { return "txt"; }
  const char* SaveFilter() const override {
    return "Text Files (*.txt)|*.txt| All Files (*.*)|*.*||";
  }
  void Write(std::FILE* file, const CResultRows& rows,
             const ReportContext& context) const override {
    WriteTextReport(file, rows, context);
  }
};

}  // namespace

const IReportFormat& TextReportFormat() {
  static const TextReport format;
  return format;
}

}  // namespace linkward

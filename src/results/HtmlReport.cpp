// The HTML report: a heading, then per file group a rule, the file's name and
// a list with one item per row; every text from the rows written as entities
// where it holds "&", "<", ">" or '"'.
#include "results/ReportBuffer.h"
#include "results/ReportWriter.h"
#include "results/ResultRows.h"

namespace linkward {

void WriteHtmlReport(std::FILE* file, const CResultRows& rows, const std::string& owner,
                     const std::string& dateText) {
  if (!file) return;
  ReportBuffer out(file);
  out.Add("<HTML>\n<HEAD>\n<TITLE>Linkward Results</TITLE>\n</HEAD>\n<BODY>\n<H3><A HREF=\"");
  out.Add(LINKWARD_HOME_PAGE);
  out.Add("\">Linkward</A> results for ");
  out.Add(HtmlEscape(owner));
  out.Add("</H3>\n<b>Start of report: </b>");
  out.Add(HtmlEscape(dateText));
  out.Add("\n");
  std::string previous;
  for (int i = 0; i < rows.GetItemCount(); ++i) {
    const std::string& path = rows.GetItemText(i, COL_FILE);
    if (path != previous) {
      previous = path;
      if (i > 0) out.Add("\n</ul>\n");
      out.Add("\n<hr>\n<b>FILE: ");
      out.Add(HtmlEscape(path));
      out.Add("</b>\n<ul>");
    }
    out.Add("\n<li><a href=\"");
    out.Add(HtmlEscape(rows.GetItemText(i, COL_URL)));
    out.Add("\">");
    out.Add(HtmlEscape(rows.GetItemText(i, COL_SITE)));
    out.Add("</a> ");
    out.Add(HtmlEscape(rows.GetItemText(i, COL_REASON)));
  }
  out.Add("\n</ul>\n<hr>\n\n</BODY>\n</HTML>\n");
}

std::string HtmlEscape(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

namespace {

class HtmlReport : public IReportFormat {
 public:
  const char* Extension() const override { return "html"; }
  const char* SaveFilter() const override {
    return "HTML Files (*.html)|*.html| All Files (*.*)|*.*||";
  }
  void Write(std::FILE* file, const CResultRows& rows,
             const ReportContext& context) const override {
    WriteHtmlReport(file, rows, context.owner, context.dateText);
  }
};

}  // namespace

const IReportFormat& HtmlReportFormat() {
  static const HtmlReport format;
  return format;
}

}  // namespace linkward

// The HTML report: a heading, then per file group a rule, the file's name and
// a list with one item per row; every text from the rows written as entities
// where it holds "&", "<", ">" or '"', and a control character (other than tab,
// CR and LF) as the reference of its control picture, so the page stays
// well-formed. A URL whose scheme a browser would run (javascript:, data:, ...)
// is never made a link: the item shows it as text.
//
// A full check's item adds, in italics, the line, the class and the resolved
// target (then the history and a link to the archived copy where known), and a
// paragraph with the grand total closes the report. Grouped by target, a group
// is a rule, "TARGET: " with the target and its count of links, and a list of
// its rows, each with its page and line, URL, reason and class.
#include <cctype>

#include "results/ReportBuffer.h"
#include "results/ReportWriter.h"
#include "results/ResultRows.h"

namespace linkward {

namespace {

// The link to url with text as its text; where a browser would run url, the
// text and the URL as plain text.
void AddLink(ReportBuffer& out, const std::string& url, const std::string& text) {
  if (SafeLinkUrl(url)) {
    out.Add("<a href=\"");
    out.Add(HtmlEscape(url));
    out.Add("\">");
    out.Add(HtmlEscape(text));
    out.Add("</a>");
  } else {
    out.Add(HtmlEscape(text));
    out.Add(" &lt;");
    out.Add(HtmlEscape(url));
    out.Add("&gt;");
  }
}

// What a full check's row adds after its reason: " <i>(line 12, Broken,
// target: /web/x.html, history: ..., archived copy: <a ...>)</i>".
void AddFullCheckDetails(ReportBuffer& out, const CResultRows& rows, int row, bool withLine) {
  const RowDetails& details = rows.GetItemDetails(row);
  out.Add(" <i>(");
  if (withLine) {
    out.Add(details.line > 0 ? "line " + std::to_string(details.line) : std::string("line ?"));
    out.Add(", ");
  }
  out.Add(CheckClassName(details.cls));
  if (withLine) {
    out.Add(", target: ");
    out.Add(HtmlEscape(RowTarget(rows, row)));
  }
  if (!details.history.empty()) out.Add(", history: " + HtmlEscape(details.history));
  if (!details.archiveUrl.empty()) {
    out.Add(", archived copy: ");
    AddLink(out, details.archiveUrl, details.archiveUrl);
  }
  out.Add(")</i>");
}

void WriteByTarget(ReportBuffer& out, const CResultRows& rows) {
  for (const std::vector<int>& group : RowsByTarget(rows)) {
    out.Add("\n<hr>\n<b>TARGET: ");
    out.Add(HtmlEscape(RowTarget(rows, group.front())));
    out.Add("</b> (" + std::to_string(group.size()) + (group.size() == 1 ? " link" : " links") +
            ")\n<ul>");
    for (int row : group) {
      out.Add("\n<li>");
      out.Add(HtmlEscape(rows.GetItemText(row, COL_FILE)));
      const int line = rows.GetItemDetails(row).line;
      if (line > 0) out.Add(":" + std::to_string(line));
      out.Add(" ");
      AddLink(out, rows.GetItemText(row, COL_URL), rows.GetItemText(row, COL_URL));
      out.Add(" ");
      out.Add(HtmlEscape(rows.GetItemText(row, COL_REASON)));
      AddFullCheckDetails(out, rows, row, false);
    }
    out.Add("\n</ul>");
  }
}

}  // namespace

void WriteHtmlReport(std::FILE* file, const CResultRows& rows, const std::string& owner,
                     const std::string& dateText) {
  ReportContext context;
  context.owner = owner;
  context.dateText = dateText;
  WriteHtmlReport(file, rows, context);
}

void WriteHtmlReport(std::FILE* file, const CResultRows& rows, const ReportContext& context) {
  if (!file) return;
  ReportBuffer out(file);
  out.Add("<HTML>\n<HEAD>\n<TITLE>Linkward Results</TITLE>\n</HEAD>\n<BODY>\n<H3><A HREF=\"");
  out.Add(LINKWARD_HOME_PAGE);
  out.Add("\">Linkward</A> results for ");
  out.Add(HtmlEscape(context.owner));
  out.Add("</H3>\n<b>Start of report: </b>");
  out.Add(HtmlEscape(context.dateText));
  out.Add("\n");
  if (context.fullCheck && context.group == ReportGroup::Target) {
    WriteByTarget(out, rows);
  } else {
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
      out.Add("\n<li>");
      AddLink(out, rows.GetItemText(i, COL_URL), rows.GetItemText(i, COL_SITE));
      out.Add(" ");
      out.Add(HtmlEscape(rows.GetItemText(i, COL_REASON)));
      if (context.fullCheck) AddFullCheckDetails(out, rows, i, true);
    }
    if (rows.GetItemCount() > 0) out.Add("\n</ul>");
  }
  out.Add("\n<hr>\n");
  if (context.fullCheck) out.Add("<p><b>TOTAL:</b> " + HtmlEscape(GrandTotalText(rows, context.totals)) + "</p>\n");
  out.Add("\n</BODY>\n</HTML>\n");
}

bool SafeLinkUrl(const std::string& url) {
  // As a browser reads an address: blanks and controls around it are dropped,
  // tabs and line ends inside it are removed.
  std::string clean;
  for (char c : url) {
    if (c != '\t' && c != '\n' && c != '\r') clean += c;
  }
  size_t start = 0;
  while (start < clean.size() && static_cast<unsigned char>(clean[start]) <= 0x20) ++start;
  size_t end = start;
  if (end < clean.size() && std::isalpha(static_cast<unsigned char>(clean[end]))) {
    while (end < clean.size() && (std::isalnum(static_cast<unsigned char>(clean[end])) ||
                                  clean[end] == '+' || clean[end] == '-' || clean[end] == '.')) {
      ++end;
    }
  }
  if (end == start || end >= clean.size() || clean[end] != ':') return true;  // no scheme: relative
  std::string scheme = clean.substr(start, end - start);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "file";
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
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
          // U+2400 and on: the control pictures
          static const char kHex[] = "0123456789ABCDEF";
          escaped += "&#x24";
          escaped += kHex[(c >> 4) & 0xF];
          escaped += kHex[c & 0xF];
          escaped += ';';
        } else if (c == '\x7f') {
          escaped += "&#x2421;";
        } else {
          escaped += c;
        }
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
    WriteHtmlReport(file, rows, context);
  }
};

}  // namespace

const IReportFormat& HtmlReportFormat() {
  static const HtmlReport format;
  return format;
}

}  // namespace linkward

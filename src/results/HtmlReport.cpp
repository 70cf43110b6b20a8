// The HTML report: a heading, then per file group a rule, the file's name and
// a list with one item per row; every text from the rows written as entities
// where it holds "&", "<", ">" or '"', and a control character (other than tab,
// CR and LF) as the reference of its control picture, so the page stays
// well-formed. A URL whose scheme a browser would run (javascript:, data:, ...)
// is never made a link: the item shows it as text.
#include <cctype>

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
    const std::string& url = rows.GetItemText(i, COL_URL);
    if (SafeLinkUrl(url)) {
      out.Add("\n<li><a href=\"");
      out.Add(HtmlEscape(url));
      out.Add("\">");
      out.Add(HtmlEscape(rows.GetItemText(i, COL_SITE)));
      out.Add("</a> ");
    } else {
      out.Add("\n<li>");
      out.Add(HtmlEscape(rows.GetItemText(i, COL_SITE)));
      out.Add(" &lt;");
      out.Add(HtmlEscape(url));
      out.Add("&gt; ");
    }
    out.Add(HtmlEscape(rows.GetItemText(i, COL_REASON)));
  }
  if (rows.GetItemCount() > 0) out.Add("\n</ul>");
  out.Add("\n<hr>\n\n</BODY>\n</HTML>\n");
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
    WriteHtmlReport(file, rows, context.owner, context.dateText);
  }
};

}  // namespace

const IReportFormat& HtmlReportFormat() {
  static const HtmlReport format;
  return format;
}

}  // namespace linkward

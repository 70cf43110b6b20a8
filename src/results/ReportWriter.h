// The report formats of Export, one per file behind one interface: text
// (TextReport.cpp), HTML (HtmlReport.cpp), JSON (JsonReport.cpp), CSV
// (CsvReport.cpp) and JUnit XML (JunitReport.cpp). Every format lists the rows
// in list order. The text report writes the texts raw but for tabs and line
// ends ("\t", "\r", "\n"); the HTML report writes "&", "<", ">" and '"' of
// every row text as entities and control characters as control pictures, and
// never links an address a browser would run; the three formats for other
// tools write UTF-8 only, with every ill-formed byte sequence of a row text
// replaced by U+FFFD. What a full check's report adds: see ReportContext.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace linkward {

class CResultRows;

constexpr const char* LINKWARD_HOME_PAGE = "http://linkward.example.com/";

// How the text and HTML reports of a full check list the rows: by the page
// that holds the link, or by the resolved target the link points at.
enum class ReportGroup { Page, Target };

// What the full check counted, for the grand total; -1 where not known.
struct ReportTotals {
  int64_t linksChecked = -1;
  int64_t pagesChecked = -1;
};

// What a report may show beside the rows.
struct ReportContext {
  std::string owner;     // the report owner's name
  std::string dateText;  // the start-of-report date ("Sunday, December 6, 2026, 22:26:25")
  // The rows come from the full check: every format adds each row's line,
  // class and resolved target (and its history and archived copy where
  // known), and ends with a grand total (not CSV and JUnit XML, whose readers
  // expect rows only). Without it every format is the standard test's.
  bool fullCheck = false;
  ReportTotals totals;
  ReportGroup group = ReportGroup::Page;  // only with fullCheck, text and HTML only
};

class IReportFormat {
 public:
  virtual ~IReportFormat() = default;
  // The file name ending without its dot ("txt") and the save dialog's filter.
  virtual const char* Extension() const = 0;
  virtual const char* SaveFilter() const = 0;
  // Writes the report of rows to file; write errors stay in file's error flag.
  // REQUIRES: file is open for writing.
  virtual void Write(std::FILE* file, const CResultRows& rows,
                     const ReportContext& context) const = 0;
};

// The export formats, stored as their numbers ("XportSel"/"Text"). A number
// that names no format (-1 when none is chosen, 7, ...) is kept as it is.
enum class ExportFormat : int { Text = 0, Html = 1, Json = 2, Csv = 3, Junit = 4 };
constexpr int kExportFormatCount = 5;

// The format of id. Any value that names no format gives HTML: Export has
// always written HTML for every value but 0.
const IReportFormat& ReportFormat(ExportFormat id);

// The formats, each defined in its own file.
const IReportFormat& TextReportFormat();
const IReportFormat& HtmlReportFormat();
const IReportFormat& JsonReportFormat();
const IReportFormat& CsvReportFormat();
const IReportFormat& JunitReportFormat();

// The text and HTML reports, as the view's operations call them.
// A null file writes nothing.
void WriteTextReport(std::FILE* file, const CResultRows& rows, const ReportContext& context = {});
void WriteHtmlReport(std::FILE* file, const CResultRows& rows, const ReportContext& context);
void WriteHtmlReport(std::FILE* file, const CResultRows& rows, const std::string& owner,
                     const std::string& dateText);
// text with "&", "<", ">" and '"' as entities and every control character but
// tab, CR and LF as the reference of its control picture (U+2400 and on).
std::string HtmlEscape(const std::string& text);
// False when a browser would read url as an address with a scheme other than
// http, https, ftp or file (javascript:, data:, "java\tscript:", ...); a URL
// without a scheme (relative) is safe.
bool SafeLinkUrl(const std::string& url);
// The user's full name from the account database, else the login name.
std::string ReportOwnerName();

}  // namespace linkward

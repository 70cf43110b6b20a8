// The JUnit XML report, for CI systems that show test results: one testsuite
// per file that has rows (files without rows are not known to the rows and so
// have no testsuite), in the order the files first appear, and in it one
// failed testcase per row, named after the URL, whose failure message is the
// reason:
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <testsuites name="Linkward" tests="1" failures="1">
//     <testsuite name="/web/index.htm" tests="1" failures="1">
//       <testcase classname="/web/index.htm" name="http://host/old.html">
//         <failure message="HTTP Code 404 Not Found">Site Name: Old page
//   Code: 404</failure>
//       </testcase>
//     </testsuite>
//   </testsuites>
//
// The failure's text holds the site name, then the code, line and final URL
// where the row knows them, one per line. The document is well-formed for any
// row text: markup characters are escaped, ill-formed UTF-8 and the characters
// XML 1.0 does not allow become U+FFFD, and tab, CR and LF in attribute values
// are written as character references so that parsers keep them.
//
// A full check's failure has its class as its type (type="Broken") and adds
// the lines "Class: ", "Target: " and, where known, "History: " and
// "Archived copy: ". The counts stay the rows' counts.
#include <unordered_map>
#include <vector>

#include "results/ReportBuffer.h"
#include "results/ReportWriter.h"
#include "results/ResultRows.h"

namespace linkward {

namespace {

bool AllowedInXml(char32_t c) {
  if (c < 0x20) return c == '\t' || c == '\n' || c == '\r';
  return c != 0xFFFE && c != 0xFFFF;
}

std::string XmlEscape(const std::string& text, bool attribute) {
  std::string escaped;
  escaped.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    char32_t c = 0;
    pos += DecodeUtf8(text, pos, &c);
    if (!AllowedInXml(c)) c = REPLACEMENT_CHARACTER;
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
      case '\'':
        escaped += "&apos;";
        break;
      case '\r':
        escaped += "&#13;";
        break;
      case '\t':
        escaped += attribute ? "&#9;" : "\t";
        break;
      case '\n':
        escaped += attribute ? "&#10;" : "\n";
        break;
      default:
        AppendUtf8(c, &escaped);
    }
  }
  return escaped;
}

std::string Attribute(const char* name, const std::string& value) {
  return std::string(" ") + name + "=\"" + XmlEscape(value, true) + "\"";
}

std::string Counts(size_t count) {
  const std::string n = std::to_string(count);
  return " tests=\"" + n + "\" failures=\"" + n + "\"";
}

class JunitReport : public IReportFormat {
 public:
  const char* Extension() const override { return "xml"; }
  const char* SaveFilter() const override {
    return "JUnit XML Files (*.xml)|*.xml| All Files (*.*)|*.*||";
  }
  void Write(std::FILE* file, const CResultRows& rows,
             const ReportContext& context) const override {
    // The rows of each file, files in order of first appearance.
    std::vector<std::vector<int>> suites;
    std::unordered_map<std::string, size_t> suiteOfFile;
    for (int i = 0; i < rows.GetItemCount(); ++i) {
      auto [it, added] = suiteOfFile.try_emplace(rows.GetItemText(i, COL_FILE), suites.size());
      if (added) suites.emplace_back();
      suites[it->second].push_back(i);
    }

    ReportBuffer out(file);
    out.Add("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    out.Add("<testsuites name=\"Linkward\"" + Counts(rows.GetItemCount()) + ">\n");
    for (const std::vector<int>& suite : suites) {
      const std::string& path = rows.GetItemText(suite.front(), COL_FILE);
      out.Add("  <testsuite" + Attribute("name", path) + Counts(suite.size()) + ">\n");
      for (int row : suite) {
        out.Add("    <testcase" + Attribute("classname", path) +
                Attribute("name", rows.GetItemText(row, COL_URL)) + ">\n");
        const RowDetails& details = rows.GetItemDetails(row);
        out.Add("      <failure" +
                (context.fullCheck ? Attribute("type", CheckClassName(details.cls)) : "") +
                Attribute("message", rows.GetItemText(row, COL_REASON)) + ">");
        out.Add("Site Name: " + XmlEscape(rows.GetItemText(row, COL_SITE), false));
        if (details.code != 0) out.Add("\nCode: " + std::to_string(details.code));
        if (details.line > 0) out.Add("\nLine: " + std::to_string(details.line));
        if (!details.finalUrl.empty())
          out.Add("\nFinal URL: " + XmlEscape(details.finalUrl, false));
        if (context.fullCheck) {
          out.Add(std::string("\nClass: ") + CheckClassName(details.cls));
          out.Add("\nTarget: " + XmlEscape(RowTarget(rows, row), false));
          if (!details.history.empty()) out.Add("\nHistory: " + XmlEscape(details.history, false));
          if (!details.archiveUrl.empty())
            out.Add("\nArchived copy: " + XmlEscape(details.archiveUrl, false));
        }
        out.Add("</failure>\n    </testcase>\n");
      }
      out.Add("  </testsuite>\n");
    }
    out.Add("</testsuites>\n");
  }
};

}  // namespace

const IReportFormat& JunitReportFormat() {
  static const JunitReport format;
  return format;
}

}  // namespace linkward

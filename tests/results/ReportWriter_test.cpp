// The report formats, byte for byte; the JSON and JUnit XML reports also read
// by Python's json and xml.etree parsers (python3 must be installed).
#include "results/ReportWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "results/ResultRows.h"
#include "support/ScratchDir.h"

using namespace linkward;

namespace {

struct Row {
  std::string url, reason, site, file;
  RowDetails details;
};

CResultRows MakeRows(const std::vector<Row>& list) {
  CResultRows rows;
  for (const Row& r : list) {
    int i = rows.InsertItem(rows.GetItemCount(), r.url);
    rows.SetItemText(i, COL_REASON, r.reason);
    rows.SetItemText(i, COL_SITE, r.site);
    rows.SetItemText(i, COL_FILE, r.file);
    rows.SetItemDetails(i, r.details);
  }
  return rows;
}

// The report of rows in format id, written to memory.
std::string Report(ExportFormat id, const CResultRows& rows, const char* owner = "Ada Lovelace") {
  char* data = nullptr;
  size_t size = 0;
  std::FILE* file = open_memstream(&data, &size);
  ReportFormat(id).Write(file, rows, {owner, "Sunday, December 6, 2026, 22:26:25"});
  std::fclose(file);
  std::string text(data, size);
  std::free(data);
  return text;
}

const std::string kHeading =
    "<HTML>\n<HEAD>\n<TITLE>Linkward Results</TITLE>\n</HEAD>\n<BODY>\n"
    "<H3><A HREF=\"http://linkward.example.com/\">Linkward</A> results for Ada Lovelace</H3>\n"
    "<b>Start of report: </b>Sunday, December 6, 2026, 22:26:25\n";
const std::string kClosing = "\n</ul>\n<hr>\n\n</BODY>\n</HTML>\n";

// Two files; the second file's row comes between the first file's rows, as
// only a merge of two lists could leave them.
const std::vector<Row> kRows = {
    {"http://host/old.html",
     "HTTP Code 404 Not Found",
     "Old page",
     "/web/index.htm",
     {404, 12, "http://host/new.html"}},
    {"ftp://host/pub/", "Can't Connect to Host", "Files", "/web/links.htm", {}},
    {"http://host/gone/", "Can't Find Named Host", "Gone", "/web/index.htm", {10002, 0, ""}},
};

TEST(Reports, EmptyResultsList) {
  EXPECT_EQ(Report(ExportFormat::Text, CResultRows()), "");
  EXPECT_EQ(Report(ExportFormat::Html, CResultRows()), kHeading + kClosing);
  EXPECT_EQ(Report(ExportFormat::Json, CResultRows()), "{\"rows\": []}\n");
  EXPECT_EQ(Report(ExportFormat::Csv, CResultRows()), "URL,Reason,Site Name,File Name\r\n");
  EXPECT_EQ(Report(ExportFormat::Junit, CResultRows()),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<testsuites name=\"Linkward\" tests=\"0\" failures=\"0\">\n</testsuites>\n");
}

TEST(Reports, TextAndHtmlHaveASectionPerFileGroup) {
  const CResultRows rows = MakeRows({kRows[0], kRows[2], kRows[1]});
  // One empty line between groups, none at the end.
  EXPECT_EQ(Report(ExportFormat::Text, rows),
            "FILE: /web/index.htm\n"
            "http://host/old.html\tHTTP Code 404 Not Found\tOld page\n"
            "http://host/gone/\tCan't Find Named Host\tGone\n"
            "\n"
            "FILE: /web/links.htm\n"
            "ftp://host/pub/\tCan't Connect to Host\tFiles\n");
  EXPECT_EQ(Report(ExportFormat::Html, rows),
            kHeading +
                "\n<hr>\n<b>FILE: /web/index.htm</b>\n<ul>"
                "\n<li><a href=\"http://host/old.html\">Old page</a> HTTP Code 404 Not Found"
                "\n<li><a href=\"http://host/gone/\">Gone</a> Can't Find Named Host"
                "\n</ul>\n"
                "\n<hr>\n<b>FILE: /web/links.htm</b>\n<ul>"
                "\n<li><a href=\"ftp://host/pub/\">Files</a> Can't Connect to Host" +
                kClosing);
  EXPECT_EQ(ReportFormat(static_cast<ExportFormat>(-1)).Extension(),
            std::string("html"));  // every value but 0 and 2..4
  WriteTextReport(nullptr, rows);  // no file: nothing written, no crash
}

TEST(Reports, TextIsRawAndHtmlEscapesEveryRowTextAndTheOwner) {
  const CResultRows rows =
      MakeRows({{"http://h/?a=1&b=\"2\"", "<R>", "<b>Q & A's</b>", "/w/x&y.htm", {}}});
  EXPECT_EQ(Report(ExportFormat::Text, rows),
            "FILE: /w/x&y.htm\nhttp://h/?a=1&b=\"2\"\t<R>\t<b>Q & A's</b>\n");
  const std::string html = Report(ExportFormat::Html, rows, "A & B");
  EXPECT_NE(html.find("results for A &amp; B</H3>"), std::string::npos);
  EXPECT_NE(html.find("<b>FILE: /w/x&amp;y.htm</b>"), std::string::npos);
  EXPECT_NE(html.find("\n<li><a href=\"http://h/?a=1&amp;b=&quot;2&quot;\">"
                      "&lt;b&gt;Q &amp; A's&lt;/b&gt;</a> &lt;R&gt;"),
            std::string::npos)
      << html;
  EXPECT_EQ(HtmlEscape("&amp;"), "&amp;amp;");
}

TEST(Reports, JsonCsvAndJunitListEveryRowWithWhatIsKnown) {
  const CResultRows rows = MakeRows(kRows);
  EXPECT_EQ(
      Report(ExportFormat::Json, rows),
      "{\"rows\": [\n"
      "  {\"url\": \"http://host/old.html\", \"reason\": \"HTTP Code 404 Not Found\", "
      "\"siteName\": \"Old page\", \"file\": \"/web/index.htm\", \"code\": 404, \"line\": 12, "
      "\"finalUrl\": \"http://host/new.html\"},\n"
      "  {\"url\": \"ftp://host/pub/\", \"reason\": \"Can't Connect to Host\", "
      "\"siteName\": \"Files\", \"file\": \"/web/links.htm\"},\n"
      "  {\"url\": \"http://host/gone/\", \"reason\": \"Can't Find Named Host\", "
      "\"siteName\": \"Gone\", \"file\": \"/web/index.htm\", \"code\": 10002}\n"
      "]}\n");
  EXPECT_EQ(Report(ExportFormat::Csv, rows),
            "URL,Reason,Site Name,File Name\r\n"
            "http://host/old.html,HTTP Code 404 Not Found,Old page,/web/index.htm\r\n"
            "ftp://host/pub/,Can't Connect to Host,Files,/web/links.htm\r\n"
            "http://host/gone/,Can't Find Named Host,Gone,/web/index.htm\r\n");
  // One testsuite per file, even when the file's rows are not adjacent.
  EXPECT_EQ(Report(ExportFormat::Junit, rows),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<testsuites name=\"Linkward\" tests=\"3\" failures=\"3\">\n"
            "  <testsuite name=\"/web/index.htm\" tests=\"2\" failures=\"2\">\n"
            "    <testcase classname=\"/web/index.htm\" name=\"http://host/old.html\">\n"
            "      <failure message=\"HTTP Code 404 Not Found\">Site Name: Old page\n"
            "Code: 404\nLine: 12\nFinal URL: http://host/new.html</failure>\n"
            "    </testcase>\n"
            "    <testcase classname=\"/web/index.htm\" name=\"http://host/gone/\">\n"
            "      <failure message=\"Can&apos;t Find Named Host\">Site Name: Gone\n"
            "Code: 10002</failure>\n"
            "    </testcase>\n"
            "  </testsuite>\n"
            "  <testsuite name=\"/web/links.htm\" tests=\"1\" failures=\"1\">\n"
            "    <testcase classname=\"/web/links.htm\" name=\"ftp://host/pub/\">\n"
            "      <failure message=\"Can&apos;t Connect to Host\">Site Name: Files</failure>\n"
            "    </testcase>\n"
            "  </testsuite>\n"
            "</testsuites>\n");
}

// A text from a page and how each format writes it: inside a JSON string, as a
// CSV field, in an XML attribute and in XML text.
struct Hostile {
  std::string text, json, csv, xmlAttribute, xmlText;
};
const std::string kFFFD = "\xEF\xBF\xBD";
const std::string kNul("a\0b", 3);
const Hostile kHostile[] = {
    {"a \"q\" \\ b", "a \\\"q\\\" \\\\ b", "\"a \"\"q\"\" \\ b\"", "a &quot;q&quot; \\ b",
     "a &quot;q&quot; \\ b"},
    {"x,y", "x,y", "\"x,y\"", "x,y", "x,y"},
    {"<a href='x'>&amp;</a>", "<a href='x'>&amp;</a>", "<a href='x'>&amp;</a>",
     "&lt;a href=&apos;x&apos;&gt;&amp;amp;&lt;/a&gt;",
     "&lt;a href=&apos;x&apos;&gt;&amp;amp;&lt;/a&gt;"},
    {"t\tc\rl\n", "t\\tc\\rl\\n", "\"t\tc\rl\n\"", "t&#9;c&#13;l&#10;", "t\tc&#13;l\n"},
    {"\x01\x08\x0c\x1f\x7f", "\\u0001\\b\\f\\u001f\x7f", "\x01\x08\x0c\x1f\x7f",
     kFFFD + kFFFD + kFFFD + kFFFD + "\x7f", kFFFD + kFFFD + kFFFD + kFFFD + "\x7f"},
    {kNul, "a\\u0000b", kNul, "a" + kFFFD + "b", "a" + kFFFD + "b"},
    // Ill-formed UTF-8: a lone byte, an overlong "/", a surrogate, a code point
    // above U+10FFFF, a cut sequence before "x" and at the end.
    {"\xff|\xc0\xaf|\xed\xa0\x80|\xf4\x90\x80\x80|\xe2\x82x|\xf0\x9f\x98",
     kFFFD + "|" + kFFFD + kFFFD + "|" + kFFFD + kFFFD + kFFFD + "|" + kFFFD + kFFFD + kFFFD +
         kFFFD + "|" + kFFFD + "x|" + kFFFD,
     "", "", ""},
    // Well-formed characters stay; U+FFFE is no XML character.
    {"Grüße € 𝄞 \xef\xbf\xbe", "Grüße € 𝄞 \xef\xbf\xbe", "Grüße € 𝄞 \xef\xbf\xbe",
     "Grüße € 𝄞 " + kFFFD, "Grüße € 𝄞 " + kFFFD},
};

// Whether python3's parser (json or xml.etree) reads the report; its error otherwise.
std::string Parses(const std::string& report, const std::string& parse) {
  ScratchDir dir;
  const std::string path = dir.WriteFile("report", report);
  std::FILE* pipe = ::popen(("python3 -c 'import sys, json, xml.etree.ElementTree as ET; " + parse +
                             "; print(\"ok\")' " + path + " 2>&1")
                                .c_str(),
                            "r");
  if (!pipe) return "no python3";
  std::string out;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

TEST(Reports, JsonCsvAndJunitWriteAnyTextAsWellFormedUtf8) {
  std::vector<Row> list;
  std::string json = "{\"rows\": [", csv = "URL,Reason,Site Name,File Name\r\n";
  std::string junit =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<testsuites name=\"Linkward\" tests=\"8\" failures=\"8\">\n"
      "  <testsuite name=\"f\" tests=\"8\" failures=\"8\">\n";
  for (size_t i = 0; i < std::size(kHostile); ++i) {
    Hostile h = kHostile[i];
    if (h.csv.empty()) h.csv = h.xmlAttribute = h.xmlText = h.json;  // replaced alike everywhere
    // The text as URL, site name and final URL of one row.
    list.push_back({h.text, "R", h.text, "f", {unsigned(400 + i), int(i + 1), h.text}});
    const std::string code = std::to_string(400 + i), line = std::to_string(i + 1);
    json += std::string(i ? ",\n" : "\n") + "  {\"url\": \"" + h.json +
            "\", \"reason\": \"R\", \"siteName\": \"" + h.json +
            "\", \"file\": \"f\", \"code\": " + code + ", \"line\": " + line +
            ", \"finalUrl\": \"" + h.json + "\"}";
    csv += h.csv + ",R," + h.csv + ",f\r\n";
    junit += "    <testcase classname=\"f\" name=\"" + h.xmlAttribute +
             "\">\n      <failure message=\"R\">Site Name: " + h.xmlText + "\nCode: " + code +
             "\nLine: " + line + "\nFinal URL: " + h.xmlText + "</failure>\n    </testcase>\n";
  }
  json += "\n]}\n";
  junit += "  </testsuite>\n</testsuites>\n";
  const CResultRows rows = MakeRows(list);
  EXPECT_EQ(Report(ExportFormat::Json, rows), json);
  EXPECT_EQ(Report(ExportFormat::Csv, rows), csv);
  EXPECT_EQ(Report(ExportFormat::Junit, rows), junit);
  EXPECT_EQ(
      Parses(Report(ExportFormat::Json, rows), "json.load(open(sys.argv[1], encoding=\"utf-8\"))"),
      "ok\n");
  EXPECT_EQ(Parses(Report(ExportFormat::Junit, rows), "ET.parse(sys.argv[1])"), "ok\n");
}

TEST(ReportOwner, IsANameWithoutGecosExtras) {
  const std::string owner = ReportOwnerName();
  EXPECT_FALSE(owner.empty());
  EXPECT_EQ(owner.find(','), std::string::npos);
}

}  // namespace

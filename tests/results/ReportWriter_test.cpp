// The report formats, byte for byte; the JSON and JUnit XML reports also read
// by Python's json and xml.etree parsers (python3 must be installed).
#include "results/ReportWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "results/ResultRows.h"

using namespace linkward;

namespace {

struct Row {
  std::string url, reason, site, file;
  RowDetails details;
};

int Parses(const std::string& report, const std::string& parse);

const ReportContext kStandard{"Ada & Lovelace", "Sunday, December 6, 2026, 22:26:25", false, {},
                              ReportGroup::Page};

// The report of the rows of list in format id, written to memory.
std::string Report(ExportFormat id, const std::vector<Row>& list,
                   const ReportContext& context = kStandard) {
  CResultRows rows;
  for (const Row& r : list) {
    const int i = rows.InsertItem(rows.GetItemCount(), r.url);
    rows.SetItemText(i, COL_REASON, r.reason);
    rows.SetItemText(i, COL_SITE, r.site);
    rows.SetItemText(i, COL_FILE, r.file);
    rows.SetItemDetails(i, r.details);
  }
  char* data = nullptr;
  size_t size = 0;
  std::FILE* file = open_memstream(&data, &size);
  ReportFormat(id).Write(file, rows, context);
  std::fclose(file);
  std::string text(data, size);
  std::free(data);
  return text;
}

const std::string kHeading =
    "<HTML>\n<HEAD>\n<TITLE>Linkward Results</TITLE>\n</HEAD>\n<BODY>\n"
    "<H3><A HREF=\"http://linkward.example.com/\">Linkward</A> results for Ada &amp; "
    "Lovelace</H3>\n"
    "<b>Start of report: </b>Sunday, December 6, 2026, 22:26:25\n";
const std::string kClosing = "\n</ul>\n<hr>\n\n</BODY>\n</HTML>\n";
const std::string kXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"Linkward\" ";

// Two files; the second file's row comes between the first file's rows, as
// only a merge of two lists could leave them.
// clang-format off
const std::vector<Row> kRows = {
    {"http://host/old.html", "HTTP Code 404 Not Found", "Old page", "/web/index.htm",
     {404, 12, "http://host/new.html", CheckClass::Broken, {}, {}, {}}},
    {"ftp://host/pub/", "Can't Connect to Host", "Files", "/web/links.htm", {}},
    {"http://host/gone/", "Can't Find Named Host", "Gone", "/web/index.htm", {10002, 0, "", CheckClass::Broken, {}, {}, {}}}};
// clang-format on

// The text report writes the texts raw; HTML escapes every row text and the owner.
TEST(Reports, TextAndHtmlHaveASectionPerFileGroup) {
  // clang-format off
  const std::vector<Row> rows = {kRows[0], kRows[2], kRows[1],
      {"http://h/?a=1&b=\"2\"", "<R>", "<b>Q & A's</b>", "/w/x&y.htm", {}}};
  // clang-format on
  // One empty line between groups, none at the end.
  EXPECT_EQ(Report(ExportFormat::Text, rows),
            "FILE: /web/index.htm\n"
            "http://host/old.html\tHTTP Code 404 Not Found\tOld page\n"
            "http://host/gone/\tCan't Find Named Host\tGone\n"
            "\n"
            "FILE: /web/links.htm\n"
            "ftp://host/pub/\tCan't Connect to Host\tFiles\n"
            "\n"
            "FILE: /w/x&y.htm\n"
            "http://h/?a=1&b=\"2\"\t<R>\t<b>Q & A's</b>\n");
  EXPECT_EQ(
      Report(ExportFormat::Html, rows),
      kHeading +
          "\n<hr>\n<b>FILE: /web/index.htm</b>\n<ul>"
          "\n<li><a href=\"http://host/old.html\">Old page</a> HTTP Code 404 Not Found"
          "\n<li><a href=\"http://host/gone/\">Gone</a> Can't Find Named Host"
          "\n</ul>\n"
          "\n<hr>\n<b>FILE: /web/links.htm</b>\n<ul>"
          "\n<li><a href=\"ftp://host/pub/\">Files</a> Can't Connect to Host"
          "\n</ul>\n"
          "\n<hr>\n<b>FILE: /w/x&amp;y.htm</b>\n<ul>"
          "\n<li><a href=\"http://h/?a=1&amp;b=&quot;2&quot;\">&lt;b&gt;Q &amp; A's&lt;/b&gt;</a> "
          "&lt;R&gt;" +
          kClosing);
  EXPECT_EQ(HtmlEscape("&amp;"), "&amp;amp;");
}

// Texts from pages cannot change the shape of the text or HTML report: a tab
// or line end in a text is written visibly, a control character in HTML as its
// control picture, an address a browser would run is shown as text, and an
// empty report opens no list it does not close.
TEST(Reports, TextAndHtmlKeepTheirShapeForAnyText) {
  // clang-format off
  const std::vector<Row> rows = {
      {"http://h/a\tb", "R", "S\r\nT", "/w/new\nline.htm", {}},
      {"java\tscript:alert(1)", "R", "x\x01y\x7f", "/w/new\nline.htm", {}},
      {" JavaScript:alert(2)", "R", "J", "/w/new\nline.htm", {}},
      {"data:text/html,<b>", "R", "D", "/w/new\nline.htm", {}},
      {"HTTPS://h/", "R", "H", "/w/new\nline.htm", {}},
      {"a/b:c.html", "R", "Rel", "/w/new\nline.htm", {}}};
  // clang-format on
  const std::string text = Report(ExportFormat::Text, rows);
  EXPECT_EQ(text.substr(0, text.find('\n', 40) + 1),
            "FILE: /w/new\\nline.htm\n"
            "http://h/a\\tb\tR\tS\\r\\nT\n");
  EXPECT_EQ(Report(ExportFormat::Html, rows),
            kHeading +
                "\n<hr>\n<b>FILE: /w/new\nline.htm</b>\n<ul>"
                "\n<li><a href=\"http://h/a\tb\">S\r\nT</a> R"
                "\n<li>x&#x2401;y&#x2421; &lt;java\tscript:alert(1)&gt; R"
                "\n<li>J &lt; JavaScript:alert(2)&gt; R"
                "\n<li>D &lt;data:text/html,&lt;b&gt;&gt; R"
                "\n<li><a href=\"HTTPS://h/\">H</a> R"
                "\n<li><a href=\"a/b:c.html\">Rel</a> R" +
                kClosing);
  EXPECT_EQ(Report(ExportFormat::Html, {}), kHeading + "\n<hr>\n\n</BODY>\n</HTML>\n");
}

// A full check's rows: one missing page under two spellings on two pages, a
// moved link with its history and archived copy, a link the server refused.
// clang-format off
const std::vector<Row> kFullRows = {
    {"missing.html", "Local File Not Found", "Missing", "/w/index.htm",
     {0, 3, "", CheckClass::Broken, "/w/missing.html", {}, {}}},
    {"http://h/old", "HTTP Code 301 Moved Permanently", "Old", "/w/index.htm",
     {301, 7, "http://h/new", CheckClass::Moved, "http://h/old", "new since the last check",
      "http://archive/old"}},
    {"../missing.html", "Local File Not Found", "Up", "/w/sub/a.htm",
     {0, 12, "", CheckClass::Broken, "/w/missing.html", {}, {}}},
    {"http://h/x", "HTTP Code 403 Forbidden", "X", "/w/sub/a.htm",
     {403, 2, "", CheckClass::NotVerified, {}, {}, {}}}};
// clang-format on
const ReportContext kFull{"Ada", "today", true, {40, 5}, ReportGroup::Page};
const std::string kFullTotal =
    "40 links checked on 5 pages; 4 links listed on 2 pages: 2 Broken, 1 Moved, 1 Not Verified";

// Only the full check's rows carry line, class and target in every format,
// with history and archive where known, and a grand total where a total fits.
TEST(Reports, FullCheckReportsCarryLineClassTargetAndTotal) {
  EXPECT_EQ(Report(ExportFormat::Text, kFullRows, kFull),
            "FILE: /w/index.htm\n"
            "missing.html\tLocal File Not Found\tMissing\tline 3\tBroken\t/w/missing.html\n"
            "http://h/old\tHTTP Code 301 Moved Permanently\tOld\tline 7\tMoved\thttp://h/old"
            "\thistory: new since the last check\tarchived: http://archive/old\n"
            "\n"
            "FILE: /w/sub/a.htm\n"
            "../missing.html\tLocal File Not Found\tUp\tline 12\tBroken\t/w/missing.html\n"
            "http://h/x\tHTTP Code 403 Forbidden\tX\tline 2\tNot Verified\thttp://h/x\n"
            "\n"
            "TOTAL: " + kFullTotal + "\n");
  const std::string html = Report(ExportFormat::Html, kFullRows, kFull);
  EXPECT_TRUE(html.find("\n<li><a href=\"http://h/old\">Old</a> HTTP Code 301 Moved Permanently "
                        "<i>(line 7, Moved, target: http://h/old, history: new since the last "
                        "check, archived copy: <a href=\"http://archive/old\">"
                        "http://archive/old</a>)</i>\n</ul>") != std::string::npos) << html;
  EXPECT_TRUE(html.find("\n</ul>\n<hr>\n<p><b>TOTAL:</b> " + kFullTotal +
                        "</p>\n\n</BODY>\n</HTML>\n") != std::string::npos) << html;
  const std::string json = Report(ExportFormat::Json, kFullRows, kFull);
  EXPECT_TRUE(json.find("\"file\": \"/w/index.htm\", \"line\": 3, \"class\": \"Broken\", "
                        "\"target\": \"/w/missing.html\"},\n") != std::string::npos) << json;
  EXPECT_TRUE(json.find("\"finalUrl\": \"http://h/new\", \"class\": \"Moved\", \"target\": "
                        "\"http://h/old\", \"history\": \"new since the last check\", "
                        "\"archiveUrl\": \"http://archive/old\"},\n") != std::string::npos) << json;
  EXPECT_TRUE(json.ends_with("\n],\n\"totals\": {\"linksChecked\": 40, \"pagesChecked\": 5, "
                             "\"listed\": 4, \"pagesListed\": 2, \"broken\": 2, \"moved\": 1, "
                             "\"notVerified\": 1, \"ok\": 0}}\n")) << json;
  EXPECT_EQ(Parses(json, "json.load(sys.stdin.buffer)"), 0);
  const std::string csv = Report(ExportFormat::Csv, kFullRows, kFull);
  EXPECT_TRUE(csv.starts_with(
      "URL,Reason,Site Name,File Name,Line,Class,Target,History,Archive URL\r\n"
      "missing.html,Local File Not Found,Missing,/w/index.htm,3,Broken,/w/missing.html,,\r\n"
      "http://h/old,HTTP Code 301 Moved Permanently,Old,/w/index.htm,7,Moved,http://h/old,"
      "new since the last check,http://archive/old\r\n")) << csv;
  const std::string junit = Report(ExportFormat::Junit, kFullRows, kFull);
  EXPECT_TRUE(junit.find("<failure type=\"Not Verified\" message=\"HTTP Code 403 Forbidden\">"
                         "Site Name: X\nCode: 403\nLine: 2\nClass: Not Verified\n"
                         "Target: http://h/x</failure>") != std::string::npos) << junit;
  EXPECT_EQ(Parses(junit, "ET.parse(sys.stdin.buffer)"), 0);
  // Nothing listed: still the total, and what is not known is not claimed.
  ReportContext unknown = kFull;
  unknown.totals = {};
  EXPECT_EQ(Report(ExportFormat::Text, {}, unknown),
            "TOTAL: 0 links listed on 0 pages: 0 Broken, 0 Moved, 0 Not Verified\n");
  EXPECT_EQ(Report(ExportFormat::Json, {}, unknown),
            "{\"rows\": [],\n\"totals\": {\"listed\": 0, \"pagesListed\": 0, \"broken\": 0, "
            "\"moved\": 0, \"notVerified\": 0, \"ok\": 0}}\n");
}

// Grouped by target, one missing page linked under two spellings is one
// entry; the target most links point at comes first.
TEST(Reports, TextAndHtmlGroupFullCheckRowsByTarget) {
  ReportContext byTarget = kFull;
  byTarget.group = ReportGroup::Target;
  EXPECT_EQ(Report(ExportFormat::Text, kFullRows, byTarget),
            "TARGET: /w/missing.html (2 links)\n"
            "/w/index.htm:3\tmissing.html\tLocal File Not Found\tBroken\n"
            "/w/sub/a.htm:12\t../missing.html\tLocal File Not Found\tBroken\n"
            "\n"
            "TARGET: http://h/old (1 link)\n"
            "/w/index.htm:7\thttp://h/old\tHTTP Code 301 Moved Permanently\tMoved"
            "\thistory: new since the last check\tarchived: http://archive/old\n"
            "\n"
            "TARGET: http://h/x (1 link)\n"
            "/w/sub/a.htm:2\thttp://h/x\tHTTP Code 403 Forbidden\tNot Verified\n"
            "\n"
            "TOTAL: " + kFullTotal + "\n");
  const std::string html = Report(ExportFormat::Html, kFullRows, byTarget);
  EXPECT_TRUE(html.find("<b>Start of report: </b>today\n"
                        "\n<hr>\n<b>TARGET: /w/missing.html</b> (2 links)\n<ul>"
                        "\n<li>/w/index.htm:3 <a href=\"missing.html\">missing.html</a> Local File "
                        "Not Found <i>(Broken)</i>"
                        "\n<li>/w/sub/a.htm:12 <a href=\"../missing.html\">../missing.html</a> "
                        "Local File Not Found <i>(Broken)</i>"
                        "\n</ul>\n<hr>\n<b>TARGET: http://h/old</b> (1 link)\n<ul>") !=
              std::string::npos)
      << html;
  EXPECT_TRUE(html.ends_with("</ul>\n<hr>\n<p><b>TOTAL:</b> " + kFullTotal +
                             "</p>\n\n</BODY>\n</HTML>\n")) << html;
  // The standard test's rows are never grouped.
  ReportContext standard = kStandard;
  standard.group = ReportGroup::Target;
  EXPECT_EQ(Report(ExportFormat::Text, kRows, standard), Report(ExportFormat::Text, kRows));
}

// CSV has no optional fields: its rows are the hostile table's.
TEST(Reports, JsonAndJunitListEveryRowWithWhatIsKnown) {
  EXPECT_EQ(Report(ExportFormat::Json, {}), "{\"rows\": []}\n");
  EXPECT_EQ(Report(ExportFormat::Junit, {}), kXml + "tests=\"0\" failures=\"0\">\n</testsuites>\n");
  EXPECT_EQ(
      Report(ExportFormat::Json, kRows),
      "{\"rows\": [\n"
      "  {\"url\": \"http://host/old.html\", \"reason\": \"HTTP Code 404 Not Found\", "
      "\"siteName\": \"Old page\", \"file\": \"/web/index.htm\", \"code\": 404, \"line\": 12, "
      "\"finalUrl\": \"http://host/new.html\"},\n"
      "  {\"url\": \"ftp://host/pub/\", \"reason\": \"Can't Connect to Host\", "
      "\"siteName\": \"Files\", \"file\": \"/web/links.htm\"},\n"
      "  {\"url\": \"http://host/gone/\", \"reason\": \"Can't Find Named Host\", "
      "\"siteName\": \"Gone\", \"file\": \"/web/index.htm\", \"code\": 10002}\n"
      "]}\n");
  // One testsuite per file, even when the file's rows are not adjacent.
  EXPECT_EQ(Report(ExportFormat::Junit, kRows),
            kXml +
                "tests=\"3\" failures=\"3\">\n"
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

// The exit status of python3 reading the report from its standard input with
// parse (its error goes to the test's output).
int Parses(const std::string& report, const std::string& parse) {
  std::FILE* python = popen(
      ("python3 -c 'import sys, json, xml.etree.ElementTree as ET; " + parse + "'").c_str(), "w");
  if (python == nullptr) return -1;
  std::fwrite(report.data(), 1, report.size(), python);
  return pclose(python);
}

TEST(Reports, JsonCsvAndJunitWriteAnyTextAsWellFormedUtf8) {
  std::vector<Row> list;
  std::string json = "{\"rows\": [", csv = "URL,Reason,Site Name,File Name\r\n";
  std::string junit =
      kXml + "tests=\"8\" failures=\"8\">\n  <testsuite name=\"f\" tests=\"8\" failures=\"8\">\n";
  for (size_t i = 0; i < std::size(kHostile); ++i) {
    Hostile h = kHostile[i];
    if (h.csv.empty()) h.csv = h.xmlAttribute = h.xmlText = h.json;  // replaced alike everywhere
    list.push_back({h.text, "R", h.text, "f", {404, 7, h.text, CheckClass::Broken, {}, {}, {}}});    // URL, site name, final URL
    json += std::string(i ? ",\n" : "\n") + "  {\"url\": \"" + h.json +
            "\", \"reason\": \"R\", \"siteName\": \"" + h.json +
            "\", \"file\": \"f\", \"code\": 404, \"line\": 7, \"finalUrl\": \"" + h.json + "\"}";
    csv += h.csv + ",R," + h.csv + ",f\r\n";
    junit += "    <testcase classname=\"f\" name=\"" + h.xmlAttribute +
             "\">\n      <failure message=\"R\">Site Name: " + h.xmlText +
             "\nCode: 404\nLine: 7\nFinal URL: " + h.xmlText + "</failure>\n    </testcase>\n";
  }
  json += "\n]}\n";
  junit += "  </testsuite>\n</testsuites>\n";
  EXPECT_EQ(Report(ExportFormat::Json, list), json);
  EXPECT_EQ(Report(ExportFormat::Csv, list), csv);
  EXPECT_EQ(Report(ExportFormat::Junit, list), junit);
  EXPECT_EQ(Parses(Report(ExportFormat::Json, list), "json.load(sys.stdin.buffer)"), 0);
  EXPECT_EQ(Parses(Report(ExportFormat::Junit, list), "ET.parse(sys.stdin.buffer)"), 0);
}

}  // namespace

#include "results/ReportWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "results/ResultRows.h"

namespace {

struct Row {
  const char *url, *reason, *site, *file;
};

CResultRows MakeRows(std::initializer_list<Row> list) {
  CResultRows rows;
  for (const Row& r : list) {
    int i = rows.InsertItem(rows.GetItemCount(), r.url);
    rows.SetItemText(i, COL_REASON, r.reason);
    rows.SetItemText(i, COL_SITE, r.site);
    rows.SetItemText(i, COL_FILE, r.file);
  }
  return rows;
}

// Writes the report of rows (HTML when owner is given) to memory and returns it.
std::string Report(const CResultRows& rows, const char* owner = nullptr) {
  char* data = nullptr;
  size_t size = 0;
  std::FILE* file = open_memstream(&data, &size);
  if (owner)
    WriteHtmlReport(file, rows, owner, "Sunday, December 6, 2026, 22:26:25");
  else
    WriteTextReport(file, rows);
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

const Row kOld{"http://host/old.html", "HTTP Code 404 Not Found", "Old page", "/web/index.htm"};
const Row kGone{"http://host/gone/", "Can't Find Named Host", "Gone", "/web/index.htm"};
const Row kFiles{"ftp://host/pub/", "Can't Connect to Host", "Files", "/web/links.htm"};

TEST(TextReport, GroupsRowsByFileAndWritesTextsRaw) {
  EXPECT_EQ(Report(CResultRows()), "");
  // One empty line between groups, none at the end.
  EXPECT_EQ(Report(MakeRows({kOld, kGone, kFiles})),
            "FILE: /web/index.htm\n"
            "http://host/old.html\tHTTP Code 404 Not Found\tOld page\n"
            "http://host/gone/\tCan't Find Named Host\tGone\n"
            "\n"
            "FILE: /web/links.htm\n"
            "ftp://host/pub/\tCan't Connect to Host\tFiles\n");
  EXPECT_EQ(Report(MakeRows({{"http://h/?a=1&b=<2>", "R", "\"Q\" & <A>", "/w/x&y.htm"}})),
            "FILE: /w/x&y.htm\nhttp://h/?a=1&b=<2>\tR\t\"Q\" & <A>\n");
  WriteTextReport(nullptr, MakeRows({kOld}));  // no file: nothing written, no crash
}

TEST(HtmlReport, EachGroupHasItsHeadingAndList) {
  EXPECT_EQ(Report(CResultRows(), "Ada Lovelace"), kHeading + kClosing);
  EXPECT_EQ(Report(MakeRows({kOld, kGone, kFiles}), "Ada Lovelace"),
            kHeading +
                "\n<hr>\n<b>FILE: /web/index.htm</b>\n<ul>"
                "\n<li><a href=\"http://host/old.html\">Old page</a> HTTP Code 404 Not Found"
                "\n<li><a href=\"http://host/gone/\">Gone</a> Can't Find Named Host"
                "\n</ul>\n"
                "\n<hr>\n<b>FILE: /web/links.htm</b>\n<ul>"
                "\n<li><a href=\"ftp://host/pub/\">Files</a> Can't Connect to Host" +
                kClosing);
}

TEST(HtmlReport, EscapesEveryRowTextAndTheOwner) {
  const std::string html =
      Report(MakeRows({{"http://h/?a=1&b=\"2\"", "<R>", "<b>Q & A's</b>", "/w/x&y.htm"}}), "A & B");
  EXPECT_NE(html.find("results for A &amp; B</H3>"), std::string::npos);
  EXPECT_NE(html.find("<b>FILE: /w/x&amp;y.htm</b>"), std::string::npos);
  EXPECT_NE(html.find("\n<li><a href=\"http://h/?a=1&amp;b=&quot;2&quot;\">"
                      "&lt;b&gt;Q &amp; A's&lt;/b&gt;</a> &lt;R&gt;"),
            std::string::npos)
      << html;
  EXPECT_EQ(HtmlEscape("&amp;"), "&amp;amp;");
}

TEST(ReportOwner, IsANameWithoutGecosExtras) {
  const std::string owner = ReportOwnerName();
  EXPECT_FALSE(owner.empty());
  EXPECT_EQ(owner.find(','), std::string::npos);
}

}  // namespace

// Which files the full check reads as pages: HTML and Markdown by name, or
// HTML by content when the name has no extension; every other file is a link target only,
// with no log lines, no rows and no fragment check of its own. And the line
// of each link whatever the page's line ends.
#include "check/PageParser.h"
#include "engine/ViewFixture.h"

using namespace linkward;

namespace {

using Texts = std::vector<std::string>;

TEST(PageParserFiles, ContentTellsAPageWithoutExtension) {
  const std::pair<std::string, bool> cases[] = {
      {"\xEF\xBB\xBF <!-- a --><!DOCTYPE HTML PUBLIC \"x\">", true},
      {"<?xml version=\"1.0\"?>\n<html xmlns=\"x\">", true},
      {std::string("\xFF\xFE<\0h\0t\0m\0l\0>\0", 14), true},
      {"<htmlx>", false},
      {"<p>text <html>", false},
      {"{\"k\": \"<html>\"}", false},
      {std::string(1100, ' ') + "<html>", false},
  };
  for (const auto& [bytes, html] : cases)
    EXPECT_EQ(LooksLikeHtml(bytes.data(), bytes.size()), html) << bytes;
  EXPECT_EQ(FileKindOf("/d/a.XHTML"), FileKind::Html);
  EXPECT_EQ(FileKindOf("/d.html/glossary.json"), FileKind::Other);
  EXPECT_EQ(FileKindOf(".htaccess"), FileKind::ByContent);
}

class PageParserFullCheck : public ViewFixture {};

TEST_F(PageParserFullCheck, OnlyPagesAreReadAndLinesEndAtCrLfOrCr) {
  const std::string links = "not-there.html";
  Page("glossary.json", "{\"a\": \"<a href=" + links + ">\"}");
  Page("notes.txt", "see <a href=" + links + ">");
  Page("pic.png", std::string("\x89PNG\0\0<a href=", 13) + links + ">");
  Page("plain", "text <a href=" + links + ">");
  const std::string noext = Page("noext", "<!DOCTYPE html><p id=there><a href=gone.html>G</a>");
  const std::string cr = Page("cr.htm",
                              "<p>\r<a href=c1.html>1</a>\r\r<a href=c2.html>2</a>\r\n"
                              "<a href=c3.html>3</a>\n\r\n<a\rhref=c4.html>4</a>");
  const std::string guide =
      Page("guide.md", "# Install it\n\n[self](#install-it) [bad](#nope) ![img](pic.png)\n");
  const std::string index =
      Page("index.html",
           "<a href=glossary.json#k>j</a><a href=pic.png#x>p</a><a href=noext#there>n</a>"
           "<a href=noext#missing>m</a><a href=plain#x>t</a><a href=notes.txt#y>y</a>"
           "<a href=guide.md#install-it>g</a><a href=guide.md#missing>g2</a>");
  FullCheckOptions full;
  full.enabled = true;
  View().StartTest(index, {false, true, false}, full);
  RunToEnd();
  EXPECT_EQ(Rows(),
            (Texts{"c1.html|Local File Not Found|1", "c2.html|Local File Not Found|2",
                   "c3.html|Local File Not Found|3", "c4.html|Local File Not Found|4",
                   "#nope|Fragment Not Found|bad", "noext#missing|Fragment Not Found|m",
                   "guide.md#missing|Fragment Not Found|g2", "gone.html|Local File Not Found|G"}));
  std::vector<int> lines;
  for (int row = 0; row < 4; ++row) lines.push_back(View().Rows().GetItemDetails(row).line);
  EXPECT_EQ(lines, (std::vector<int>{2, 4, 5, 8}));
  EXPECT_EQ(Log(), "Start of test <date>\r\n\r\n" + FileLog(cr, 4, 4) + FileLog(guide, 3, 1) +
                       FileLog(index, 8, 2) + FileLog(noext, 1, 1) + "End of test: <date>\r\n");
}

}  // namespace

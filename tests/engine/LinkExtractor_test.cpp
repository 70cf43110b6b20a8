#include "engine/LinkExtractor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "support/ScratchDir.h"

using namespace linkward;

namespace {

using namespace std::string_literals;
using Links = std::vector<std::pair<std::string, std::string>>;

const std::string kSupplied = SUPPLIED_ANCHOR_NAME;

class LinkExtractorTest : public ::testing::Test {
 protected:
  Links Extract(const std::string& html) {
    EXPECT_TRUE(ScratchDir::WriteBytes(tmp / "page.html", html));
    StringList links, anchors;
    ExtractLinksToLists(tmp / "page.html", Scratch(), links, anchors);
    EXPECT_EQ(links.size(), anchors.size());
    Links result;
    for (size_t i = 0; i < links.size() && i < anchors.size(); ++i)
      result.emplace_back(links[i], anchors[i]);
    return result;
  }
  std::string Scratch() const { return tmp / "urltmp~2"; }

  ScratchDir tmp;
};

TEST_F(LinkExtractorTest, LinksAndAnchorTexts) {
  const std::string pad989(989, 'p');
  const std::string pad1000(1000, 'p');
  const std::string pad979(979, 'p');  // the end mark "<" is the 999th character of the line
  const std::string pad980(980, 'p');  // ... or the 1000th
  const struct {
    const char* name;
    std::string html;
    Links links;
  } cases[] = {
      {"anchor across lines",
       "<A HREF=\"http://h/\">Click\nhere</A>\n",
       {{"http://h/", "Clickhere"}}},
      {"CRLF input",
       "<p>\r\n<a href=\"http://h/\">\r\nCRLF\r\ntext</a>\r\n<p>\r\n",
       {{"http://h/", "CRLFtext"}}},
      {"image in a relative anchor",
       R"(<A HREF="page.html"><IMG SRC="http://host/i.gif"></A>)",
       {{"http://host/i.gif", kSupplied}}},
      {"unquoted", "<A HREF=http://host/>x</A> ", {}},
      {"unquoted then a quote",
       R"(<A HREF=http://host/>x</A> "q" > b <p> )",
       {{"http://host/>x</A>", "b"}}},
      {"inner tags kept",
       R"(<A HREF="http://host/"><B>Bold</B></A> )",
       {{"http://host/", "<B>Bold</B>"}}},
      {"upper end mark first",
       R"(<A HREF="http://host/">x</a> and more </ADDRESS> )",
       {{"http://host/", "x</a> and more"}}},
      {"area", R"(<AREA HREF="http://host/map" ALT="m"><p> )", {{"http://host/map", kSupplied}}},
      {"white anchor text", "<a href=\"http://h/\"> \t </a> ", {{"http://h/", ""}}},
      {"tabs become spaces", "<a href=\"http://h/\">\ta\tb\t</a> ", {{"http://h/", "a b"}}},
      {"trailing URL space", "<a href=\"http://h/ \t\">x</a> ", {{"http://h/", "x"}}},
      {"same link twice",
       R"(<a href="http://h/">1</a><a href="http://h/">2</a> )",
       {{"http://h/", "1"}, {"http://h/", "2"}}},
      {"scheme in any case", "<a href=\"hTtP://x/\">y</a> ", {{"hTtP://x/", "y"}}},
      {"ftp", "<a href=\"ftp://f/\">a</A ", {{"ftp://f/", "a"}}},
      {"no > after the quote", "<a href=\"http://x/\"y< ", {}},
      {"other schemes ignored",
       R"(<a href="mailto:x@y">m</a><a href="news:x">n</a><a href="rel.html">r</a> )",
       {}},
      {"http wins over ftp",
       R"(<a href="ftp://f/" title="http://h/">x</a> )",
       {{"http://h/", "x"}}},
      {"missing end mark", R"(<a href="http://h/">x)", {}},
      {"missing close", R"(<a href="http://h/" )", {}},
      {"text before the first anchor",
       R"(http://a/">no</a> <a href="http://b/">yes</a> )",
       {{"http://b/", "yes"}}},
      {"one link per anchor line",
       R"(<a href="http://a/">A</a> "http://b/">B<b> )",
       {{"http://a/", "A"}}},
      {"NUL bytes kept", "<a href=\"http://h/\0x\">a\0b</a> "s, {{"http://h/\0x"s, "a\0b"s}}},
      {"NUL before the anchor", "\0\0<a href=\"http://h/\">z</a> "s, {{"http://h/", "z"}}},
      {"empty file", "", {}},
      {"link split at the 999-character piece boundary",
       "<a " + pad989 + R"(href="http://split/">t</a> )",
       {}},
      {"link ending at the last character of a piece",
       "<a " + pad979 + R"(href="http://a/">x</a> )",
       {{"http://a/", "x"}}},
      {"end mark one character past the piece", "<a " + pad980 + R"(href="http://a/">x</a> )", {}},
      {"each piece of a long line yields one link",
       R"(<a href="http://one/">one<b>)" + pad1000 + R"("http://two/">two<b> )",
       {{"http://one/", "one"}, {"http://two/", "two"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Extract(c.html), c.links);
  }
}

TEST_F(LinkExtractorTest, ScratchCopyHoldsOneLinePerAnchorStart) {
  // Each run replaces the copy the one before left.
  const std::pair<std::string, std::string> cases[] = {
      {"xx<a b>c\r\n<A d", "\r\n b>c\r\n "},
      {"", ""},
      {"<", ""},
      {"x<A", "\r\n"},
      {"<a<a", "\r\n\r\n"},
      {"<<a12", "\r\n1"},
      {"<a\tb\r\r\nc\n", "\r\n\tb"},
      {"<ADDRESS><APPLET>!", "\r\nDDRESS>\r\nPPLET>"},
  };
  for (const auto& [html, scratch] : cases) {
    Extract(html);
    EXPECT_EQ(ScratchDir::ReadFile(Scratch()), scratch) << html;
  }
}

TEST_F(LinkExtractorTest, MultiMegabyteLine) {
  const std::string body(5 * 1024 * 1024, 'y');
  EXPECT_EQ(Extract(R"(<a href="http://first/">)" + body + R"(</a><a href="http://last/">L</a> )"),
            (Links{{"http://last/", "L"}}));
  EXPECT_EQ(Extract(body + R"(<a href="http://end/">end</a> )"), (Links{{"http://end/", "end"}}));
  EXPECT_EQ(ScratchDir::ReadFile(Scratch()), "\r\n href=\"http://end/\">end</a>");
}

TEST_F(LinkExtractorTest, ManyAnchorsAcrossReadBlocks) {
  std::string html;
  Links expected;
  for (int i = 0; i < 5000; ++i) {
    std::string url = "http://h" + std::to_string(i) + "/";
    html += "<a href=\"" + url + "\">\r\n" + std::string(i % 300, ' ') + "t" + std::to_string(i) +
            "</a>\r\n<p>";
    expected.emplace_back(url, "t" + std::to_string(i));
  }
  EXPECT_EQ(Extract(html), expected);
}

TEST_F(LinkExtractorTest, BadInputsAddNothingAndGoodOnesAppend) {
  const std::string html = R"(<a href="http://h/">x</a> )";
  ASSERT_TRUE(ScratchDir::WriteBytes(tmp / "p.html", html));
  ASSERT_EQ(::mkfifo((tmp / "fifo").c_str(), 0600), 0);
  StringList links{"http://old/"}, anchors{"old"};
  ExtractLinksToLists(tmp / "missing.html", Scratch(), links, anchors);
  ExtractLinksToLists("/dev/zero", Scratch(), links, anchors);   // endless: not a regular file
  ExtractLinksToLists(tmp / "fifo", Scratch(), links, anchors);  // no writer: must not block
  ExtractLinksToLists(tmp / "p.html", tmp / "no-dir/urltmp~2", links, anchors);
  ExtractLinksToLists(tmp / "p.html", tmp.Path(), links, anchors);      // a directory
  ExtractLinksToLists(tmp / "p.html", tmp / "p.html", links, anchors);  // the file itself
  EXPECT_EQ(ScratchDir::ReadFile(tmp / "p.html"), html);
  ExtractLinksToLists(tmp / "p.html", Scratch(), links, anchors);
  EXPECT_EQ(links, (StringList{"http://old/", "http://h/"}));
  EXPECT_EQ(anchors, (StringList{"old", "x"}));
}

}  // namespace

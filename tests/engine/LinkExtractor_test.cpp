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
  const std::string pad1000(1000, 'p'), big(5 * 1024 * 1024 - 1, 'y');
  // The end mark "<" is the 999th character of the line (pad979) or the 1000th (pad980).
  const std::string pad979(979, 'p'), pad980(980, 'p');
  // clang-format off
  const std::pair<std::string, Links> cases[] = {
      {"<p>\r\n<a href=\"http://h/\">\r\nCRLF\r\ntext</a>\r\n<p>\r\n", {{"http://h/", "CRLFtext"}}},
      {R"(<A HREF="page.html"><IMG SRC="http://h/i.gif"></A>)", {{"http://h/i.gif", kSupplied}}},
      {R"(<A HREF=http://h/>x</A> "q" > b <p> )", {{"http://h/>x</A>", "b"}}},
      {R"(<A HREF="http://h/"><B>Bold</B></A> )", {{"http://h/", "<B>Bold</B>"}}},
      {R"(<A HREF="http://h/">x</a> and more </ADDRESS> )", {{"http://h/", "x</a> and more"}}},
      {R"(<AREA HREF="http://h/map" ALT="m"><p> )", {{"http://h/map", kSupplied}}},
      {"<a href=\"http://h/\"> \t </a> ", {{"http://h/", ""}}},
      {"<a href=\"http://h/\">\ta\tb\t</a> ", {{"http://h/", "a b"}}},
      {"<a href=\"http://h/ \t\">x</a> ", {{"http://h/", "x"}}},
      {R"(<a href="http://h/">1</a><a href="http://h/">2</a> )",
        {{"http://h/", "1"}, {"http://h/", "2"}}},
      {"<a href=\"hTtP://x/\">y</a> ", {{"hTtP://x/", "y"}}},
      {"<a href=\"ftp://f/\">a</A ", {{"ftp://f/", "a"}}},
      {"<a href=\"http://x/\"y< ", {}},  // no ">" after the quote
      {R"(<a href="mailto:x@y">m</a><a href="news:x">n</a><a href="rel.html">r</a> )", {}},
      {R"(<a href="ftp://f/" title="http://h/">x</a> )", {{"http://h/", "x"}}},  // http wins
      {R"(<a href="http://h/">x)", {}},  // no end mark
      {R"(http://a/">no</a> <a href="http://b/">yes</a> )", {{"http://b/", "yes"}}},
      {R"(<a href="http://a/">A</a> "http://b/">B<b> )", {{"http://a/", "A"}}},  // one per line
      {"\0\0<A href=\"http://h/\0x\">a\0b</a> "s, {{"http://h/\0x"s, "a\0b"s}}},
      {"", {}},
      // Lines are read in pieces of 999 characters: a link ending with a piece
      // is found, one a character longer is lost, and each piece yields one.
      {"<a " + pad979 + R"(href="http://a/">x</a> )", {{"http://a/", "x"}}},
      {"<a " + pad980 + R"(href="http://a/">x</a> )", {}},
      {R"(<a href="http://1/">1<b>)" + pad1000 + R"("http://2/">2<b> )",
        {{"http://1/", "1"}, {"http://2/", "2"}}},
      {R"(<a href="http://first/">)" + big + R"(</a><a href="http://last/">L</a> )",
        {{"http://last/", "L"}}},
      // "<" ends one read block, "a" begins the next.
      {big + R"(<a href="http://end/">end</a> )", {{"http://end/", "end"}}},
  };
  // clang-format on
  for (const auto& [html, links] : cases) EXPECT_EQ(Extract(html), links) << html.substr(0, 60);
}

TEST_F(LinkExtractorTest, BadInputsAddNothingAndGoodOnesAppend) {
  const std::string html = R"(<a href="http://h/">x</a> )";
  ASSERT_TRUE(ScratchDir::WriteBytes(tmp / "p.html", html));
  ASSERT_EQ(::mkfifo((tmp / "fifo").c_str(), 0600), 0);
  StringList links{"http://old/"}, anchors{"old"};
  // {page, scratch copy}: no page; an endless device and a fifo without a
  // writer (not regular files: reading would never end or block); a scratch
  // copy in no directory, that is a directory, or that is the page itself.
  const std::pair<std::string, std::string> bad[] = {
      {tmp / "missing.html", Scratch()}, {"/dev/zero", Scratch()},
      {tmp / "fifo", Scratch()},         {tmp / "p.html", tmp / "no-dir/urltmp~2"},
      {tmp / "p.html", tmp.Path()},      {tmp / "p.html", tmp / "p.html"}};
  for (const auto& [page, scratch] : bad) ExtractLinksToLists(page, scratch, links, anchors);
  EXPECT_EQ(ScratchDir::ReadFile(tmp / "p.html"), html);
  ExtractLinksToLists(tmp / "p.html", Scratch(), links, anchors);
  EXPECT_EQ(links, (StringList{"http://old/", "http://h/"}));
  EXPECT_EQ(anchors, (StringList{"old", "x"}));
}

}  // namespace

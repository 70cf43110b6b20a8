// The full check's page parser: what a browser would see in good and bad
// pages, written and decoded addresses, lines, names; and a bounded run on
// random bytes.
#include "check/PageParser.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "check/PageEncoding.h"

using namespace linkward;

namespace {

// Every link as "written|url|text|line", then "base=..." when there is one and "name=..." for each
// name.
std::vector<std::string> Links(const std::string& html) {
  const ParsedPage page = ParsePage(html.data(), html.size());
  std::vector<std::string> out;
  for (const PageLink& l : page.links)
    out.push_back(l.written + "|" + l.url + "|" + l.text + "|" + std::to_string(l.line));
  if (!page.base.empty()) out.push_back("base=" + page.base);
  for (const std::string& name : page.names) out.push_back("name=" + name);
  return out;
}

using Texts = std::vector<std::string>;

// What any page keeps, whatever its bytes: every link's written form is bytes
// of the page (of its text in a UTF-16 page), on a line from 1; no srcset
// candidate is empty.
bool Sound(const std::string& page) {
  size_t bom = 0;
  const bool utf16 = PageEncoding(page.data(), page.size(), &bom).compare(0, 6, "UTF-16") == 0;
  for (const PageLink& l : ParsePage(page.data(), page.size()).links)
    if ((!utf16 && page.find(l.written) == std::string::npos) || l.line < 1) return false;
  for (const std::string& address : SrcsetAddresses(page))
    if (address.empty()) return false;
  return true;
}

TEST(PageParserTest, LinksAsABrowserSeesThem) {
  std::string big;
  while (big.size() < 10u << 20) big += "<a href=p.html#x>word</a> text, ";
  const struct {
    const char* name;
    std::string html;
    Texts links;
  } cases[] = {
      {"every link kind in page order",
       "<link href=s.css><script src=j.js></script>\n<a href=a.html>A</a><area href=m.html "
       "alt=Map><img src=i.png alt=' Pic  one '>\n<iframe src=f.html></iframe><embed src=e.swf>"
       "<object data=o.svg></object><audio src=s.ogg></audio><video src=v.mp4>"
       "<source src=w.webm srcset='x.png 1x, y.png 2x'></video>",
       {"s.css|s.css||1", "j.js|j.js||1", "a.html|a.html|A|2", "m.html|m.html|Map|2",
        "i.png|i.png|Pic one|2", "f.html|f.html||3", "e.swf|e.swf||3", "o.svg|o.svg||3",
        "s.ogg|s.ogg||3", "v.mp4|v.mp4||3", "w.webm|w.webm||3", "x.png|x.png||3",
        "y.png|y.png||3"}},
      {"character references decoded, written form kept",
       "<a href=\"a.html?x=1&amp;y=2\">T&eacute;st</a><a href='b&#46;html'>B</a>",
       {"a.html?x=1&amp;y=2|a.html?x=1&y=2|T\xC3\xA9st|1", "b&#46;html|b.html|B|1"}},
      {"references by the standard: numeric table, legacy names, no cut at &#0;",
       "<a href=\"a&#128;b&#x9F;c&#0;d&#xD800;e&#1114112;f&#65g&notit;h&AMP;i&copy=j&lt\">R</a>",
       {"a&#128;b&#x9F;c&#0;d&#xD800;e&#1114112;f&#65g&notit;h&AMP;i&copy=j&lt|a€bŸc\uFFFDd"
        "\uFFFDe\uFFFDfAg&notit;h&i&copy=j<|R|1"}},
      {"white space around the address and in the text",
       "<a href=\"  a b.html \n\">  Two\n\twords </a>",
       {"a b.html|a b.html|Two words|1"}},
      {"an image's alt stands for empty anchor text",
       "<a href=a.html><img src=i.png alt=Logo></a><a href=b.html>  </a>",
       {"a.html|a.html|Logo|1", "i.png|i.png|Logo|1", "b.html|b.html||1"}},
      {"srcset candidates with descriptors, commas in addresses",
       "<img srcset=\"a.png 1x,b,c.png 2x , d.png (max-width: 5px, x) 3x,e.png,\">",
       {"a.png|a.png||1", "b,c.png|b,c.png||1", "d.png|d.png||1", "e.png|e.png||1"}},
      {"unterminated tag and unquoted attributes",
       "<p><a href=x.html title=a>X</a><a href=\"y.html",
       {"x.html|x.html|X|1"}},
      {"unterminated quoted value to the end of the page", "<a href='z.html>Z</a>\n", {}},
      {"NUL bytes and invalid UTF-8 in a page declared UTF-8",
       std::string("<meta charset=utf-8><a href=\"n") + '\0' +
           ".html\">N\xFF\xFE</a>\n<a href=ok.html>\xC3 </a>",
       {std::string("n") + '\0' + ".html|n\xEF\xBF\xBD.html|N\xEF\xBF\xBD\xEF\xBF\xBD|1",
        "ok.html|ok.html|\xEF\xBF\xBD|2"}},
      {"a page declared Latin-1 is read as windows-1252",
       "<meta http-equiv=content-type content='text/html; CharSet=ISO-8859-1'>"
       "<a href=caf\xE9.html>\x93"
       "Caf\xE9\x94</a>",
       {"caf\xE9.html|caf\xC3\xA9.html|\xE2\x80\x9C"
        "Caf\xC3\xA9\xE2\x80\x9D|1"}},
      {"an undeclared page that is not UTF-8 is read as windows-1252",
       "<a href=a.html>na\xEFve \xC3\xA9</a>",
       {"a.html|a.html|na\xC3\xAFve \xC3\x83\xC2\xA9|1"}},
      {"a tag the scan cannot place keeps the page's bytes as its written form",
       std::string("<mb<a\">A</a.<img sraset=\" \xB1><a href=b\x90") + '\0' + "c>",
       {std::string("b\x90") + '\0' +
        "c|b\xC2\x90\xEF\xBF\xBD"
        "c||1"}},
      {"an undeclared page that is UTF-8 stays UTF-8",
       "<a href=a.html>\xC3\xA9</a>",
       {"a.html|a.html|\xC3\xA9|1"}},
      {"an <a> the parser reopens is still one link",
       "<a href=r.html><p>one</a>two</p>",
       {"r.html|r.html|one|1"}},
      {"no links in templates, scripts, styles, comments or text-only elements",
       "<template><a href=t.html>T</a></template><script>w('<a href=s.html>')</script>"
       "<style>a{b:url(<img src=i.png>)}</style><!-- <a href=c.html> --><title><a "
       "href=n.html></title><textarea><a href=x.html></textarea><iframe src=f.html><a "
       "href=g.html></iframe>",
       {"f.html|f.html||1"}},
      {"written form found past look-alikes: tags in values, case, repeats",
       "<li><li><a title=\"<a href=q>\" href=r.html>R</a>\n<A HREF = 'U&amp;.html' "
       "href=2.html>U</A>",
       {"r.html|r.html|R|1", "U&amp;.html|U&.html|U|2"}},
      {"lines counted across a multi-line tag",
       "\n\n<a\nhref=\n'l.html'>L</a>",
       {"l.html|l.html|L|5"}},
      {"the first base href, decoded; ids and a-names sorted, without repeats",
       "<head><base href=\"http://h/d/&amp;/\"><base href=ignored/></head><h1 id=top>T</h1>"
       "<a name=n1></a><p name=not-a-name id=p&#49;></p><div id=top></div><a href=#top>up</a>",
       {"#top|#top|up|1", "base=http://h/d/&/", "name=n1", "name=p1", "name=top"}},
      {"meta refresh addresses by the standard's steps",
       "<meta http-equiv=Refresh content=\"5; url=r1.html\"><meta http-equiv=refresh "
       "content=\"0;URL = 'r2.html?a=1&amp;b=2' x\"><meta http-equiv=refresh content=3>"
       "<meta http-equiv=refresh content=\"x; url=no.html\"><meta name=refresh "
       "content=\"0; url=no.html\">\n<meta http-equiv=refresh content=\"1,r3.html\">",
       {"r1.html|r1.html||1", "r2.html?a=1&amp;b=2|r2.html?a=1&b=2||1", "r3.html|r3.html||2"}},
      {"frames, tracks and SVG references (href before xlink:href)",
       "<frameset><frame src=f1.html><frame src=f2.html></frameset>"
       "<video><track src=t.vtt></video><svg><a xlink:href=s.html>S</a><use href=#i />"
       "<image xlink:href=p.png href=q.png /></svg><div href=not-a-link></div>",
       {"f1.html|f1.html||1", "f2.html|f2.html||1", "t.vtt|t.vtt||1", "s.html|s.html|S|1",
        "#i|#i||1", "q.png|q.png||1"}},
      {"tab, LF and CR removed inside an address, controls stripped around it",
       "<a href=\" \x01"
       "a\tb\nc\r.html \">A</a><a href=\"java\tscript:x()\">J</a>"
       "<base href=\"ht\ntp://h/\">",
       {"\x01"
        "a\tb\nc\r.html|abc.html|A|1",
        "java\tscript:x()|javascript:x()|J|3", "base=http://h/"}},
      {"html and body ids of tags the parser drops after an implied body",
       "<p>x</p><!-- <body id=no1> --><textarea><body id=no2></textarea><body id=b1 class=c>"
       "<html lang=en id=h1><body id=no3><html id=no4>",
       {"name=b1", "name=h1"}},
      {"a body's own id wins over a later one",
       "<body id=first><p>x</p><body id=second>",
       {"name=first"}},
      {"a 10 MB single line", big, Texts((10u << 20) / 32, "p.html#x|p.html#x|word|1")},
  };
  for (const auto& c : cases) EXPECT_EQ(Links(c.html), c.links) << c.name;
}

// Random pages built from pieces of markup, cut anywhere: the parser must
// not crash, and they stay sound. (tests/check/fuzz/run.sh fuzzes the same
// property with libFuzzer.)
TEST(PageParserTest, RandomMarkupNeverBreaksIt) {
  using namespace std::string_literals;
  std::vector<std::string> pieces;  // of markup, cut anywhere; '|' separates them
  std::istringstream all(
      "<a href=|\"|'|>|</a>|<img srcset=\"|,| 2x|&amp;|&#x26|&|\0|\xFF|\xC3|<base href=|<!--|-->|"
      "<table>|<template>|x.html|#f| |\n|\r|<script>|</script>|<![CDATA[|<svg><a href=s>|id=|<a "
      "name=|"
      "<meta http-equiv=refresh content='0;url=|<body id=|<html id=|<use xlink:href=|"
      "<meta charset=sjis>|<meta charset=koi8-r>|\x95|\x81"s);
  for (std::string piece; std::getline(all, piece, '|');) pieces.push_back(piece);
  std::mt19937 rng(12);
  for (int round = 0; round < 3000; ++round) {
    std::string html;
    for (int i = int(rng() % 60); i > 0; --i) html += pieces[rng() % pieces.size()];
    ASSERT_TRUE(Sound(html)) << html;
  }
}

}  // namespace

#ifdef LINKWARD_FUZZ
extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  if (!Sound(std::string(reinterpret_cast<const char*>(data), size))) __builtin_trap();
  return 0;
}
#endif

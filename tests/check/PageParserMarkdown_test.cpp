// Markdown pages: links and images with their lines and the bytes they are
// written with, HTML inside them, code that holds no links, and heading ids
// as GitHub makes them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "check/MarkdownPage.h"

using namespace linkward;

namespace {

using Texts = std::vector<std::string>;

Texts Read(const std::string& md) {
  const ParsedPage page = ParseMarkdown(md.data(), md.size());
  Texts out;
  for (const PageLink& l : page.links)
    out.push_back(l.written + "|" + l.url + "|" + l.text + "|" + std::to_string(l.line));
  for (const std::string& name : page.names) out.push_back("name=" + name);
  return out;
}

TEST(PageParserMarkdown, LinksImagesAndHeadingIds) {
  const struct {
    const char* name;
    std::string md;
    Texts read;
  } cases[] = {
      {"inline links and images, lines across LF, CR LF and CR",
       "Intro [one](a.md#x \"T\")\r\n![Logo *b*](i.png)\r[two](<b c.md>)\n",
       {"a.md#x|a.md#x|one|1", "i.png|i.png|Logo b|2", "b c.md|b c.md|two|3"}},
      {"escapes and references keep the page's bytes as written",
       "\n[a](x&amp;y.md) [b](a\\_b.md) [c][R]\n\n[r]: <d.md>\n",
       {"x&amp;y.md|x&y.md|a|2", "a\\_b.md|a_b.md|b|2", "d.md|d.md|c|4"}},
      {"autolinks",
       "<https://h/x> www.example.org me@example.com\n",
       {"https://h/x|https://h/x|https://h/x|1",
        "http://www.example.org|http://www.example.org|"
        "www.example.org|1",
        "mailto:me@example.com|mailto:me@example.com|me@example.com|1"}},
      {"no links in code", "`[a](no.md)`\n\n```\n[b](no.md)\n```\n\n    [c](no.md)\n", {}},
      {"HTML blocks and inline HTML: links, lines, names",
       "x <a href=\"r.html\">r</a>\n\n<div id=\"custom\">\n<img\nsrc=\"m.png\">\n</div>\n",
       {"r.html|r.html||1", "m.png|m.png||5", "name=custom"}},
      {"heading ids: case, punctuation, spaces, repeats, code and markup",
       "# Linkward Project\n## What's New?\n## Notes\n## Notes\nNotes\n---\n"
       "## `--full` &amp; <b>HTML</b>\n## Ünïcode — “Quotes”\n### notes-1\n",
       {"name=--full--html", "name=linkward-project", "name=notes", "name=notes-1",
        "name=notes-1-1", "name=notes-2", "name=whats-new", "name=ünïcode--quotes"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(c.md), c.read) << c.name;
}

}  // namespace

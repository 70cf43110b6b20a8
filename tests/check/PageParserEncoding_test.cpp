// Pages in the encodings the HTML standard names: found by BOM, an HTTP
// answer's charset, a prescan of the first kilobyte (only a meta tag declares) or an XML declaration,
// decoded with iconv; written forms stay the page's bytes (UTF-16: its text).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "check/PageEncoding.h"
#include "check/PageParser.h"

using namespace linkward;

namespace {

using Texts = std::vector<std::string>;

Texts Links(const std::string& html) {
  Texts out;
  for (const PageLink& l : ParsePage(html.data(), html.size()).links)
    out.push_back(l.written + "|" + l.url + "|" + l.text + "|" + std::to_string(l.line));
  return out;
}

// The page in UTF-16, with a byte order mark or without.
std::string Utf16(const std::u16string& text, bool bigEndian, bool bom) {
  std::string out;
  if (bom) out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? high : low;
    out += bigEndian ? low : high;
  }
  return out;
}

TEST(PageParserEncoding, DeclaredEncodingsAreDecoded) {
  const struct {
    const char* name;
    std::string html;
    Texts links;
  } cases[] = {
      {"windows-1251 by <meta charset>",
       "<meta charset=\"windows-1251\"><a href=\"\xF1\xF2\xF0\xE0\xED\xE8\xF6\xE0.html\">"
       "\xCF\xF0\xE8\xE2\xE5\xF2</a>",
       {"\xF1\xF2\xF0\xE0\xED\xE8\xF6\xE0.html|страница.html|Привет|1"}},
      {"Shift_JIS by a content type, a second byte that is ASCII",
       "<meta http-equiv=Content-Type content='text/html; charset=Shift_JIS'>\n"
       "<a href=\x95\x5C.html title=x>\x95\x5C\x8E\xA6</a>",
       {"\x95\x5C.html|表.html|表示|2"}},
      {"gb2312 is GBK; a meta in a comment is none",
       "<!-- <meta charset=koi8-r> --><title>t</title><meta charset=gb2312>"
       "<a href=\xD6\xD0\xCE\xC4.html>x</a>",
       {"\xD6\xD0\xCE\xC4.html|中文.html|x|1"}},
      {"EUC-KR",
       "<meta charset=euc-kr><a href=a.html>\xC7\xD1\xB1\xB9</a>",
       {"a.html|a.html|한국|1"}},
      {"KOI8-R by an XML declaration",
       "<?xml version='1.0' encoding='KOI8-R'?><a href=a.html>\xD0\xD2\xC9\xCD\xC5\xD2</a>",
       {"a.html|a.html|пример|1"}},
      {"charset= in a link's address declares nothing",
       "<a href=\"x.html?charset=koi8-r\">\xC3\xA9</a>",
       {"x.html?charset=koi8-r|x.html?charset=koi8-r|é|1"}},
      {"a content type without http-equiv declares nothing",
       "<meta content='text/html; charset=koi8-r'><a href=a.html>\xC3\xA9</a>",
       {"a.html|a.html|é|1"}},
      {"an unknown label declares nothing (not UTF-8: windows-1252)",
       "<meta charset=no-such><a href=a.html>\xE9</a>",
       {"a.html|a.html|é|1"}},
      {"UTF-16 declared in a page the prescan reads is UTF-8",
       "<meta charset=utf-16><a href=a.html>\xE9</a>",
       {"a.html|a.html|\xEF\xBF\xBD|1"}},
      {"UTF-16LE with a BOM",
       Utf16(u"<p>\r<a href=\"\u00E9.html\">\u4E2D</a>", false, true),
       {"é.html|é.html|中|2"}},
      {"UTF-16BE with a BOM",
       Utf16(u"<a href=b.html>\U0001F600</a>", true, true),
       {"b.html|b.html|\U0001F600|1"}},
      {"UTF-16 by its XML declaration, no BOM",
       Utf16(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<a href=c.html>C</a>", false, false),
       {"c.html|c.html|C|2"}},
      {"1,100 leading NUL bytes",
       std::string(1100, '\0') + "<a href=n.html>N</a>",
       {"n.html|n.html|N|1"}},
      {"the replacement encoding hides everything",
       "<meta charset=iso-2022-kr><a href=a.html>",
       {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Links(c.html), c.links) << c.name;

  // An HTTP answer's charset counts after a BOM and before the prescan.
  size_t bom = 0;
  const std::string meta = "<meta charset=koi8-r>", marked = "\xEF\xBB\xBF<p>";
  EXPECT_EQ(PageEncoding(meta.data(), meta.size(), &bom, "windows-1251"), "windows-1251");
  EXPECT_EQ(PageEncoding(marked.data(), marked.size(), &bom, "windows-1251"), "UTF-8");

  for (const auto& [label, encoding] :
       std::vector<std::pair<std::string, std::string>>{{" Latin1\t", "windows-1252"},
                                                        {"US-ASCII", "windows-1252"},
                                                        {"x-sjis", "Shift_JIS"},
                                                        {"iso-8859-9", "windows-1254"},
                                                        {"utf8", "UTF-8"},
                                                        {"utf-8x", ""}})
    EXPECT_EQ(EncodingOfLabel(label), encoding) << label;
}

}  // namespace

#include "check/PageParser.h"

#include <fcntl.h>
#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <mutex>
#include <string_view>

#include "check/MarkdownPage.h"
#include "check/PageEncoding.h"

namespace linkward {

namespace {

// HTML's white space, for trimming addresses and collapsing text.
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// The parser's own white space between attributes.
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' ||
         c == '-' || c == '_' || c == '.';
}

bool IsNameStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c == '.';
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Trim(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsSpace(text[begin])) ++begin;
  while (end > begin && IsSpace(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

// An address as a browser's URL parser reads it: leading and trailing
// controls and spaces stripped, every tab, LF and CR inside removed.
std::string CleanUrl(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 0x20) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 0x20) --end;
  std::string out;
  out.reserve(end - begin);
  for (size_t i = begin; i < end; ++i) {
    if (text[i] != '\t' && text[i] != '\n' && text[i] != '\r') out += text[i];
  }
  return out;
}

// The address of a <meta http-equiv=refresh> content value, by the HTML
// standard's refresh steps ("5; url='x.html'" gives x.html); false when the
// value names none (a plain reload, or no refresh at all).
bool RefreshUrl(std::string_view in, std::string* url) {
  size_t p = 0;
  const size_t n = in.size();
  auto skipSpace = [&] {
    while (p < n && IsSpace(in[p])) ++p;
  };
  auto digit = [&](size_t i) { return i < n && in[i] >= '0' && in[i] <= '9'; };
  skipSpace();
  if (!digit(p) && !(p < n && in[p] == '.')) return false;
  while (digit(p) || (p < n && in[p] == '.')) ++p;
  if (p >= n) return false;
  if (in[p] != ';' && in[p] != ',' && !IsSpace(in[p])) return false;
  skipSpace();
  if (p < n && (in[p] == ';' || in[p] == ',')) ++p;
  skipSpace();
  if (p >= n) return false;
  auto letter = [&](char c) {
    if (p < n && Lower(in[p]) == c) {
      ++p;
      return true;
    }
    return false;
  };
  if (letter('u') && letter('r') && letter('l')) {
    skipSpace();
    if (p < n && in[p] == '=') {
      ++p;
      skipSpace();
    }
  }
  char quote = 0;
  if (p < n && (in[p] == '\'' || in[p] == '"')) quote = in[p++];
  std::string_view rest = in.substr(p);
  if (quote) rest = rest.substr(0, rest.find(quote));
  *url = std::string(rest);
  return true;
}

// Collapses runs of white space to one space and trims both ends.
std::string Collapse(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool pendingSpace = false;
  for (char c : text) {
    if (IsSpace(c)) {
      pendingSpace = !out.empty();
    } else {
      if (pendingSpace) out += ' ';
      pendingSpace = false;
      out += c;
    }
  }
  return out;
}

// The length of the valid UTF-8 sequence at p (at most n bytes), or 0 when
// it is not one; *bad then gets the length of the maximal invalid part, which
// a browser reads as one U+FFFD.
size_t Utf8Length(const unsigned char* p, size_t n, size_t* bad) {
  unsigned char c = p[0];
  size_t need;
  unsigned char lo = 0x80, hi = 0xBF;  // the second byte's range
  if (c >= 0xC2 && c <= 0xDF) {
    need = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    need = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    need = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    *bad = 1;
    return 0;
  }
  size_t i = 1;
  for (; i < need && i < n; ++i) {
    unsigned char lower = i == 1 ? lo : 0x80, upper = i == 1 ? hi : 0xBF;
    if (p[i] < lower || p[i] > upper) break;
  }
  if (i == need) return need;
  *bad = i;
  return 0;
}

// Windows-1252's characters for the bytes 0x80 to 0x9F (the bytes from 0xA0
// on are their own code points).
constexpr uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Byte c (0x80 to 0xFF) of a windows-1252 page, as UTF-8.
void AppendWindows1252(unsigned char c, std::string* out) {
  const unsigned cp = c < 0xA0 ? kWindows1252High[c - 0x80] : c;
  if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
  } else {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  }
  *out += static_cast<char>(0x80 | (cp & 0x3F));
}

// The names a browser reads without their ';' (HTML's legacy references).
bool IsLegacyName(std::string_view name) {
  static const char* const kNames[] = {
      "AElig",  "AMP",    "Aacute", "Acirc",  "Agrave", "Aring",  "Atilde", "Auml",   "COPY",
      "Ccedil", "ETH",    "Eacute", "Ecirc",  "Egrave", "Euml",   "GT",     "Iacute", "Icirc",
      "Igrave", "Iuml",   "LT",     "Ntilde", "Oacute", "Ocirc",  "Ograve", "Oslash", "Otilde",
      "Ouml",   "QUOT",   "REG",    "THORN",  "Uacute", "Ucirc",  "Ugrave", "Uuml",   "Yacute",
      "aacute", "acirc",  "acute",  "aelig",  "agrave", "amp",    "aring",  "atilde", "auml",
      "brvbar", "ccedil", "cedil",  "cent",   "copy",   "curren", "deg",    "divide", "eacute",
      "ecirc",  "egrave", "eth",    "euml",   "frac12", "frac14", "frac34", "gt",     "iacute",
      "icirc",  "iexcl",  "igrave", "iquest", "iuml",   "laquo",  "lt",     "macr",   "micro",
      "middot", "nbsp",   "not",    "ntilde", "oacute", "ocirc",  "ograve", "ordf",   "ordm",
      "oslash", "otilde", "ouml",   "para",   "plusmn", "pound",  "quot",   "raquo",  "reg",
      "sect",   "shy",    "sup1",   "sup2",   "sup3",   "szlig",  "thorn",  "times",  "uacute",
      "ucirc",  "ugrave", "uml",    "uuml",   "yacute", "yen",    "yuml"};
  return std::any_of(std::begin(kNames), std::end(kNames),
                     [&](const char* n) { return name == n; });
}

// The character a named reference stands for, 0 when none (the parser's
// table; the upper-case legacy names as their lower-case ones).
uint32_t NamedReference(std::string_view name) {
  std::string key(name);
  if (key == "AMP" || key == "COPY" || key == "GT" || key == "LT" || key == "QUOT" || key == "REG")
    for (char& c : key) c = Lower(c);
  const htmlEntityDesc* desc = htmlEntityLookup(reinterpret_cast<const xmlChar*>(key.c_str()));
  return desc ? desc->value : 0;
}

// An attribute value with its character references decoded as the HTML
// standard says: numeric ones by its table (0, surrogates and values past
// U+10FFFF as U+FFFD, 0x80 to 0x9F as windows-1252), named ones without ';'
// only when legacy and not followed by '=' or a letter or digit.
std::string DecodeAttribute(std::string_view v) {
  auto alnum = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
  std::string out;
  out.reserve(v.size());
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] != '&') {
      out += v[i];
      continue;
    }
    size_t p = i + 1;
    if (p < v.size() && v[p] == '#') {
      const bool hex = p + 1 < v.size() && (v[p + 1] == 'x' || v[p + 1] == 'X');
      size_t d = p + (hex ? 2 : 1), e = d;
      uint64_t cp = 0;
      while (e < v.size() && (hex ? std::isxdigit(static_cast<unsigned char>(v[e]))
                                  : std::isdigit(static_cast<unsigned char>(v[e])))) {
        const int digit =
            std::isdigit(static_cast<unsigned char>(v[e])) ? v[e] - '0' : (Lower(v[e]) - 'a') + 10;
        cp = std::min<uint64_t>(cp * (hex ? 16 : 10) + static_cast<uint64_t>(digit), 0x110000);
        ++e;
      }
      if (e == d) {
        out += '&';
        continue;
      }
      if (cp >= 0x80 && cp <= 0x9F && kWindows1252High[cp - 0x80] > 0x9F) {
        cp = kWindows1252High[cp - 0x80];
      }
      AppendUtf8(static_cast<uint32_t>(cp), &out);
      i = e < v.size() && v[e] == ';' ? e : e - 1;
      continue;
    }
    size_t e = p;
    while (e < v.size() && alnum(v[e])) ++e;
    if (e < v.size() && v[e] == ';' && e > p) {
      if (const uint32_t cp = NamedReference(v.substr(p, e - p))) {
        AppendUtf8(cp, &out);
        i = e;
        continue;
      }
    }
    // The longest legacy name the run begins with.
    size_t len = std::min<size_t>(e - p, 6);
    while (len > 0 && !IsLegacyName(v.substr(p, len))) --len;
    const size_t after = p + len;
    if (len == 0 || (after < v.size() && (v[after] == '=' || alnum(v[after])))) {
      out += '&';
      continue;
    }
    AppendUtf8(NamedReference(v.substr(p, len)), &out);
    i = after - 1;
  }
  return out;
}

// The page as the parser reads it: valid UTF-8 without NUL bytes, with the
// way back to the page's own bytes. The encoding is the one the page
// declares (PageEncoding); a page read as UTF-8 has each NUL and each invalid
// sequence replaced by U+FFFD, as a browser decodes them; a page that
// declares nothing is read as UTF-8 when it is valid UTF-8, else as
// windows-1252, as browsers read such pages. A UTF-16 page has no bytes the
// results could show: its decoded text stands for them.
class PageText {
 public:
  PageText(const char* data, size_t length, const std::string& transport) : m_pRaw(data) {
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    size_t bom = 0;
    const std::string encoding = PageEncoding(data, length, &bom, transport);
    const bool utf8 = encoding.empty() || encoding == "UTF-8";
    m_bLatin = encoding == "windows-1252";
    // Plain ASCII reads the same in every encoding but UTF-16, ISO-2022-JP
    // and the replacement encoding.
    const bool asciiSame = utf8 || m_bLatin ||
                           (encoding.compare(0, 6, "UTF-16") != 0 && encoding != "ISO-2022-JP" &&
                            encoding != "replacement");
    size_t i = FirstUnusual(p, 0, length);
    // Valid UTF-8 without NUL bytes reads as itself: the page is its text.
    if ((i == length && asciiSame) || (utf8 && ValidUtf8(p, i, length))) {
      m_view = std::string_view(data, length);
      return;
    }
    if (!utf8 && !m_bLatin) {
      m_bRawIsText = encoding.compare(0, 6, "UTF-16") == 0;
      if (DecodeToUtf8(data + bom, length - bom, encoding, &m_text,
                       m_bRawIsText ? nullptr : &m_map)) {
        m_view = m_text;
        return;
      }
      m_bRawIsText = false;  // an encoding iconv lacks: read as an undeclared page
    }
    // An undeclared page is read as UTF-8 until an invalid sequence shows it
    // is not; then it is read again as windows-1252.
    if (!Mend(data, length, i, encoding.empty())) {
      m_bLatin = true;
      Mend(data, length, i, false);
    }
    m_view = m_text;
  }

  // Valid UTF-8 without NUL bytes; the page itself when it is so already.
  std::string_view Text() const { return m_view; }

  // The offset in the page of an offset in Text() that is not inside a
  // replaced sequence.
  size_t RawOffset(size_t offset) const {
    auto it = std::upper_bound(m_map.begin(), m_map.end(), std::make_pair(offset, SIZE_MAX));
    if (it == m_map.begin()) return offset;
    --it;
    return offset - it->first + it->second;
  }

  // How the page writes decoded text that stands between the offsets begin
  // and end of Text(): the page's own bytes when the text is found there,
  // else the text itself.
  std::string Written(const std::string& text, size_t begin, size_t end) const {
    const size_t at = m_view.substr(begin, end - begin).find(text);
    if (at == std::string_view::npos) return text;
    return std::string(Raw(begin + at, begin + at + text.size()));
  }

  std::string_view Raw(size_t begin, size_t end) const {
    if (m_bRawIsText) return m_view.substr(begin, end - begin);
    size_t b = RawOffset(begin);
    return std::string_view(m_pRaw + b, RawOffset(end) - b);
  }

 private:
  // Makes m_text and m_map from the page, whose first i bytes are plain
  // ASCII. False, with the work left unfinished, when stopAtInvalid is true
  // and an invalid UTF-8 sequence is met.
  bool Mend(const char* data, size_t length, size_t i, bool stopAtInvalid) {
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    m_text.clear();
    m_map.clear();
    m_text.reserve(length + length / 16);
    m_text.append(data, i);
    while (i < length) {
      size_t next = FirstUnusual(p, i, length);
      m_text.append(data + i, next - i);
      i = next;
      if (i == length) break;
      if (m_bLatin && p[i] != 0) {
        AppendWindows1252(p[i], &m_text);
        i += 1;
        m_map.emplace_back(m_text.size(), i);
        continue;
      }
      size_t bad = 1;
      size_t len = p[i] == 0 ? 0 : Utf8Length(p + i, length - i, &bad);
      if (len > 0) {
        m_text.append(data + i, len);
        i += len;
        continue;
      }
      if (stopAtInvalid && p[i] != 0) return false;
      m_text.append("\xEF\xBF\xBD");
      i += bad;
      m_map.emplace_back(m_text.size(), i);
    }
    return true;
  }

  // Whether the bytes from i on are valid UTF-8 without a NUL byte.
  static bool ValidUtf8(const unsigned char* p, size_t i, size_t n) {
    while ((i = FirstUnusual(p, i, n)) < n) {
      size_t bad = 1;
      const size_t len = p[i] == 0 ? 0 : Utf8Length(p + i, n - i, &bad);
      if (len == 0) return false;
      i += len;
    }
    return true;
  }

  // The first byte from i that is a NUL or not ASCII.
  static size_t FirstUnusual(const unsigned char* p, size_t i, size_t n) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    while (i + 8 <= n) {
      uint64_t w;
      std::memcpy(&w, p + i, 8);
      if (((w | ((w - kOnes) & ~w)) & kHighs) != 0) break;
      i += 8;
    }
    while (i < n && p[i] != 0 && p[i] < 0x80) ++i;
    return i;
  }

  const char* m_pRaw;
  std::string m_text;  // when the page needed mending
  std::string_view m_view;
  bool m_bLatin = false;      // read as windows-1252
  bool m_bRawIsText = false;  // UTF-16: the decoded text stands for the page's bytes
  // (end in text, end in page) of each replaced sequence
  std::vector<std::pair<size_t, size_t>> m_map;
};

// The elements that matter, and the attribute that holds each one's link.
enum class Tag : uint8_t { Other, A, Area, Link, Object, Img, Source, Src, Base, Meta };

// One attribute of a start tag as it stands in the page text.
struct AttrSpan {
  std::string name;  // lower case
  size_t nameBegin;
  size_t valueBegin;
  size_t valueEnd;
};

// Reads the page for the links and names, with libxml2's HTML parser in SAX
// mode: no tree is built, so memory stays within the page's own size.
class Extractor {
 public:
  Extractor(const PageText& page, bool namesOnly) : m_page(page), m_bNamesOnly(namesOnly) {}

  void Run(ParsedPage* page);

 private:
  struct Frame {
    int anchor = -1;       // index of the link whose text this <a> gathers
    int savedAnchor = -1;  // the enclosing <a>'s
    bool hides = false;    // its content is not part of the page
    bool svg = false;      // an <svg>: its elements link with href or xlink:href
  };

  static Extractor& Of(void* ctx) {
    return *static_cast<Extractor*>(static_cast<htmlParserCtxtPtr>(ctx)->_private);
  }
  size_t Pos() const {
    const xmlParserInputPtr in = m_pCtxt->input;
    return std::min(static_cast<size_t>(in->consumed) + static_cast<size_t>(in->cur - in->base),
                    m_page.Text().size());
  }
  char At(size_t pos) const { return pos < m_page.Text().size() ? m_page.Text()[pos] : '\0'; }

  void StartElement(const char* name, const char** atts);
  void Collect(Tag tag, const char* name, const char** atts, Frame* frame);
  void EndElement();
  void Characters(const char* text, int length);
  void Misplaced(const char* name);
  bool EndsTag(size_t pos, const char* name) const;
  size_t ScanName(size_t pos) const;
  size_t ScanTag(size_t start, std::vector<AttrSpan>* spans) const;
  bool LocateTag(const char* name, size_t end);
  void Written(const char* attr, size_t tagEnd, PageLink* link);
  const AttrSpan* FindSpan(const char* name) const;
  std::string Value(const char* attr, const char* parsed) const;
  int LineAt(size_t pos);
  void AddLink(const char* attr, const char* value, std::string text, size_t tagEnd);
  void AddSrcset(const char* value, std::string text, size_t tagEnd);
  void AddRefresh(const char* content, size_t tagEnd);

  const PageText& m_page;
  bool m_bNamesOnly;
  htmlParserCtxtPtr m_pCtxt = nullptr;
  std::vector<PageLink> m_links;
  std::vector<std::string> m_names;
  std::string m_base;
  bool m_bHaveBase = false;
  std::vector<Frame> m_stack;
  int m_nHidden = 0;       // open elements whose content a browser does not read as markup
  int m_nSvg = 0;          // open <svg> elements
  bool m_bHtmlId = false;  // the <html> element has its id
  bool m_bBodyId = false;  // the <body> element has its id
  int m_nAnchor = -1;      // the innermost open <a> with a link
  std::string m_anchorText;
  std::string m_anchorAlt;
  size_t m_nLastPos = 0;          // no tag of interest starts before this
  std::vector<AttrSpan> m_spans;  // of the tag at hand
  bool m_bLocated = false;        // m_spans are the tag at hand's
  size_t m_nLinePos = 0;          // LineAt's memory: line m_nLine starts at or before m_nLinePos
  int m_nLine = 1;
  bool m_bHasCR = false;  // the page holds a CR: lines are counted byte by byte
};

// Lines end at LF, CR LF or a lone CR (old Mac pages), each counted once.
int Extractor::LineAt(size_t pos) {
  std::string_view t = m_page.Text();
  if (pos < m_nLinePos) {
    m_nLinePos = 0;
    m_nLine = 1;
  }
  const char* p = t.data() + m_nLinePos;
  const char* end = t.data() + pos;
  if (m_bHasCR) {
    const char* last = t.data() + t.size();
    for (; p < end; ++p) {
      if (*p == '\n' || (*p == '\r' && (p + 1 == last || p[1] != '\n'))) ++m_nLine;
    }
  }
  while (p < end) {
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    if (!nl) break;
    ++m_nLine;
    p = nl + 1;
  }
  m_nLinePos = pos;
  return m_nLine;
}

// Mirrors the parser's reading of names: a letter, '_', ':' or '.', then
// letters, digits and ":-_.", at most 100 characters.
size_t Extractor::ScanName(size_t pos) const {
  std::string_view t = m_page.Text();
  if (pos >= t.size() || !IsNameStart(t[pos])) return pos;
  size_t end = pos;
  while (end < t.size() && end - pos < 100 && IsNameChar(t[end])) ++end;
  return end;
}

// Mirrors the parser's reading of a start tag from its '<'; returns where
// the parser stops (at '>', "/>" or the end of the page).
size_t Extractor::ScanTag(size_t start, std::vector<AttrSpan>* spans) const {
  std::string_view t = m_page.Text();
  const size_t n = t.size();
  size_t p = ScanName(start + 1);
  spans->clear();
  for (;;) {
    while (p < n && IsBlank(t[p])) ++p;
    if (p >= n || t[p] == '>' || (t[p] == '/' && At(p + 1) == '>')) return p;
    size_t nameEnd = ScanName(p);
    if (nameEnd == p) {
      // Not an attribute: the parser skips up to white space or the tag's end.
      while (p < n && !IsBlank(t[p]) && t[p] != '>' && !(t[p] == '/' && At(p + 1) == '>')) ++p;
      continue;
    }
    AttrSpan span;
    span.name.resize(nameEnd - p);
    for (size_t i = p; i < nameEnd; ++i) span.name[i - p] = Lower(t[i]);
    span.nameBegin = p;
    p = nameEnd;
    while (p < n && IsBlank(t[p])) ++p;
    span.valueBegin = span.valueEnd = p;
    if (p < n && t[p] == '=') {
      ++p;
      while (p < n && IsBlank(t[p])) ++p;
      if (p < n && (t[p] == '"' || t[p] == '\'')) {
        size_t close = t.find(t[p], p + 1);
        span.valueBegin = p + 1;
        span.valueEnd = close == std::string_view::npos ? n : close;
        p = close == std::string_view::npos ? n : close + 1;
      } else {
        span.valueBegin = p;
        while (p < n && !IsBlank(t[p]) && t[p] != '>') ++p;
        span.valueEnd = p;
      }
    }
    spans->push_back(std::move(span));
  }
}

// Whether the bytes before pos close a start tag of that name with no
// attributes ("<name", white space).
bool Extractor::EndsTag(size_t pos, const char* name) const {
  std::string_view t = m_page.Text();
  size_t p = pos;
  while (p > 0 && IsBlank(t[p - 1])) --p;
  size_t len = std::strlen(name);
  if (p < len + 1) return false;
  p -= len;
  for (size_t i = 0; i < len; ++i) {
    if (Lower(t[p + i]) != name[i]) return false;
  }
  return t[p - 1] == '<';
}

// Finds the start tag the parser has just read (it stopped at end) and the
// attributes in it. The tag starts after everything reported before it; in
// between there may be tags the parser passed over without a report.
bool Extractor::LocateTag(const char* name, size_t end) {
  std::string_view t = m_page.Text();
  size_t len = std::strlen(name);
  size_t p = m_nLastPos;
  while (p < end) {
    size_t lt = t.find('<', p);
    if (lt == std::string_view::npos || lt >= end) break;
    size_t nameEnd = ScanName(lt + 1);
    if (nameEnd == lt + 1) {
      p = lt + 1;
      continue;
    }
    size_t tagEnd = ScanTag(lt, &m_spans);
    if (tagEnd == end) {
      bool same = nameEnd - lt - 1 == len;
      for (size_t i = 0; same && i < len; ++i) same = Lower(t[lt + 1 + i]) == name[i];
      if (same) return true;
    }
    p = tagEnd > lt ? tagEnd : lt + 1;
  }
  m_spans.clear();
  return false;
}

const AttrSpan* Extractor::FindSpan(const char* name) const {
  for (const AttrSpan& span : m_spans) {
    if (span.name == name) return &span;
  }
  return nullptr;
}

// The attribute's value as written, and its line. Should the tag not be
// found in the page text, the page's bytes of the decoded value stand for the
// written one (the decoded value itself when it holds character references).
void Extractor::Written(const char* attr, size_t tagEnd, PageLink* link) {
  const AttrSpan* span = m_bLocated ? FindSpan(attr) : nullptr;
  if (!span) {
    link->written =
        m_page.Written(link->url, m_nLastPos, std::min(tagEnd + 1, m_page.Text().size()));
    link->line = LineAt(tagEnd);
    return;
  }
  link->written = Trim(m_page.Raw(span->valueBegin, span->valueEnd));
  link->line = LineAt(span->valueEnd > span->valueBegin ? span->valueBegin : span->nameBegin);
}

// The attribute's value as a browser decodes it: the parser's, unless the
// attribute is found in the page and holds a reference.
std::string Extractor::Value(const char* attr, const char* parsed) const {
  const AttrSpan* span = m_bLocated ? FindSpan(attr) : nullptr;
  if (!span) return parsed;
  const std::string_view raw =
      m_page.Text().substr(span->valueBegin, span->valueEnd - span->valueBegin);
  return raw.find('&') == std::string_view::npos ? std::string(parsed) : DecodeAttribute(raw);
}

void Extractor::AddLink(const char* attr, const char* value, std::string text, size_t tagEnd) {
  PageLink link;
  link.url = CleanUrl(Value(attr, value));
  link.text = std::move(text);
  Written(attr, tagEnd, &link);
  m_links.push_back(std::move(link));
}

void Extractor::AddSrcset(const char* value, std::string text, size_t tagEnd) {
  PageLink whole;
  whole.url = Value("srcset", value);
  Written("srcset", tagEnd, &whole);
  std::vector<std::string> urls = SrcsetAddresses(whole.url);
  std::vector<std::string> written = SrcsetAddresses(whole.written);
  // A character reference that stands for a comma or a space can split the
  // two differently; then each decoded address is looked up in the page.
  // An address not in the page as it is (a reference inside it) keeps the
  // candidate of the same place as written, or the whole value.
  if (written.size() != urls.size()) {
    std::vector<std::string> split = std::move(written);
    written.clear();
    const size_t end = std::min(tagEnd + 1, m_page.Text().size());
    const std::string_view tag = m_page.Text().substr(m_nLastPos, end - m_nLastPos);
    for (size_t i = 0; i < urls.size(); ++i) {
      if (tag.find(urls[i]) != std::string_view::npos) {
        written.push_back(m_page.Written(urls[i], m_nLastPos, end));
      } else {
        written.push_back(i < split.size() ? split[i] : whole.written);
      }
    }
  }
  for (size_t i = 0; i < urls.size(); ++i) {
    PageLink link;
    link.written = std::move(written[i]);
    link.url = std::move(urls[i]);
    link.text = text;
    link.line = whole.line;
    m_links.push_back(std::move(link));
  }
}

void Extractor::AddRefresh(const char* content, size_t tagEnd) {
  PageLink link;
  if (!RefreshUrl(Value("content", content), &link.url)) return;
  link.url = CleanUrl(link.url);
  if (link.url.empty()) return;
  Written("content", tagEnd, &link);
  // The address as written: the same steps over the value's own bytes (the
  // whole value when character references hide its parts from them).
  std::string written;
  if (RefreshUrl(link.written, &written)) link.written = Trim(written);
  m_links.push_back(std::move(link));
}

Tag TagOf(const char* name) {
  struct Entry {
    const char* name;
    Tag tag;
  };
  static const Entry kTags[] = {
      {"a", Tag::A},       {"area", Tag::Area},     {"link", Tag::Link},  {"object", Tag::Object},
      {"img", Tag::Img},   {"source", Tag::Source}, {"script", Tag::Src}, {"iframe", Tag::Src},
      {"embed", Tag::Src}, {"audio", Tag::Src},     {"video", Tag::Src},  {"base", Tag::Base},
      {"frame", Tag::Src}, {"track", Tag::Src},     {"meta", Tag::Meta}};
  for (const Entry& e : kTags) {
    if (e.name[0] == name[0] && std::strcmp(e.name, name) == 0) return e.tag;
  }
  return Tag::Other;
}

// A <template>'s content is kept apart from the page; a browser reads what
// these others hold as text (or not at all), so tags in them are no links.
bool HidesContent(const char* name) {
  static const char* const kNames[] = {"template", "title",   "textarea", "xmp",
                                       "iframe",   "noembed", "noframes", "plaintext"};
  for (const char* n : kNames) {
    if (n[0] == name[0] && std::strcmp(n, name) == 0) return true;
  }
  return false;
}

void Extractor::StartElement(const char* name, const char** atts) {
  m_stack.emplace_back();
  Frame& frame = m_stack.back();
  Tag tag = TagOf(name);
  size_t pos = Pos();
  bool closed = At(pos) == '>' || (At(pos) == '/' && At(pos + 1) == '>');
  bool hidden = m_nHidden > 0;
  if (HidesContent(name)) {
    frame.hides = true;
    ++m_nHidden;
  }
  if (name[0] == 's' && std::strcmp(name, "svg") == 0) {
    frame.svg = true;
    ++m_nSvg;
  }
  if (!atts) {
    // A tag without attributes, or one the parser implied: only a tag of
    // the page moves the mark.
    if (closed && EndsTag(pos, name)) m_nLastPos = pos;
    return;
  }
  m_bLocated = false;
  // A tag cut off by the end of the page is dropped, as a browser drops it,
  // and so is one inside an element that hides its content.
  if (!closed || hidden) {
    m_nLastPos = pos;
    return;
  }
  Collect(tag, name, atts, &frame);
  m_nLastPos = pos;
}

void Extractor::Collect(Tag tag, const char* name, const char** atts, Frame* frame) {
  size_t pos = Pos();

  auto get = [&](const char* attr) -> const char* {
    for (const char** a = atts; a[0]; a += 2) {
      if (std::strcmp(a[0], attr) == 0) return a[1] ? a[1] : "";
    }
    return nullptr;
  };
  for (const char** a = atts; a[0]; a += 2) {
    if (a[1] && a[1][0] &&
        (std::strcmp(a[0], "id") == 0 || (tag == Tag::A && std::strcmp(a[0], "name") == 0)))
      m_names.emplace_back(a[1]);
  }
  const bool isHtml = std::strcmp(name, "html") == 0;
  if ((isHtml || std::strcmp(name, "body") == 0) && get("id"))
    (isHtml ? m_bHtmlId : m_bBodyId) = true;
  const char* value = nullptr;
  if (tag == Tag::Base) {
    if (!m_bHaveBase && (value = get("href")) != nullptr) {
      m_base = CleanUrl(value);
      m_bHaveBase = true;
    }
    return;
  }
  if (m_bNamesOnly) return;
  if (tag == Tag::Meta) {
    const char* equiv = get("http-equiv");
    const char* content = get("content");
    std::string kind = equiv ? Trim(equiv) : std::string();
    for (char& c : kind) c = Lower(c);
    if (content && kind == "refresh") {
      m_bLocated = LocateTag(name, pos);
      AddRefresh(content, pos);
    }
    return;
  }
  // In an SVG image every element links with href, or else xlink:href.
  const bool inSvg = m_nSvg > 0 && (tag == Tag::Other || tag == Tag::A);
  if (tag == Tag::Other && !inSvg) return;

  const char* linkAttr = "src";
  if (tag == Tag::A || tag == Tag::Area || tag == Tag::Link || inSvg) linkAttr = "href";
  if (inSvg && !get("href")) linkAttr = "xlink:href";
  if (tag == Tag::Object) linkAttr = "data";
  std::string text;
  if (tag == Tag::Area || tag == Tag::Img) {
    if (const char* alt = get("alt")) text = Collapse(alt);
    if (tag == Tag::Img && m_nAnchor >= 0 && !text.empty())
      m_anchorAlt += (m_anchorAlt.empty() ? "" : " ") + text;
  }
  const char* srcset = tag == Tag::Img || tag == Tag::Source ? get("srcset") : nullptr;
  value = get(linkAttr);
  if (!value && !srcset) return;
  m_bLocated = LocateTag(name, pos);
  if (value && tag == Tag::A) {
    frame->anchor = static_cast<int>(m_links.size());
    frame->savedAnchor = m_nAnchor;
    m_nAnchor = frame->anchor;
    m_anchorText.clear();
    m_anchorAlt.clear();
    AddLink(linkAttr, value, std::string(), pos);
  } else if (value) {
    AddLink(linkAttr, value, text, pos);
  }
  if (srcset) AddSrcset(srcset, text, pos);
}

void Extractor::EndElement() {
  size_t pos = Pos();
  // An element the parser closes on its own while it reads the next tag's
  // name leaves the position inside that tag.
  if (pos > 0 && At(pos - 1) == '>') m_nLastPos = std::max(m_nLastPos, pos);
  if (m_stack.empty()) return;
  Frame frame = m_stack.back();
  m_stack.pop_back();
  if (frame.hides) --m_nHidden;
  if (frame.svg) --m_nSvg;
  if (frame.anchor >= 0) {
    std::string text = Collapse(m_anchorText);
    m_links[static_cast<size_t>(frame.anchor)].text = text.empty() ? m_anchorAlt : std::move(text);
    m_nAnchor = frame.savedAnchor;
    m_anchorText.clear();
    m_anchorAlt.clear();
  }
}

// A second <html> or <body> tag, which the parser drops: a browser adds its
// attributes to the element when it does not have them yet, so its id is a
// place a link can point at.
void Extractor::Misplaced(const char* name) {
  bool& has = name[0] == 'h' ? m_bHtmlId : m_bBodyId;
  const size_t pos = Pos();
  const size_t lt = m_page.Text().rfind('<', pos);
  if (has || m_nHidden > 0 || lt == std::string_view::npos || pos - lt != std::strlen(name) + 1)
    return;
  std::vector<AttrSpan> spans;
  const size_t end = ScanTag(lt, &spans);
  if (At(end) != '>' && At(end) != '/') return;  // cut off by the end of the page
  for (const AttrSpan& span : spans) {
    if (span.name != "id") continue;
    if (span.valueEnd > span.valueBegin) {
      m_names.emplace_back(m_page.Text().substr(span.valueBegin, span.valueEnd - span.valueBegin));
      has = true;
    }
    break;
  }
}

void Extractor::Characters(const char* text, int length) {
  m_nLastPos = std::max(m_nLastPos, Pos());
  if (m_nAnchor >= 0 && m_nHidden == 0) m_anchorText.append(text, static_cast<size_t>(length));
}

// A parser context for each thread, reset between pages: making one costs
// about as much as parsing a small page. It is made anew once its names
// dictionary has grown large, so memory stays flat over a site.
htmlParserCtxtPtr ThreadContext() {
  struct Holder {
    htmlParserCtxtPtr ctxt = nullptr;
    ~Holder() {
      if (ctxt) htmlFreeParserCtxt(ctxt);
    }
  };
  thread_local Holder holder;
  if (holder.ctxt && xmlDictSize(holder.ctxt->dict) > 4096) {
    htmlFreeParserCtxt(holder.ctxt);
    holder.ctxt = nullptr;
  }
  if (!holder.ctxt) {
    holder.ctxt = htmlNewParserCtxt();
  } else {
    htmlCtxtReset(holder.ctxt);
  }
  return holder.ctxt;
}

void Extractor::Run(ParsedPage* page) {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
  std::string_view text = m_page.Text();
  m_bHasCR = std::memchr(text.data(), '\r', text.size()) != nullptr;
  // The parser takes an int's worth of bytes; a larger page is read that far.
  int length = static_cast<int>(std::min<size_t>(text.size(), INT_MAX));
  // The parser reads the text in pieces, as it reads a file, and lets go of
  // what it has read: a copy of the whole page would double its memory (and
  // in libxml2 2.9 a buffer over the caller's memory loses its place when the
  // parser moves past consumed input).
  m_pCtxt = ThreadContext();
  if (!m_pCtxt) return;
  struct Feed {
    const char* data;
    size_t left;
  } feed{text.data(), static_cast<size_t>(length)};
  xmlParserInputBufferPtr buffer = xmlParserInputBufferCreateIO(
      [](void* ctx, char* out, int len) {
        Feed& f = *static_cast<Feed*>(ctx);
        const size_t n = std::min(f.left, static_cast<size_t>(std::max(len, 0)));
        std::memcpy(out, f.data, n);
        f.data += n;
        f.left -= n;
        return static_cast<int>(n);
      },
      nullptr, &feed, XML_CHAR_ENCODING_NONE);
  xmlParserInputPtr input =
      buffer ? xmlNewIOInputStream(m_pCtxt, buffer, XML_CHAR_ENCODING_NONE) : nullptr;
  if (!input) {
    if (buffer) xmlFreeParserInputBuffer(buffer);
    return;
  }
  inputPush(m_pCtxt, input);
  // The first piece is read now, so a byte order mark is seen when the
  // encoding is set below.
  xmlParserInputGrow(input, INPUT_CHUNK);
  htmlSAXHandler sax;
  std::memset(&sax, 0, sizeof sax);
  sax.initialized = 1;
  sax.startElement = [](void* ctx, const xmlChar* name, const xmlChar** atts) {
    Of(ctx).StartElement(reinterpret_cast<const char*>(name), reinterpret_cast<const char**>(atts));
  };
  sax.endElement = [](void* ctx, const xmlChar*) { Of(ctx).EndElement(); };
  sax.characters = [](void* ctx, const xmlChar* ch, int len) {
    Of(ctx).Characters(reinterpret_cast<const char*>(ch), len);
  };
  sax.ignorableWhitespace = sax.characters;
  // Script and style contents: not text of the page's links.
  sax.cdataBlock = [](void* ctx, const xmlChar*, int) {
    Extractor& e = Of(ctx);
    e.m_nLastPos = std::max(e.m_nLastPos, e.Pos());
  };
  sax.comment = [](void* ctx, const xmlChar*) {
    Extractor& e = Of(ctx);
    e.m_nLastPos = std::max(e.m_nLastPos, e.Pos());
  };
  sax.processingInstruction = [](void* ctx, const xmlChar*, const xmlChar*) {
    Extractor& e = Of(ctx);
    e.m_nLastPos = std::max(e.m_nLastPos, e.Pos());
  };
  // The parser tells of a tag it drops only by an error: a structured error
  // handler hears of them (the SAX2 mark makes the parser call it).
  sax.initialized = XML_SAX2_MAGIC;
  sax.serror = [](void* ctx, xmlErrorPtr error) {
    if (!ctx || !error || error->code != XML_HTML_STRUCURE_ERROR || !error->str1 ||
        !error->message || !std::strstr(error->message, "misplaced"))
      return;
    const char* name = reinterpret_cast<const char*>(error->str1);
    if (std::strcmp(name, "body") == 0 || std::strcmp(name, "html") == 0) Of(ctx).Misplaced(name);
  };
  *m_pCtxt->sax = sax;
  m_pCtxt->_private = this;
  xmlSwitchEncoding(m_pCtxt, XML_CHAR_ENCODING_UTF8);
  // The page is read as UTF-8 whatever it declares (PageText made it so).
  htmlCtxtUseOptions(m_pCtxt, HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                  HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC | HTML_PARSE_NODEFDTD);
  htmlParseDocument(m_pCtxt);
  // The page's copy goes now, not when the next page comes.
  while (xmlParserInputPtr done = inputPop(m_pCtxt)) xmlFreeInputStream(done);
  m_pCtxt->_private = nullptr;
  m_pCtxt = nullptr;

  page->links = std::move(m_links);
  std::sort(m_names.begin(), m_names.end());
  m_names.erase(std::unique(m_names.begin(), m_names.end()), m_names.end());
  page->names = std::move(m_names);
  page->base = std::move(m_base);
}

}  // namespace

bool ParsedPage::HasName(const std::string& name) const {
  return std::binary_search(names.begin(), names.end(), name);
}

std::vector<std::string> SrcsetAddresses(const std::string& srcset) {
  std::vector<std::string> out;
  size_t pos = 0;
  const size_t n = srcset.size();
  while (pos < n) {
    while (pos < n && (IsSpace(srcset[pos]) || srcset[pos] == ',')) ++pos;
    if (pos >= n) break;
    size_t start = pos;
    while (pos < n && !IsSpace(srcset[pos])) ++pos;
    std::string url = srcset.substr(start, pos - start);
    if (!url.empty() && url.back() == ',') {
      while (!url.empty() && url.back() == ',') url.pop_back();
    } else {
      int depth = 0;
      while (pos < n && (srcset[pos] != ',' || depth > 0)) {
        if (srcset[pos] == '(') ++depth;
        if (srcset[pos] == ')' && depth > 0) --depth;
        ++pos;
      }
    }
    if (!url.empty()) out.push_back(std::move(url));
  }
  return out;
}

ParsedPage ParsePage(const char* data, size_t length, bool namesOnly, const std::string& encoding) {
  PageText text(data, length, encoding);
  ParsedPage page;
  Extractor(text, namesOnly).Run(&page);
  return page;
}

FileKind FileKindOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= nameStart) return FileKind::ByContent;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = Lower(c);
  static const char* const kHtml[] = {"html",  "htm",  "xhtml", "xht",
                                      "shtml", "shtm", "asp",   "aspx"};
  for (const char* e : kHtml) {
    if (ext == e) return FileKind::Html;
  }
  if (ext == "md" || ext == "markdown") return FileKind::Markdown;
  return FileKind::Other;
}

bool LooksLikeHtml(const char* data, size_t length) {
  std::string head(data, std::min<size_t>(length, 1024));
  // A UTF-16 page is looked at through its low bytes.
  if (head.size() >= 2 &&
      (head.compare(0, 2, "\xFF\xFE") == 0 || head.compare(0, 2, "\xFE\xFF") == 0)) {
    const size_t low = head[0] == '\xFF' ? 2 : 3;
    std::string narrow;
    for (size_t i = low; i < head.size(); i += 2) narrow += head[i];
    head = std::move(narrow);
  } else if (head.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    head.erase(0, 3);
  }
  for (char& c : head) c = Lower(c);
  size_t i = 0;
  for (;;) {
    while (i < head.size() && IsSpace(head[i])) ++i;
    if (head.compare(i, 4, "<!--") == 0) {
      i = head.find("-->", i + 4);
    } else if (head.compare(i, 2, "<?") == 0) {
      i = head.find('>', i + 2);
    } else {
      break;
    }
    if (i == std::string::npos) return false;
    i += head[i] == '>' ? 1 : 3;
  }
  for (const char* tag : {"<!doctype html", "<html", "<head", "<body"}) {
    const size_t n = std::strlen(tag);
    if (head.compare(i, n, tag) == 0 &&
        (i + n == head.size() || IsSpace(head[i + n]) || head[i + n] == '>' || head[i + n] == '/'))
      return true;
  }
  return false;
}

bool ParsePageFile(const std::string& path, ParsedPage* page, bool namesOnly) {
  const FileKind kind = FileKindOf(path);
  *page = ParsedPage();
  if (kind == FileKind::Other) {
    page->isPage = false;
    return true;
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  const auto size = static_cast<size_t>(st.st_size);
  // A file told by its content is read past its first kilobyte only when
  // that shows a page.
  size_t want = kind == FileKind::ByContent ? std::min<size_t>(size, 1024) : size;
  std::string data(want, '\0');
  size_t got = 0;
  for (bool sniffed = false;;) {
    while (got < want) {
      ssize_t n = ::read(fd, data.data() + got, want - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    if (sniffed || kind != FileKind::ByContent) break;
    sniffed = true;
    if (!LooksLikeHtml(data.data(), got)) {
      ::close(fd);
      page->isPage = false;
      return true;
    }
    want = size;
    data.resize(size);
  }
  ::close(fd);
  data.resize(got);
  *page = kind == FileKind::Markdown ? ParseMarkdown(data.data(), data.size(), namesOnly)
                                     : ParsePage(data.data(), data.size(), namesOnly);
  // The page's bytes go first; then the list of links gives back its spare
  // room (up to the size of the list itself).
  std::string().swap(data);
  page->links.shrink_to_fit();
  return true;
}

}  // namespace linkward

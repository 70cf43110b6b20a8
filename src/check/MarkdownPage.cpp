#include "check/MarkdownPage.h"

#include <libxml/HTMLparser.h>
#include <locale.h>
#include <md4c.h>
#include <wctype.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "check/PageEncoding.h"

namespace linkward {

namespace {

// A character reference ("&amp;", "&#233;", "&#xE9;") as UTF-8; as written
// when it is one the HTML parser's table does not know.
void AppendEntity(std::string_view entity, std::string* out) {
  if (entity.size() >= 4 && entity[1] == '#') {
    const bool hex = entity[2] == 'x' || entity[2] == 'X';
    const std::string digits(entity.substr(hex ? 3 : 2, entity.size() - (hex ? 4 : 3)));
    AppendUtf8(static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10)), out);
    return;
  }
  const std::string name(entity.substr(1, entity.size() >= 2 ? entity.size() - 2 : 0));
  const htmlEntityDesc* desc = htmlEntityLookup(reinterpret_cast<const xmlChar*>(name.c_str()));
  if (desc) {
    AppendUtf8(desc->value, out);
  } else {
    out->append(entity);
  }
}

std::string Collapse(std::string_view text) {
  std::string out;
  bool pendingSpace = false;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
      pendingSpace = !out.empty();
    } else {
      if (pendingSpace) out += ' ';
      pendingSpace = false;
      out += c;
    }
  }
  return out;
}

class MarkdownReader {
 public:
  MarkdownReader(const char* data, size_t length, bool namesOnly)
      : m_pData(data), m_nLength(length), m_bNamesOnly(namesOnly) {}

  ParsedPage Run() {
    MD_PARSER parser;
    std::memset(&parser, 0, sizeof parser);
    parser.flags = MD_DIALECT_GITHUB;
    parser.enter_block = [](MD_BLOCKTYPE type, void* detail, void* self) {
      return static_cast<MarkdownReader*>(self)->EnterBlock(type, detail);
    };
    parser.leave_block = [](MD_BLOCKTYPE type, void*, void* self) {
      return static_cast<MarkdownReader*>(self)->LeaveBlock(type);
    };
    parser.enter_span = [](MD_SPANTYPE type, void* detail, void* self) {
      return static_cast<MarkdownReader*>(self)->EnterSpan(type, detail);
    };
    parser.leave_span = [](MD_SPANTYPE type, void*, void* self) {
      return static_cast<MarkdownReader*>(self)->LeaveSpan(type);
    };
    parser.text = [](MD_TEXTTYPE type, const MD_CHAR* text, MD_SIZE size, void* self) {
      return static_cast<MarkdownReader*>(self)->Text(type, text, size);
    };
    // md4c takes an unsigned's worth of bytes.
    const auto size = static_cast<MD_SIZE>(std::min<size_t>(m_nLength, UINT32_MAX));
    md_parse(m_pData, size, &parser, this);
    std::sort(m_page.names.begin(), m_page.names.end());
    m_page.names.erase(std::unique(m_page.names.begin(), m_page.names.end()), m_page.names.end());
    return std::move(m_page);
  }

 private:
  bool InPage(const char* p) const { return p >= m_pData && p <= m_pData + m_nLength; }

  int LineAt(size_t pos) {
    if (pos < m_nLinePos) {
      m_nLinePos = 0;
      m_nLine = 1;
    }
    for (size_t i = m_nLinePos; i < pos && i < m_nLength; ++i) {
      const char c = m_pData[i];
      if (c == '\n' || (c == '\r' && (i + 1 == m_nLength || m_pData[i + 1] != '\n'))) ++m_nLine;
    }
    m_nLinePos = pos;
    return m_nLine;
  }

  // The HTML between begin and end of the page: its links and names.
  void ReadHtml(size_t begin, size_t end) {
    if (end <= begin) return;
    ParsedPage html = ParsePage(m_pData + begin, end - begin, m_bNamesOnly);
    const int first = LineAt(begin);
    for (PageLink& link : html.links) {
      link.line += first - 1;
      m_page.links.push_back(std::move(link));
    }
    m_page.names.insert(m_page.names.end(), html.names.begin(), html.names.end());
  }

  int EnterBlock(MD_BLOCKTYPE type, void*) {
    if (type == MD_BLOCK_H) {
      m_bHeading = true;
      m_heading.clear();
    } else if (type == MD_BLOCK_HTML) {
      m_bHtmlBlock = true;
      m_nHtmlBegin = m_nHtmlEnd = 0;
    }
    return 0;
  }

  int LeaveBlock(MD_BLOCKTYPE type) {
    if (type == MD_BLOCK_H) {
      m_bHeading = false;
      // Repeats get "-1", "-2"... (and an id so made is taken too).
      const std::string id = GithubHeadingId(m_heading);
      std::string name = id;
      while (m_slugs.count(name) != 0) name = id + "-" + std::to_string(++m_slugs[id]);
      m_slugs[name] = 0;
      m_page.names.push_back(name);
    } else if (type == MD_BLOCK_HTML) {
      m_bHtmlBlock = false;
      ReadHtml(m_nHtmlBegin, m_nHtmlEnd);
    }
    return 0;
  }

  // A destination: its bytes in the page (written) and its decoded form.
  void AddLink(const MD_ATTRIBUTE& attr) {
    PageLink link;
    for (unsigned i = 0; attr.substr_offsets && attr.substr_offsets[i] < attr.size; ++i) {
      const std::string_view part(attr.text + attr.substr_offsets[i],
                                  attr.substr_offsets[i + 1] - attr.substr_offsets[i]);
      if (attr.substr_types[i] == MD_TEXT_ENTITY) {
        AppendEntity(part, &link.url);
      } else if (attr.substr_types[i] == MD_TEXT_NULLCHAR) {
        AppendUtf8(0xFFFD, &link.url);
      } else {
        link.url.append(part);
      }
    }
    if (attr.size > 0 && InPage(attr.text)) {
      link.written.assign(attr.text, attr.size);
      link.line = LineAt(static_cast<size_t>(attr.text - m_pData));
    } else if (!FindInlineDestination(link.url, &link.written, &link.line)) {
      // Rebuilt by md4c and not found: its decoded form stands for it.
      link.written = link.url;
      link.line = LineAt(m_nLastPos);
    }
    m_open.push_back(m_page.links.size());
    m_texts.emplace_back();
    m_page.links.push_back(std::move(link));
  }

  // md4c rebuilds a destination that holds escapes or references: the
  // page's bytes of it are looked for after the last text, as the
  // destination of an inline link "](...)" that reads as url.
  bool FindInlineDestination(const std::string& url, std::string* written, int* line) {
    const std::string_view page(m_pData, m_nLength);
    size_t at = page.find("](", m_nLastPos);
    if (at == std::string_view::npos || at - m_nLastPos > 4096) return false;
    size_t begin = at + 2;
    while (begin < page.size() && (page[begin] == ' ' || page[begin] == '\t')) ++begin;
    size_t end = begin;
    if (begin < page.size() && page[begin] == '<') {
      end = page.find('>', ++begin);
      if (end == std::string_view::npos) return false;
    } else {
      int depth = 0;
      for (; end < page.size() && static_cast<unsigned char>(page[end]) > 0x20; ++end) {
        if (page[end] == '\\' && end + 1 < page.size()) {
          ++end;
        } else if (page[end] == '(') {
          ++depth;
        } else if (page[end] == ')' && depth-- == 0) {
          break;
        }
      }
    }
    const std::string_view raw = page.substr(begin, end - begin);
    std::string decoded;
    for (size_t i = 0; i < raw.size(); ++i) {
      const size_t semicolon = raw[i] == '&' ? raw.find(';', i) : std::string_view::npos;
      if (raw[i] == '\\' && i + 1 < raw.size() &&
          std::ispunct(static_cast<unsigned char>(raw[i + 1]))) {
        decoded += raw[++i];
      } else if (semicolon != std::string_view::npos && semicolon - i <= 32) {
        AppendEntity(raw.substr(i, semicolon - i + 1), &decoded);
        i = semicolon;
      } else {
        decoded += raw[i];
      }
    }
    if (decoded != url) return false;
    written->assign(raw);
    *line = LineAt(begin);
    return true;
  }

  int EnterSpan(MD_SPANTYPE type, void* detail) {
    if (m_bNamesOnly) return 0;
    if (type == MD_SPAN_A) AddLink(static_cast<MD_SPAN_A_DETAIL*>(detail)->href);
    if (type == MD_SPAN_IMG) AddLink(static_cast<MD_SPAN_IMG_DETAIL*>(detail)->src);
    return 0;
  }

  int LeaveSpan(MD_SPANTYPE type) {
    if (m_bNamesOnly || (type != MD_SPAN_A && type != MD_SPAN_IMG) || m_open.empty()) return 0;
    m_page.links[m_open.back()].text = Collapse(m_texts.back());
    m_open.pop_back();
    m_texts.pop_back();
    return 0;
  }

  int Text(MD_TEXTTYPE type, const MD_CHAR* text, MD_SIZE size) {
    if (InPage(text)) m_nLastPos = static_cast<size_t>(text - m_pData);
    if (type == MD_TEXT_HTML && InPage(text)) {
      const size_t begin = static_cast<size_t>(text - m_pData);
      if (m_bHtmlBlock) {
        if (m_nHtmlEnd == 0) m_nHtmlBegin = begin;
        m_nHtmlEnd = begin + size;
      } else {
        ReadHtml(begin, begin + size);
      }
      return 0;
    }
    std::string piece;
    if (type == MD_TEXT_ENTITY) {
      AppendEntity(std::string_view(text, size), &piece);
    } else if (type == MD_TEXT_NULLCHAR) {
      AppendUtf8(0xFFFD, &piece);
    } else if (type == MD_TEXT_BR || type == MD_TEXT_SOFTBR) {
      piece = "\n";
    } else {
      piece.assign(text, size);
    }
    if (m_bHeading) m_heading += piece;
    for (std::string& t : m_texts) t += piece;
    return 0;
  }

  const char* m_pData;
  size_t m_nLength;
  bool m_bNamesOnly;
  ParsedPage m_page;
  bool m_bHeading = false;
  std::string m_heading;
  std::unordered_map<std::string, int> m_slugs;
  bool m_bHtmlBlock = false;
  size_t m_nHtmlBegin = 0;
  size_t m_nHtmlEnd = 0;
  std::vector<size_t> m_open;        // links whose text is gathered
  std::vector<std::string> m_texts;  // their texts
  size_t m_nLastPos = 0;             // the last place in the page a text came from
  size_t m_nLinePos = 0;
  int m_nLine = 1;
};

// Unicode's letters and case, from the C.UTF-8 locale (null when missing:
// then only ASCII is lowered, and other characters kept).
locale_t Utf8Locale() {
  static const locale_t locale =
      newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

// Whether GitHub keeps the character in an id: letters, marks, digits, '_',
// '-' and space.
bool Kept(uint32_t cp) {
  if (cp < 0x80) {
    const char c = static_cast<char>(cp);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == ' ';
  }
  const locale_t locale = Utf8Locale();
  if (!locale) return true;
  return iswalnum_l(static_cast<wint_t>(cp), locale) || (cp >= 0x300 && cp <= 0x36F) ||
         (cp >= 0x1AB0 && cp <= 0x1AFF) || (cp >= 0x20D0 && cp <= 0x20FF);
}

}  // namespace

std::string GithubHeadingId(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    len = std::min(len, text.size() - i);
    uint32_t cp = len == 1 ? c : c & (0x7F >> len);
    for (size_t k = 1; k < len; ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    if (Kept(cp)) {
      if (c == ' ') {
        out += '-';
      } else if (c >= 'A' && c <= 'Z') {
        out += static_cast<char>(c - 'A' + 'a');
      } else if (c >= 0x80 && Utf8Locale()) {
        AppendUtf8(static_cast<uint32_t>(towlower_l(static_cast<wint_t>(cp), Utf8Locale())), &out);
      } else {
        out.append(text.substr(i, len));
      }
    }
    i += len;
  }
  return out;
}

ParsedPage ParseMarkdown(const char* data, size_t length, bool namesOnly) {
  return MarkdownReader(data, length, namesOnly).Run();
}

}  // namespace linkward

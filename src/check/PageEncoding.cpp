#include "check/PageEncoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

namespace linkward {

namespace {

// The encodings of the HTML standard, each with its labels and the name
// glibc's iconv knows it by ("" where it is decoded by hand).
struct Encoding {
  const char* name;
  const char* iconvName;
  const char* labels;  // space-separated
};

// clang-format off
const Encoding kEncodings[] = {
    {"UTF-8", "", "unicode-1-1-utf-8 unicode11utf8 unicode20utf8 utf-8 utf8 x-unicode20utf8"},
    {"IBM866", "IBM866", "866 cp866 csibm866 ibm866"},
    {"ISO-8859-2", "ISO-8859-2", "csisolatin2 iso-8859-2 iso-ir-101 iso8859-2 iso88592 iso_8859-2 "
                                 "iso_8859-2:1987 l2 latin2"},
    {"ISO-8859-3", "ISO-8859-3", "csisolatin3 iso-8859-3 iso-ir-109 iso8859-3 iso88593 iso_8859-3 "
                                 "iso_8859-3:1988 l3 latin3"},
    {"ISO-8859-4", "ISO-8859-4", "csisolatin4 iso-8859-4 iso-ir-110 iso8859-4 iso88594 iso_8859-4 "
                                 "iso_8859-4:1988 l4 latin4"},
    {"ISO-8859-5", "ISO-8859-5", "csisolatincyrillic cyrillic iso-8859-5 iso-ir-144 iso8859-5 "
                                 "iso88595 iso_8859-5 iso_8859-5:1988"},
    {"ISO-8859-6", "ISO-8859-6", "arabic asmo-708 csiso88596e csiso88596i csisolatinarabic ecma-114 "
                                 "iso-8859-6 iso-8859-6-e iso-8859-6-i iso-ir-127 iso8859-6 iso88596 "
                                 "iso_8859-6 iso_8859-6:1987"},
    {"ISO-8859-7", "ISO-8859-7", "csisolatingreek ecma-118 elot_928 greek greek8 iso-8859-7 "
                                 "iso-ir-126 iso8859-7 iso88597 iso_8859-7 iso_8859-7:1987 "
                                 "sun_eu_greek"},
    {"ISO-8859-8", "ISO-8859-8", "csiso88598e csisolatinhebrew hebrew iso-8859-8 iso-8859-8-e "
                                 "iso-ir-138 iso8859-8 iso88598 iso_8859-8 iso_8859-8:1988 visual"},
    {"ISO-8859-8-I", "ISO-8859-8", "csiso88598i iso-8859-8-i logical"},
    {"ISO-8859-10", "ISO-8859-10", "csisolatin6 iso-8859-10 iso-ir-157 iso8859-10 iso885910 l6 "
                                   "latin6"},
    {"ISO-8859-13", "ISO-8859-13", "iso-8859-13 iso8859-13 iso885913"},
    {"ISO-8859-14", "ISO-8859-14", "iso-8859-14 iso8859-14 iso885914"},
    {"ISO-8859-15", "ISO-8859-15", "csisolatin9 iso-8859-15 iso8859-15 iso885915 iso_8859-15 l9"},
    {"ISO-8859-16", "ISO-8859-16", "iso-8859-16"},
    {"KOI8-R", "KOI8-R", "cskoi8r koi koi8 koi8-r koi8_r"},
    {"KOI8-U", "KOI8-U", "koi8-ru koi8-u"},
    {"macintosh", "MACINTOSH", "csmacintosh mac macintosh x-mac-roman"},
    {"windows-874", "CP874", "dos-874 iso-8859-11 iso8859-11 iso885911 tis-620 windows-874"},
    {"windows-1250", "CP1250", "cp1250 windows-1250 x-cp1250"},
    {"windows-1251", "CP1251", "cp1251 windows-1251 x-cp1251"},
    {"windows-1252", "", "ansi_x3.4-1968 ascii cp1252 cp819 csisolatin1 ibm819 iso-8859-1 "
                         "iso-ir-100 iso8859-1 iso88591 iso_8859-1 iso_8859-1:1987 l1 latin1 "
                         "us-ascii windows-1252 x-cp1252"},
    {"windows-1253", "CP1253", "cp1253 windows-1253 x-cp1253"},
    {"windows-1254", "CP1254", "cp1254 csisolatin5 iso-8859-9 iso-ir-148 iso8859-9 iso88599 "
                               "iso_8859-9 iso_8859-9:1989 l5 latin5 windows-1254 x-cp1254"},
    {"windows-1255", "CP1255", "cp1255 windows-1255 x-cp1255"},
    {"windows-1256", "CP1256", "cp1256 windows-1256 x-cp1256"},
    {"windows-1257", "CP1257", "cp1257 windows-1257 x-cp1257"},
    {"windows-1258", "CP1258", "cp1258 windows-1258 x-cp1258"},
    {"x-mac-cyrillic", "MAC-CYRILLIC", "x-mac-cyrillic x-mac-ukrainian"},
    // The standard's GBK decoder is its gb18030 decoder.
    {"GBK", "GB18030", "chinese csgb2312 csiso58gb231280 gb2312 gb_2312 gb_2312-80 gbk iso-ir-58 "
                       "x-gbk"},
    {"gb18030", "GB18030", "gb18030"},
    {"Big5", "BIG5-HKSCS", "big5 big5-hkscs cn-big5 csbig5 x-x-big5"},
    {"EUC-JP", "EUC-JP", "cseucpkdfmtjapanese euc-jp x-euc-jp"},
    {"ISO-2022-JP", "ISO-2022-JP-3", "csiso2022jp iso-2022-jp"},
    {"Shift_JIS", "CP932", "csshiftjis ms932 ms_kanji shift-jis shift_jis sjis windows-31j x-sjis"},
    {"EUC-KR", "CP949", "cseuckr csksc56011987 euc-kr iso-ir-149 korean ks_c_5601-1987 "
                        "ks_c_5601-1989 ksc5601 ksc_5601 windows-949"},
    {"replacement", "", "csiso2022kr hz-gb-2312 iso-2022-cn iso-2022-cn-ext iso-2022-kr "
                        "replacement"},
    {"UTF-16BE", "", "unicodefffe utf-16be"},
    {"UTF-16LE", "", "csunicode iso-10646-ucs-2 ucs-2 unicode unicodefeff utf-16 utf-16le"},
    {"x-user-defined", "", "x-user-defined"},
};
// clang-format on

const Encoding* Find(std::string_view name) {
  for (const Encoding& e : kEncodings) {
    if (name == e.name) return &e;
  }
  return nullptr;
}

bool IsSpace(unsigned char c) {
  return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20;
}

unsigned char Lower(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool IsLetter(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Whether the bytes at pos begin with prefix (lower case), in any case.
bool StartsWith(std::string_view bytes, size_t pos, const char* prefix) {
  const size_t n = std::strlen(prefix);
  if (pos + n > bytes.size()) return false;
  for (size_t i = 0; i < n; ++i) {
    if (Lower(static_cast<unsigned char>(bytes[pos + i])) != static_cast<unsigned char>(prefix[i]))
      return false;
  }
  return true;
}

// A meta element's label as the standard reads it: UTF-16 becomes UTF-8 (a
// page the prescan can read is no UTF-16 page), x-user-defined windows-1252.
std::string MetaEncoding(std::string name) {
  if (name == "UTF-16LE" || name == "UTF-16BE") return "UTF-8";
  if (name == "x-user-defined") return "windows-1252";
  return name;
}

// The standard's "extracting a character encoding from a meta element":
// the label after the first "charset" followed by '=' in a content value
// (lower case already).
std::string EncodingInContent(std::string_view value) {
  size_t pos = 0;
  for (;;) {
    pos = value.find("charset", pos);
    if (pos == std::string_view::npos) return std::string();
    pos += 7;
    while (pos < value.size() && IsSpace(static_cast<unsigned char>(value[pos]))) ++pos;
    if (pos < value.size() && value[pos] == '=') break;
  }
  ++pos;
  while (pos < value.size() && IsSpace(static_cast<unsigned char>(value[pos]))) ++pos;
  if (pos >= value.size()) return std::string();
  if (value[pos] == '"' || value[pos] == '\'') {
    const size_t close = value.find(value[pos], pos + 1);
    if (close == std::string_view::npos) return std::string();
    return EncodingOfLabel(value.substr(pos + 1, close - pos - 1));
  }
  size_t end = pos;
  while (end < value.size() && !IsSpace(static_cast<unsigned char>(value[end])) &&
         value[end] != ';')
    ++end;
  return EncodingOfLabel(value.substr(pos, end - pos));
}

// The prescan's reader of one attribute (the standard's "get an attribute"),
// names and values in lower case. Nothing when the tag ends; stops at the
// end of the bytes with *ended set.
std::optional<std::pair<std::string, std::string>> GetAttribute(std::string_view b, size_t& pos,
                                                                bool* ended) {
  auto at = [&](size_t i) { return static_cast<unsigned char>(b[i]); };
  const size_t n = b.size();
  while (pos < n && (IsSpace(at(pos)) || at(pos) == '/')) ++pos;
  if (pos >= n) *ended = true;
  if (pos >= n || at(pos) == '>') return std::nullopt;
  std::string name, value;
  auto end = [&] {
    *ended = true;
    return std::nullopt;
  };
  bool equals = false;  // the name ended at '='
  for (;; ++pos) {
    if (pos >= n) return end();
    const unsigned char c = at(pos);
    if (c == '=' && !name.empty()) {
      ++pos;
      equals = true;
      break;
    }
    if (IsSpace(c)) break;
    if (c == '/' || c == '>') return std::make_pair(name, value);
    name += static_cast<char>(Lower(c));
  }
  if (!equals) {
    while (pos < n && IsSpace(at(pos))) ++pos;
    if (pos >= n) return end();
    if (at(pos) != '=') return std::make_pair(name, value);
    ++pos;
  }
  while (pos < n && IsSpace(at(pos))) ++pos;
  if (pos >= n) return end();
  if (at(pos) == '"' || at(pos) == '\'') {
    const unsigned char quote = at(pos++);
    for (;; ++pos) {
      if (pos >= n) return end();
      if (at(pos) == quote) {
        ++pos;
        return std::make_pair(name, value);
      }
      value += static_cast<char>(Lower(at(pos)));
    }
  }
  if (at(pos) == '>') return std::make_pair(name, value);
  for (;; ++pos) {
    if (pos >= n) return end();
    if (IsSpace(at(pos)) || at(pos) == '>') return std::make_pair(name, value);
    value += static_cast<char>(Lower(at(pos)));
  }
}

// The standard's prescan of the first 1,024 bytes for a meta declaration.
std::string Prescan(std::string_view b) {
  size_t pos = 0;
  const size_t n = b.size();
  auto at = [&](size_t i) { return i < n ? static_cast<unsigned char>(b[i]) : 0; };
  while (pos < n) {
    if (StartsWith(b, pos, "<!--")) {
      const size_t close = b.find("-->", pos + 2);
      if (close == std::string_view::npos) return std::string();
      pos = close + 3;
      continue;
    }
    if (StartsWith(b, pos, "<meta") && (IsSpace(at(pos + 5)) || at(pos + 5) == '/')) {
      pos += 6;
      std::vector<std::string> seen;
      bool gotPragma = false;
      std::optional<bool> needPragma;
      std::optional<std::string> charset;  // "" when a label named no encoding
      bool ended = false;
      while (auto attr = GetAttribute(b, pos, &ended)) {
        const auto& [name, value] = *attr;
        bool repeat = false;
        for (const std::string& s : seen) repeat = repeat || s == name;
        if (repeat) continue;
        seen.push_back(name);
        if (name == "http-equiv") {
          gotPragma = gotPragma || value == "content-type";
        } else if (name == "content" && !charset) {
          std::string found = EncodingInContent(value);
          if (!found.empty()) {
            charset = found;
            needPragma = true;
          }
        } else if (name == "charset") {
          charset = EncodingOfLabel(value);
          needPragma = false;
        }
      }
      if (ended) return std::string();
      if (needPragma && (!*needPragma || gotPragma) && charset && !charset->empty())
        return MetaEncoding(*charset);
      ++pos;
      continue;
    }
    if (at(pos) == '<' &&
        (IsLetter(at(pos + 1)) || (at(pos + 1) == '/' && IsLetter(at(pos + 2))))) {
      while (pos < n && !IsSpace(at(pos)) && at(pos) != '>') ++pos;
      bool ended = false;
      while (GetAttribute(b, pos, &ended)) {
      }
      if (ended) return std::string();
      ++pos;
      continue;
    }
    if (at(pos) == '<' && (at(pos + 1) == '!' || at(pos + 1) == '/' || at(pos + 1) == '?')) {
      pos = b.find('>', pos + 2);
      if (pos == std::string_view::npos) return std::string();
      ++pos;
      continue;
    }
    ++pos;
  }
  return std::string();
}

// The standard's "get an XML encoding": the encoding="..." of a leading
// XML declaration.
std::string XmlEncoding(std::string_view b) {
  if (b.substr(0, 5) != "<?xml") return std::string();
  const size_t close = b.find('>');
  size_t pos = b.find("encoding");
  if (close == std::string_view::npos || pos == std::string_view::npos || pos > close) {
    return std::string();
  }
  pos += 8;
  while (pos < b.size() && static_cast<unsigned char>(b[pos]) <= 0x20) ++pos;
  if (pos >= b.size() || b[pos] != '=') return std::string();
  ++pos;
  while (pos < b.size() && static_cast<unsigned char>(b[pos]) <= 0x20) ++pos;
  if (pos >= b.size() || (b[pos] != '"' && b[pos] != '\'')) return std::string();
  const size_t end = b.find(b[pos], pos + 1);
  if (end == std::string_view::npos) return std::string();
  const std::string_view label = b.substr(pos + 1, end - pos - 1);
  for (char c : label) {
    if (static_cast<unsigned char>(c) <= 0x20) return std::string();
  }
  return MetaEncoding(EncodingOfLabel(label));
}

void DecodeUtf16(const unsigned char* p, size_t length, bool bigEndian, std::string* text) {
  auto unit = [&](size_t i) -> uint32_t {
    return bigEndian ? (p[i] << 8) | p[i + 1] : p[i] | (p[i + 1] << 8);
  };
  size_t i = 0;
  for (; i + 1 < length; i += 2) {
    uint32_t cp = unit(i);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 3 < length) {
      const uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    AppendUtf8(cp, text);  // a lone surrogate becomes U+FFFD
  }
  if (i < length) AppendUtf8(0xFFFD, text);  // an odd last byte
}

}  // namespace

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string EncodingOfLabel(std::string_view label) {
  while (!label.empty() && IsSpace(static_cast<unsigned char>(label.front())))
    label.remove_prefix(1);
  while (!label.empty() && IsSpace(static_cast<unsigned char>(label.back())))
    label.remove_suffix(1);
  if (label.empty()) return std::string();
  std::string lower(label);
  for (char& c : lower) c = static_cast<char>(Lower(static_cast<unsigned char>(c)));
  for (const Encoding& e : kEncodings) {
    std::string_view labels = e.labels;
    while (!labels.empty()) {
      const size_t space = labels.find(' ');
      if (labels.substr(0, space) == lower) return e.name;
      if (space == std::string_view::npos) break;
      labels.remove_prefix(space + 1);
    }
  }
  return std::string();
}

std::string PageEncoding(const char* data, size_t length, size_t* bomLength,
                         const std::string& transport) {
  const std::string_view b(data, length);
  *bomLength = 0;
  if (b.substr(0, 3) == "\xEF\xBB\xBF") {
    *bomLength = 3;
    return "UTF-8";
  }
  if (b.substr(0, 2) == "\xFE\xFF" || b.substr(0, 2) == "\xFF\xFE") {
    *bomLength = 2;
    return b[0] == '\xFE' ? "UTF-16BE" : "UTF-16LE";
  }
  if (!transport.empty()) return transport;
  // An XML declaration written in UTF-16.
  if (b.substr(0, 4) == std::string_view("<\0?\0", 4)) return "UTF-16LE";
  if (b.substr(0, 4) == std::string_view("\0<\0?", 4)) return "UTF-16BE";
  const std::string_view head = b.substr(0, 1024);
  std::string found = Prescan(head);
  return found.empty() ? XmlEncoding(head) : found;
}

bool DecodeToUtf8(const char* data, size_t length, const std::string& encoding, std::string* text,
                  std::vector<std::pair<size_t, size_t>>* ends) {
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  text->clear();
  if (ends) ends->clear();
  if (encoding == "UTF-16LE" || encoding == "UTF-16BE") {
    text->reserve(length / 2 + length / 8);
    DecodeUtf16(p, length, encoding == "UTF-16BE", text);
    return true;
  }
  if (encoding == "replacement") {
    if (length > 0) text->assign("\xEF\xBF\xBD");
    if (ends && length > 0) ends->emplace_back(text->size(), length);
    return true;
  }
  const Encoding* e = Find(encoding);
  if (!e || !*e->iconvName) return false;
  iconv_t cd = iconv_open("UTF-32LE", e->iconvName);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  // A stateful encoding has every byte read by iconv; the others pass ASCII
  // through as it is (a character's first byte is never ASCII in them).
  const bool stateful = encoding == "ISO-2022-JP";
  text->reserve(length + length / 2);
  size_t i = 0;
  while (i < length) {
    if (!stateful && p[i] < 0x80 && p[i] != 0) {
      const size_t start = i;
      while (i < length && p[i] < 0x80 && p[i] != 0) ++i;
      text->append(data + start, i - start);
      continue;
    }
    // One character at a time: the output has room for exactly one.
    char* in = const_cast<char*>(data + i);
    size_t inLeft = length - i;
    uint32_t cp = 0;
    char* out = reinterpret_cast<char*>(&cp);
    size_t outLeft = sizeof cp;
    const size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
    size_t used = static_cast<size_t>(in - (data + i));
    const size_t before = text->size();
    if (outLeft == 0) {
      AppendUtf8(cp, text);
    } else if (rc == static_cast<size_t>(-1) && errno == EILSEQ) {
      AppendUtf8(0xFFFD, text);
      used += 1;
    } else if (rc == static_cast<size_t>(-1) && errno == EINVAL) {
      AppendUtf8(0xFFFD, text);  // a character cut off by the end
      used = length - i;
    } else {
      used = length - i;  // only shifts of state were left
    }
    i += used;
    if (ends && text->size() - before != used) ends->emplace_back(text->size(), i);
  }
  iconv_close(cd);
  return true;
}

}  // namespace linkward

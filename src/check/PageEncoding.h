// The character encoding of a page (read from disk or crawled), found as
// the HTML standard finds it, and the page decoded to UTF-8 for the parser.
//
// Found: a byte order mark (UTF-8, UTF-16LE, UTF-16BE) first; then, for a
// crawled page, the charset its HTTP answer names; then a prescan of the
// first 1,024 bytes that reads them as the tokenizer would
// and takes the first <meta charset=...> or <meta http-equiv=content-type
// content="...charset=..."> (comments, other tags and their attribute values
// are passed over, so a charset= in a link's query is no declaration); then
// an XML declaration's encoding (UTF-16 when the declaration itself is
// written in UTF-16). Labels map to encodings by the standard's table:
// iso-8859-1, ascii and latin1 are windows-1252, gb2312 is GBK, a declared
// UTF-16 (in an ASCII-readable page) is UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace linkward {

// The standard's name of the encoding a page declares ("UTF-8",
// "windows-1251", "Shift_JIS", "UTF-16LE", ...), or "" when it declares none.
// *bomLength gets the length of its byte order mark (0 when none).
// transport: the encoding the HTTP answer named (an EncodingOfLabel name; ""
// when none): it counts after a byte order mark, before the prescan.
std::string PageEncoding(const char* data, size_t length, size_t* bomLength,
                         const std::string& transport = std::string());

// The encoding a label names (white space around it and case do not count),
// or "" when the label names none.
std::string EncodingOfLabel(std::string_view label);

// Decodes length bytes in encoding (a name PageEncoding gives, other than
// UTF-8 and windows-1252, which the parser decodes itself) to UTF-8 with
// iconv, UTF-16 by hand. Bytes that are no character of the encoding, and NUL
// characters, become U+FFFD. When ends is given it gets, for each character
// whose UTF-8 form is not as long as its bytes, (end in *text, end in data),
// in order. False when iconv does not know the encoding.
bool DecodeToUtf8(const char* data, size_t length, const std::string& encoding, std::string* text,
                  std::vector<std::pair<size_t, size_t>>* ends);

// Appends code point cp as UTF-8; NUL, surrogates and values past U+10FFFF
// as U+FFFD.
void AppendUtf8(uint32_t cp, std::string* out);

}  // namespace linkward
